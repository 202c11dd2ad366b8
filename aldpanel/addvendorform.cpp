#include "aldpanel/addvendorform.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "aldpanel/core/catalogue.h"
#include "aldpanel/panelhost.h"

namespace aldpanel {

AddVendorForm::AddVendorForm(const Catalogue& catalogue, PanelHost& host, QWidget* parent)
    : QDialog(parent), catalogue_(catalogue), host_(host) {
  setObjectName("AddVendorForm");
  setWindowTitle("Add Vendor");
  setAccessibleName("Add Vendor");
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  code_ = new QLineEdit(this);
  code_->setObjectName("EditVendorCode");
  code_->setAccessibleName("Vendor Code");
  code_->setMaxLength(kVendorCodeLimit);
  auto* label = new QLabel("&Vendor Code", this);
  label->setBuddy(code_);
  form->addRow(label, code_);
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
  connect(add_, &QPushButton::clicked, this, &AddVendorForm::Add);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void AddVendorForm::Add() {
  const std::string title = "Add Vendor";
  // Devices report their vendor codes in capitals, and the RET windows look
  // for the folder under the code as reported.
  std::string code = code_->text().trimmed().toUpper().toStdString();
  std::string why;
  switch (catalogue_.AddVendor(code, &why)) {
    case AddVendorResult::kAdded:
      added_ = code;
      host_.ShowMessage(MessageIcon::kInformation, title, "Add vendor success.");
      accept();
      return;
    case AddVendorResult::kExists:
      host_.ShowMessage(MessageIcon::kError, title, "This vendor already exists!");
      return;
    case AddVendorResult::kBadCode:
      host_.ShowMessage(MessageIcon::kError, title, why);
      return;
    case AddVendorResult::kFailed:
      host_.ShowMessage(MessageIcon::kError, title, "Add vendor failed.\n" + why);
      return;
  }
}

}  // namespace aldpanel
