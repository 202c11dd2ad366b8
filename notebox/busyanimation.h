// The busy window's animation: an antenna mast sending waves, drawn with
// QPainter (no browser, no image files). It advances one frame per call to
// Advance(), so the window's one timer drives both the bar and the picture.
#pragma once

#include <QWidget>

namespace notebox {

class BusyAnimation : public QWidget {
  Q_OBJECT
 public:
  explicit BusyAnimation(QWidget* parent = nullptr);
  void Advance();
  int frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int frame_ = 0;
};

}  // namespace notebox
