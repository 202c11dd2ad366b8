#include "notebox/noteboxwindow.h"

#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>

#include "aldpanel/core/startup.h"
#include "notebox/busyanimation.h"

namespace notebox {

QPoint BusyWindowPosition(const QRect& screen, const QSize& window) {
  const int left =
      screen.width() < 800 ? screen.left() : screen.left() + (screen.width() - window.width()) / 2;
  const int top =
      screen.height() < 480 ? screen.top() : screen.top() + (screen.height() - window.height()) / 2;
  return {left, top};
}

NoteboxWindow::NoteboxWindow(const QStringList& args, StatusReader readStatus, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::CustomizeWindowHint),
      readStatus_(std::move(readStatus)) {
  setObjectName("MessageBoxForm");
  setFixedSize(323, 111);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);

  animation_ = new BusyAnimation(this);
  animation_->setGeometry(rect());

  bar_ = new QProgressBar(this);
  bar_->setObjectName("ProgressBar");
  bar_->setAccessibleName(tr("Download progress"));
  bar_->setGeometry(74, 24, 196, 10);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);

  if (args.size() >= 2) {
    progressShown_ = true;
    std::optional<int64_t> size = ParseExpectedSize(args[1].toStdString());
    if (size) {
      expectedSize_ = *size;
    } else {
      // The bar still moves, at the default pace; the window is only a
      // sign of life and must come up whatever it was given.
      argumentError_ = QStringLiteral("'%1' is not a valid integer value").arg(args[1]);
    }
  }
  bar_->setVisible(progressShown_);

  const QString title = args.isEmpty() ? QString::fromUtf8(aldpanel::kProductName) : args[0];
  setWindowTitle(title);
  setAccessibleName(title);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(BusyWindowPosition(screen->availableGeometry(), frameSize()));
  }

  clock_.start();
  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(clock_.elapsed()); });
  timer_.start();
}

void NoteboxWindow::Tick(qint64 nowMs) {
  if (!firstTick_) firstTick_ = nowMs;
  animation_->Advance();
  if (!readStatus_) return;
  std::optional<int> status = readStatus_();
  // Without the status the bar does not move: nothing says the operation
  // is still running.
  if (!status) return;
  bar_->setValue(ProgressPosition(expectedSize_, nowMs - *firstTick_));
  if (watch_.Feed(*status)) {
    timer_.stop();
    emit finished();
  }
}

}  // namespace notebox
