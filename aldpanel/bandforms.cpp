#include "aldpanel/bandforms.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QPushButton>

namespace aldpanel {

BandFormBase::BandFormBase(BandFormKind kind, const char* objectName, QWidget* parent)
    : QDialog(parent), kind_(kind) {
  setObjectName(objectName);
  setWindowTitle("Select Frequency");
  setAccessibleName("Select Frequency");
  setModal(true);
}

QCheckBox* BandFormBase::bandBox(int key) const {
  auto found = boxes_.find(key);
  return found == boxes_.end() ? nullptr : found->second;
}

void BandFormBase::AddButtons(QBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  apply_ = new QPushButton("Apply", this);
  apply_->setObjectName("ButtonApply");
  apply_->setAccessibleName("Apply");
  apply_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("ButtonCancel");
  cancel_->setAccessibleName("Cancel");
  row->addWidget(apply_);
  row->addWidget(cancel_);
  layout->addLayout(row);
  connect(apply_, &QPushButton::clicked, this, &BandFormBase::Apply);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void BandFormBase::Apply() {
  ApplyBandSelection(edit_, TickedBits(), Generation(), kind_);
  accept();
}

}  // namespace aldpanel
