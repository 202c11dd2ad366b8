#include "aldpanel/brand.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "aldpanel/core/startup.h"

namespace aldpanel {
namespace {

const QColor kMarkBlue(24, 78, 150);
const QColor kMarkOrange(232, 128, 24);

// The mark in a square of side `s` at (x, y).
void DrawMark(QPainter& p, qreal x, qreal y, qreal s) {
  p.save();
  p.translate(x, y);
  p.setRenderHint(QPainter::Antialiasing);
  // Rounded tile.
  p.setPen(Qt::NoPen);
  p.setBrush(kMarkBlue);
  p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
  // Mast.
  p.setBrush(Qt::white);
  p.drawRect(QRectF(s * 0.47, s * 0.22, s * 0.06, s * 0.66));
  // Two antenna panels, the upper one tilted.
  p.save();
  p.translate(s * 0.36, s * 0.30);
  p.rotate(-8);
  p.drawRoundedRect(QRectF(-s * 0.05, -s * 0.09, s * 0.10, s * 0.30), s * 0.02, s * 0.02);
  p.restore();
  p.drawRoundedRect(QRectF(s * 0.56, s * 0.30, s * 0.10, s * 0.30), s * 0.02, s * 0.02);
  // Base.
  p.drawRect(QRectF(s * 0.30, s * 0.84, s * 0.40, s * 0.05));
  // Beam arcs from the tilted panel.
  QPen arc(kMarkOrange, s * 0.05, Qt::SolidLine, Qt::RoundCap);
  p.setPen(arc);
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 3; ++i) {
    qreal r = s * (0.12 + 0.08 * i);
    p.drawArc(QRectF(s * 0.30 - r, s * 0.42 - r, 2 * r, 2 * r), 150 * 16, 70 * 16);
  }
  p.restore();
}

QPixmap Canvas(int width, int height, qreal ratio) {
  QPixmap pixmap(static_cast<int>(width * ratio), static_cast<int>(height * ratio));
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

}  // namespace

QString BrandTitle() {
  return QString::fromUtf8(kProductName);
}

QIcon BrandIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    DrawMark(p, 0, 0, side);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap BrandLogo(int height, qreal ratio) {
  QFont font;
  font.setBold(true);
  font.setPixelSize(height * 45 / 100);
  QString name = QString::fromUtf8(kProductName);
  int textWidth = QFontMetrics(font).horizontalAdvance(name);
  int width = height + height / 4 + textWidth + 4;
  QPixmap pixmap = Canvas(width, height, ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawMark(p, 0, 0, height);
  p.setFont(font);
  p.setPen(kMarkBlue);
  p.drawText(QRectF(height + height / 4.0, 0, textWidth + 4, height),
             Qt::AlignLeft | Qt::AlignVCenter, name);
  return pixmap;
}

QPixmap AisgBadge(int height, qreal ratio) {
  QFont font;
  font.setBold(true);
  font.setPixelSize(height * 55 / 100);
  QString text = QStringLiteral("AISG 1.x 2.x");
  int width = QFontMetrics(font).horizontalAdvance(text) + height;
  QPixmap pixmap = Canvas(width, height, ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(kMarkBlue, 1.2));
  p.setBrush(QColor(240, 244, 250));
  p.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), height / 4.0, height / 4.0);
  p.setFont(font);
  p.setPen(kMarkBlue);
  p.drawText(QRectF(0, 0, width, height), Qt::AlignCenter, text);
  return pixmap;
}

}  // namespace aldpanel
