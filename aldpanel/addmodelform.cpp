#include "aldpanel/addmodelform.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "aldpanel/core/catalogue.h"
#include "aldpanel/panelhost.h"

namespace aldpanel {
namespace {

const char* kTitle = "Add Antenna Model";

QLineEdit* Edit(QWidget* parent, const char* name, const char* caption, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setAccessibleName(caption);
  if (maxLength > 0) edit->setMaxLength(maxLength);
  return edit;
}

}  // namespace

AddModelForm::AddModelForm(const Catalogue& catalogue, PanelHost& host, std::string vendorCode,
                           const std::string& vendorName, QWidget* parent)
    : QDialog(parent), catalogue_(catalogue), host_(host), vendorCode_(std::move(vendorCode)) {
  setObjectName("AddModelForm");
  setWindowTitle(kTitle);
  setAccessibleName(kTitle);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  file_ = Edit(this, "EditConfigFile", "Config File", 0);
  file_->setMinimumWidth(260);
  browse_ = new QPushButton("Browse", this);
  browse_->setObjectName("ButtonBrowse");
  browse_->setAccessibleName("Browse");
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(browse_);
  form->addRow("Config File", fileRow);
  model_ = Edit(this, "EditModelName", "Antenna Model Name", kModelFullNameLimit);
  form->addRow("Antenna Model Name", model_);
  // Not cut at 15 characters: a longer name, typed or found in a table,
  // gets its message instead of being shortened silently.
  aisg_ = Edit(this, "EditAisgModelName", "AISG Model Name", 0);
  form->addRow("AISG Model Name", aisg_);
  version_ = Edit(this, "EditVersion", "Version", kModelVersionLimit);
  form->addRow("Version", version_);
  vendor_ = Edit(this, "EditVendorName", "Vendor Name", 0);
  vendor_->setReadOnly(true);
  vendor_->setText(QString::fromStdString(vendorName));
  form->addRow("Vendor Name", vendor_);
  layout->addLayout(form);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  add_ = new QPushButton("Add", this);
  add_->setObjectName("ButtonAdd");
  add_->setAccessibleName("Add");
  add_->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("ButtonCancel");
  cancel->setAccessibleName("Cancel");
  buttons->addWidget(add_);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(browse_, &QPushButton::clicked, this, &AddModelForm::Browse);
  connect(add_, &QPushButton::clicked, this, &AddModelForm::Add);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void AddModelForm::Browse() {
  std::string path =
      host_.ChooseOpenFile("Select Config File", Catalogue::FileFilterOf(vendorCode_));
  if (path.empty()) return;
  QString chosen = QString::fromStdString(path);
  file_->setText(chosen);
  std::string name = QFileInfo(chosen).completeBaseName().toStdString();
  model_->setText(QString::fromStdString(name));
  aisg_->setText(QString::fromStdString(catalogue_.SuggestAisgName(vendorCode_, name)));
}

void AddModelForm::Fail(const std::string& text) {
  host_.ShowMessage(MessageIcon::kError, kTitle, text);
}

void AddModelForm::Add() {
  const std::string aisg = aisg_->text().toStdString();
  const std::string fullName = model_->text().trimmed().toStdString();
  const std::string source = file_->text().toStdString();
  const std::string version = version_->text().toStdString();

  // Every check comes before anything is written: a refused model touches
  // no file and no table.
  if (std::string problem = AisgModelNameProblem(aisg); !problem.empty()) return Fail(problem);
  if (std::string problem = ModelFullNameProblem(fullName); !problem.empty()) return Fail(problem);
  if (version.find_first_of("\r\n") != std::string::npos) {
    return Fail("Version can not hold a line break.");
  }
  if (std::optional<std::string> stored = catalogue_.UsedByOther(vendorCode_, aisg, fullName)) {
    return Fail("This AISG Model Name is already used for\n another Antenna Model (" + *stored +
                " ).");
  }
  // A file of the wrong kind would reach the antenna as its configuration.
  if (std::string problem = Catalogue::ExtensionProblem(vendorCode_, source); !problem.empty()) {
    return Fail(problem);
  }
  if (catalogue_.ModelExists(vendorCode_, aisg) &&
      !host_.Ask(kTitle, "This model exists. Are you sure you want to update this model?")) {
    return;
  }
  // The file first: a copy that fails leaves no table line naming a model
  // that is not there.
  switch (catalogue_.CopyModelFile(source, vendorCode_, aisg)) {
    case CopyResult::kCopied:
      break;
    case CopyResult::kNoSource:
      return Fail("The selected Config File does not exist.");
    case CopyResult::kFailed:
      return Fail("Add antenna model failed.");
  }
  std::optional<std::string> stored = catalogue_.StoredFullName(vendorCode_, aisg);
  if (!fullName.empty() && (!stored || *stored != fullName)) {
    std::string failure;
    if (catalogue_.WriteModelName(vendorCode_, aisg, fullName, &failure) != 0) {
      return Fail("Add antenna model failed.\nThe model's name could not be written to " +
                  Catalogue::ModelTableOf(vendorCode_) + "." +
                  (failure.empty() ? "" : "\n" + failure));
    }
  }
  if (!catalogue_.WriteVersion(vendorCode_, aisg, version)) {
    return Fail("Add antenna model failed.\nThe version file could not be written.");
  }
  hide();
  host_.ShowMessage(MessageIcon::kInformation, kTitle, "Add antenna model success.");
  accept();
}

void AddModelForm::done(int result) {
  // Closing in any way leaves the dialog empty for the next model.
  file_->clear();
  model_->clear();
  aisg_->clear();
  version_->clear();
  aisg_->setEnabled(true);
  QDialog::done(result);
}

}  // namespace aldpanel
