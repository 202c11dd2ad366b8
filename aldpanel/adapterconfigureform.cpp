#include "aldpanel/adapterconfigureform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "aldpanel/core/config.h"
#include "aldpanel/core/runner.h"
#include "aldpanel/panelhost.h"

namespace aldpanel {
namespace {

const char* kTitle = "System Setting";

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAccessibleName(caption);
  return b;
}

}  // namespace

AdapterConfigureForm::AdapterConfigureForm(const std::string& configPath,
                                           const std::string& tempDir, PanelHost& host,
                                           OperationRunner& runner, QWidget* parent)
    : QDialog(parent), configPath_(configPath), tempDir_(tempDir), host_(host), runner_(runner) {
  setObjectName("AdapterConfigureForm");
  setWindowTitle(kTitle);
  setAccessibleName(kTitle);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  depth_ = new QComboBox(this);
  depth_->setObjectName("ComboBoxScanLength");
  depth_->setAccessibleName("Scan Length");
  for (int d = kMinScanDepth; d <= kMaxScanDepth; ++d) depth_->addItem(QString::number(d));
  auto* label = new QLabel("Scan &Length", this);
  label->setBuddy(depth_);
  form->addRow(label, depth_);
  layout->addLayout(form);
  keep_ = new QCheckBox("Scan without changing address", this);
  keep_->setObjectName("CheckBoxKeepAddress");
  keep_->setAccessibleName("Scan without changing address");
  layout->addWidget(keep_);
  auto* buttons = new QHBoxLayout;
  set_ = Button(this, "ButtonSet", "Set");
  set_->setDefault(true);
  auto* cancel = Button(this, "ButtonCancel", "Cancel");
  reset_ = Button(this, "ButtonReset", "Reset to default");
  buttons->addWidget(set_);
  buttons->addWidget(cancel);
  buttons->addWidget(reset_);
  layout->addLayout(buttons);
  connect(set_, &QPushButton::clicked, this, &AdapterConfigureForm::Set);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(reset_, &QPushButton::clicked, this, &AdapterConfigureForm::ResetToDefault);
  Refresh();
}

void AdapterConfigureForm::Refresh() {
  keep_->setChecked(runner_.addressAssign() != 1);
  // A depth from an older configuration beyond what the library runs is
  // shown as what it really does.
  int depth = std::clamp(runner_.scanDepth(), kMinScanDepth, kMaxScanDepth);
  depth_->setCurrentIndex(depth - kMinScanDepth);
}

bool AdapterConfigureForm::Write(const char* key, const std::string& value) {
  std::string failure;
  int result = SetConfigValue(configPath_, key, value.c_str(), tempDir_, &failure);
  if (!failure.empty()) host_.ShowMessage(MessageIcon::kError, kTitle, failure);
  return result == kConfigOk;
}

void AdapterConfigureForm::Set() {
  const int assign = keep_->isChecked() ? 0 : 1;
  const int depth = depth_->currentIndex() + kMinScanDepth;
  // Each write must succeed on its own: results of different signs must not
  // cancel out.
  bool ok = Write(kKeyDefaultAssign, std::to_string(assign));
  ok = Write(kKeyDefaultDepth, std::to_string(depth)) && ok;
  runner_.SetScanArguments(depth, assign);
  if (!ok) {
    host_.ShowMessage(MessageIcon::kError, kTitle, "Setting failed.");
    return;
  }
  hide();
  host_.ShowMessage(MessageIcon::kInformation, kTitle, "Setting success.");
  accept();
}

void AdapterConfigureForm::ResetToDefault() {
  bool ok = Write(kKeyDefaultAssign, "1");
  ok = Write(kKeyDefaultDepth, std::to_string(kDefaultScanDepth)) && ok;
  runner_.SetScanArguments(kDefaultScanDepth, 1);
  if (!ok) {
    host_.ShowMessage(MessageIcon::kError, kTitle, "Setting failed.");
    return;
  }
  hide();
  host_.ShowMessage(MessageIcon::kInformation, kTitle, "Load default setting success.");
  Refresh();
  accept();
}

}  // namespace aldpanel
