// "Adapter Setting": the USB adapter's 12 V supply of the antenna line and
// its RS-485 A/B switch. (The class and object name are the window's
// historical ones: this is the adapter window, AdapterConfigureForm the
// system's.)
//
// A state that could not be read is shown as unknown (the box partly
// ticked), never as off, and Set switches it only when the operator chose a
// state or agreed to switch it off.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace aldpanel {

class GlueLibrary;
class PanelHost;
class Tables;

class SystemConfigureForm : public QDialog {
  Q_OBJECT
 public:
  SystemConfigureForm(GlueLibrary& glue, PanelHost& host, const Tables& tables,
                      QWidget* parent = nullptr);

  QCheckBox* powerBox() const { return power_; }
  QCheckBox* pinBox() const { return pin_; }
  QPushButton* setButton() const { return set_; }
  QPushButton* resetButton() const { return reset_; }

 public slots:
  void Set();
  void ResetToDefault();
  // Reads both states from the adapter.
  void Refresh();

 private:
  GlueLibrary& glue_;
  PanelHost& host_;
  const Tables& tables_;
  QCheckBox* power_;
  QCheckBox* pin_;
  QPushButton* set_;
  QPushButton* reset_;
};

}  // namespace aldpanel
