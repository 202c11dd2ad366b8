#include "aldpanel/systemconfigureform.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "aldpanel/core/glue.h"
#include "aldpanel/core/runner.h"
#include "aldpanel/core/tables.h"
#include "aldpanel/panelhost.h"

namespace aldpanel {
namespace {

const char* kTitle = "Adapter Setting";

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAccessibleName(caption);
  return b;
}

QCheckBox* Box(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QCheckBox(caption, parent);
  b->setObjectName(name);
  b->setAccessibleName(QString(caption).trimmed());
  // Once the operator clicks a box its state is chosen: the unknown state
  // is only ever the window's own.
  QObject::connect(b, &QCheckBox::clicked, b, [b] { b->setTristate(false); });
  return b;
}

// A state read from the adapter: 1 on, 0 off, anything else unknown.
void ShowState(QCheckBox* box, int value) {
  box->setTristate(value != 0 && value != 1);
  box->setCheckState(value == 1 ? Qt::Checked : value == 0 ? Qt::Unchecked : Qt::PartiallyChecked);
}

}  // namespace

SystemConfigureForm::SystemConfigureForm(GlueLibrary& glue, PanelHost& host, const Tables& tables,
                                         QWidget* parent)
    : QDialog(parent), glue_(glue), host_(host), tables_(tables) {
  setObjectName("SystemConfigureForm");
  setWindowTitle(kTitle);
  setAccessibleName(kTitle);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  power_ = Box(this, "CheckBoxPower", "RS485 12V DC Power  on");
  pin_ = Box(this, "CheckBoxPinSwitch", "RS485 A/B Pin Switch ");
  layout->addWidget(power_);
  layout->addWidget(pin_);
  auto* buttons = new QHBoxLayout;
  set_ = Button(this, "ButtonSet", "Set");
  set_->setDefault(true);
  auto* cancel = Button(this, "ButtonCancel", "Cancel");
  reset_ = Button(this, "ButtonReset", "Reset to default");
  buttons->addWidget(set_);
  buttons->addWidget(cancel);
  buttons->addWidget(reset_);
  layout->addLayout(buttons);
  connect(set_, &QPushButton::clicked, this, &SystemConfigureForm::Set);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(reset_, &QPushButton::clicked, this, &SystemConfigureForm::ResetToDefault);
  const GlueExports& ex = glue_.exports();
  bool bound = ex.getPowerValue != nullptr && ex.setPowerValue != nullptr &&
               ex.getPinValue != nullptr && ex.setPinValue != nullptr;
  set_->setEnabled(bound);
  reset_->setEnabled(ex.setPowerValue != nullptr || ex.setPinValue != nullptr);
  Refresh();
}

void SystemConfigureForm::Refresh() {
  const GlueExports& ex = glue_.exports();
  bool bound = ex.getPowerValue != nullptr && ex.setPowerValue != nullptr &&
               ex.getPinValue != nullptr && ex.setPinValue != nullptr;
  ShowState(power_, bound ? ex.getPowerValue() : -1);
  ShowState(pin_, bound ? ex.getPinValue() : -1);
}

void SystemConfigureForm::Set() {
  const GlueExports& ex = glue_.exports();
  if (ex.setPowerValue == nullptr || ex.setPinValue == nullptr) return;
  // The value each box asks for; nothing for a state never read that the
  // operator would not have switched off.
  auto wanted = [this](QCheckBox* box, const char* what) -> std::optional<int> {
    if (box->checkState() != Qt::PartiallyChecked) return box->isChecked() ? 1 : 0;
    if (host_.Ask(kTitle, std::string("The state of the ") + what +
                              " could not be read.\n\nSwitch it off?")) {
      return 0;
    }
    return std::nullopt;
  };
  std::optional<int> power = wanted(power_, "12 V DC power");
  std::optional<int> pinValue = wanted(pin_, "A/B pin switch");
  if (!power && !pinValue) return;
  int p = power ? ex.setPowerValue(*power) : 0;
  int q = pinValue ? ex.setPinValue(*pinValue) : 0;
  if (p == 0 && q == 0) {
    hide();
    host_.ShowMessage(MessageIcon::kInformation, kTitle, "Setting success.");
    accept();
    return;
  }
  if (p == -1 || q == -1) {
    ShowResultMessage(host_, kTitle, 0, -1, tables_.ErrorText(-1));
  } else {
    if (p != 0) ShowResultMessage(host_, kTitle, 0, p, tables_.ErrorText(p));
    if (q != 0) ShowResultMessage(host_, kTitle, 0, q, tables_.ErrorText(q));
  }
  Refresh();
}

void SystemConfigureForm::ResetToDefault() {
  const GlueExports& ex = glue_.exports();
  // Each must succeed on its own: results of different signs must not
  // cancel out.
  bool failed = false;
  if (ex.setPowerValue != nullptr) failed |= ex.setPowerValue(0) != 0;
  if (ex.setPinValue != nullptr) failed |= ex.setPinValue(0) != 0;
  if (failed) {
    host_.ShowMessage(MessageIcon::kError, kTitle, "Setting failed.");
    Refresh();
    return;
  }
  hide();
  Refresh();
  host_.ShowMessage(MessageIcon::kInformation, kTitle, "Load default setting success.");
  accept();
}

}  // namespace aldpanel
