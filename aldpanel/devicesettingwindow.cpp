#include "aldpanel/devicesettingwindow.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace aldpanel {

DeviceSettingWindow::DeviceSettingWindow(QWidget* parent) : QDockWidget("Device Setting", parent) {
  setObjectName("DeviceSettingForm");
  setAccessibleName("Device Setting");
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  auto add = [&](const char* name, const char* caption, void (DeviceSettingWindow::*signal)()) {
    auto* b = new QPushButton(caption, body);
    b->setObjectName(name);
    b->setAccessibleName(caption);
    layout->addWidget(b);
    connect(b, &QPushButton::clicked, this, signal);
    return b;
  };
  add("ButtonEdit", "Edit", &DeviceSettingWindow::editClicked);
  setTilt_ = add("ButtonSetTilt", "Set Tilt", &DeviceSettingWindow::setTiltClicked);
  add("ButtonSelfTest", "Self Test", &DeviceSettingWindow::selfTestClicked);
  add("ButtonReset", "Reset", &DeviceSettingWindow::resetClicked);
  add("ButtonClearAlarm", "Clear Alarm", &DeviceSettingWindow::clearAlarmClicked);
  layout->addStretch();
  setWidget(body);
}

void DeviceSettingWindow::SetTiltCaption(const QString& caption) {
  setTilt_->setText(caption);
  setTilt_->setAccessibleName(caption);
}

QPushButton* DeviceSettingWindow::button(const char* objectName) const {
  return findChild<QPushButton*>(objectName);
}

void DeviceSettingWindow::closeEvent(QCloseEvent* event) {
  QDockWidget::closeEvent(event);
  if (event->isAccepted()) emit closedByOperator();
}

}  // namespace aldpanel
