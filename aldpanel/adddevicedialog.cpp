#include "aldpanel/adddevicedialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace aldpanel {

AddDeviceDialog::AddDeviceDialog(AddFunction add, QWidget* parent)
    : QDialog(parent), run_(std::move(add)) {
  setObjectName("AddDeviceForm");
  setWindowTitle("Add Device");
  setAccessibleName("Add Device");
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  vendor_ = new QLineEdit(this);
  vendor_->setObjectName("EditVendorCode");
  vendor_->setAccessibleName("Vendor Code");
  vendor_->setMaxLength(2);
  serial_ = new QLineEdit(this);
  serial_->setObjectName("EditSerialNo");
  serial_->setAccessibleName("Serial No.");
  serial_->setMaxLength(32);
  auto* vendorLabel = new QLabel("&Vendor Code", this);
  vendorLabel->setBuddy(vendor_);
  auto* serialLabel = new QLabel("&Serial No.", this);
  serialLabel->setBuddy(serial_);
  form->addRow(vendorLabel, vendor_);
  form->addRow(serialLabel, serial_);
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
  connect(add_, &QPushButton::clicked, this, [this] {
    if (run_ && run_(vendor_->text(), serial_->text())) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void AddDeviceDialog::done(int result) {
  // Closing in any way empties both boxes for the next device.
  vendor_->clear();
  serial_->clear();
  QDialog::done(result);
}

}  // namespace aldpanel
