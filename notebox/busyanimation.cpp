#include "notebox/busyanimation.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace notebox {

namespace {
// Frames of one wave cycle (at 50 ms a frame: 1.2 s).
constexpr int kCycle = 24;
constexpr int kWaves = 3;
}  // namespace

BusyAnimation::BusyAnimation(QWidget* parent) : QWidget(parent) {
  setObjectName("BusyAnimation");
  setAccessibleName(tr("Working, please wait"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void BusyAnimation::Advance() {
  frame_ = (frame_ + 1) % kCycle;
  update();
}

void BusyAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = rect();
  QLinearGradient sky(r.topLeft(), r.bottomLeft());
  sky.setColorAt(0, QColor(232, 240, 250));
  sky.setColorAt(1, QColor(206, 220, 238));
  p.fillRect(r, sky);

  // The mast stands at the left; its top is where the waves start.
  const qreal h = r.height();
  const QPointF top(r.left() + 36, r.top() + h * 0.4);
  const QPointF foot_left(top.x() - 14, r.bottom() - 8);
  const QPointF foot_right(top.x() + 14, r.bottom() - 8);
  QPen steel(QColor(70, 84, 102), 2.0);
  p.setPen(steel);
  p.drawLine(top, foot_left);
  p.drawLine(top, foot_right);
  for (int i = 1; i <= 4; ++i) {
    const qreal t = i / 5.0;
    const QPointF a = top + (foot_left - top) * t;
    const QPointF b = top + (foot_right - top) * t;
    p.drawLine(a, b);
  }
  // The antenna panel on the mast.
  p.setBrush(QColor(240, 244, 248));
  p.drawRoundedRect(QRectF(top.x() - 4, top.y() - 10, 8, 22), 2, 2);

  // Waves travel outwards and fade.
  p.setBrush(Qt::NoBrush);
  for (int w = 0; w < kWaves; ++w) {
    const qreal phase = std::fmod((frame_ + w * (kCycle / kWaves)) / qreal(kCycle), 1.0);
    const qreal radius = 9 + phase * 30;
    QColor c(0, 110, 190);
    c.setAlphaF(1.0 - phase);
    p.setPen(QPen(c, 2.4, Qt::SolidLine, Qt::RoundCap));
    const QRectF arc(top.x() - radius, top.y() - radius, 2 * radius, 2 * radius);
    p.drawArc(arc, -40 * 16, 80 * 16);
    p.drawArc(arc, 140 * 16, 80 * 16);
  }

  // Three dots under the bar show that the program is alive.
  const QPointF dots(r.center().x() + 20, r.bottom() - 24);
  for (int i = 0; i < 3; ++i) {
    const bool lit = (frame_ / (kCycle / 3)) == i;
    p.setPen(Qt::NoPen);
    p.setBrush(lit ? QColor(0, 110, 190) : QColor(160, 176, 196));
    p.drawEllipse(dots + QPointF((i - 1) * 16, 0), 4, 4);
  }
  p.setPen(QColor(40, 48, 60));
  p.drawText(QRectF(r.left() + 70, r.bottom() - 58, r.width() - 80, 20),
             Qt::AlignHCenter | Qt::AlignVCenter, tr("Please wait..."));
}

}  // namespace notebox
