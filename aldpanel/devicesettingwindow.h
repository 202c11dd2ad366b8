// The floating device setting bar: the main window's row buttons in a
// dockable tool window, for operators who keep them beside the grids.
#pragma once

#include <QDockWidget>

class QPushButton;

namespace aldpanel {

class DeviceSettingWindow : public QDockWidget {
  Q_OBJECT
 public:
  explicit DeviceSettingWindow(QWidget* parent = nullptr);
  // The caption of the tilt button follows the main window's tab.
  void SetTiltCaption(const QString& caption);
  QPushButton* button(const char* objectName) const;

 signals:
  void editClicked();
  void setTiltClicked();
  void selfTestClicked();
  void resetClicked();
  void clearAlarmClicked();
  // The operator closed the window itself.
  void closedByOperator();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPushButton* setTilt_;
};

}  // namespace aldpanel
