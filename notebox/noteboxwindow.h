// The busy window: always on top, centred, titled with the operation's
// title, with an animation and, for software downloads, a progress bar that
// fills in the time such a download takes. It has no input of its own. It
// reads the shared process status at every tick and closes itself on the
// finished status once it has seen its operation's busy status; the
// operator program ends it in any case.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

#include "notebox/progress.h"

class QProgressBar;

namespace notebox {

class BusyAnimation;

class NoteboxWindow : public QWidget {
  Q_OBJECT
 public:
  // Reads the shared process status; nullopt when it cannot be read (the
  // interface library or its export is missing).
  using StatusReader = std::function<std::optional<int>()>;

  // `args`: the arguments after the program name: the title, and for
  // downloads the file size in bytes.
  NoteboxWindow(const QStringList& args, StatusReader readStatus, QWidget* parent = nullptr);

  // One tick of the 50 ms timer, `nowMs` from a steady clock; public so that
  // tests drive it without waiting.
  void Tick(qint64 nowMs);

  // What the command line set up.
  int64_t expectedSize() const { return expectedSize_; }
  bool progressShown() const { return progressShown_; }
  // Why the second argument was not taken ("" when it was, or was absent).
  const QString& argumentError() const { return argumentError_; }
  QProgressBar* progressBar() const { return bar_; }
  BusyAnimation* animation() const { return animation_; }

  // Interval of the window's timer.
  static constexpr int kTickMs = 50;

 signals:
  // The finished status was read after the busy status.
  void finished();

 private:
  StatusReader readStatus_;
  StatusWatch watch_;
  int64_t expectedSize_ = kDefaultExpectedSize;
  bool progressShown_ = false;
  QString argumentError_;
  std::optional<qint64> firstTick_;
  QElapsedTimer clock_;
  QTimer timer_;
  BusyAnimation* animation_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

// The window's position on a screen of that size: centred, or 0 on a screen
// narrower than 800 (lower than 480) pixels.
QPoint BusyWindowPosition(const QRect& screen, const QSize& window);

}  // namespace notebox
