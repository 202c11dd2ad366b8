#include "aldpanel/settiltdialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "aldpanel/core/antennadata.h"
#include "aldpanel/mainwindow.h"

namespace aldpanel {

SetTiltDialog::SetTiltDialog(MainWindow& main, PanelHost& host, char decimalSeparator,
                             QWidget* parent)
    : QDialog(parent), main_(main), host_(host), decimalSeparator_(decimalSeparator) {
  setObjectName("SetElectricalTiltForm");
  setWindowTitle("Set Tilt");
  setAccessibleName("Set Tilt");
  setModal(true);

  auto* layout = new QGridLayout(this);
  address_ = new QLineEdit(this);
  address_->setObjectName("EditAddress");
  address_->hide();
  subunit_ = new QLabel(this);
  subunit_->setObjectName("LabelSubunit");
  subunit_->hide();

  auto* rangeLabel = new QLabel("Min Tilt - Max Tilt", this);
  min_ = new QLineEdit(this);
  min_->setObjectName("EditMinTilt");
  min_->setAccessibleName("Min Tilt");
  max_ = new QLineEdit(this);
  max_->setObjectName("EditMaxTilt");
  max_->setAccessibleName("Max Tilt");
  auto* range = new QHBoxLayout;
  for (QLineEdit* e : {min_, max_}) {
    e->setReadOnly(true);
    e->setMaximumWidth(60);
  }
  range->addWidget(min_);
  range->addWidget(new QLabel(" - ", this));
  range->addWidget(max_);
  range->addStretch();

  auto* currentLabel = new QLabel("Current Tilt", this);
  current_ = new QLineEdit(this);
  current_->setObjectName("EditCurrentTilt");
  current_->setAccessibleName("Current Tilt");
  current_->setMaxLength(5);
  current_->setMaximumWidth(60);
  rangeLabel->setBuddy(min_);
  currentLabel->setBuddy(current_);

  auto* setButton = new QPushButton("Set tilt", this);
  setButton->setObjectName("ButtonSetTilt");
  setButton->setAccessibleName("Set tilt");
  setButton->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("ButtonCancel");
  cancel->setAccessibleName("Cancel");
  connect(setButton, &QPushButton::clicked, this, [this] { SetTilt(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(setButton);
  buttons->addWidget(cancel);

  layout->addWidget(rangeLabel, 0, 0);
  layout->addLayout(range, 0, 1);
  layout->addWidget(currentLabel, 1, 0);
  layout->addWidget(current_, 1, 1);
  layout->addLayout(buttons, 2, 0, 1, 2);
}

void SetTiltDialog::Load(int address, int subunit, const QString& minTilt, const QString& maxTilt,
                         const QString& currentTilt) {
  address_->setText(QString::number(address));
  subunit_->setText(QString::number(subunit));
  min_->setText(minTilt);
  max_->setText(maxTilt);
  current_->setText(currentTilt);
}

void SetTiltDialog::Open(int address, int subunit, const QString& minTilt, const QString& maxTilt,
                         const QString& currentTilt) {
  Load(address, subunit, minTilt, maxTilt, currentTilt);
  host_.ExecDialog(*this);
}

bool SetTiltDialog::SetTilt() {
  const std::string title = "Set Tilt";
  const TiltCheck check = CheckSetTilt(current_->text().toStdString(), min_->text().toStdString(),
                                       max_->text().toStdString(), decimalSeparator_);
  switch (check.verdict) {
    case TiltVerdict::kNothing:
      return false;
    case TiltVerdict::kBadFormat:
      host_.ShowMessage(MessageIcon::kError, title, check.message);
      return false;
    case TiltVerdict::kNotANumber:
      host_.ShowMessage(MessageIcon::kError, title, check.message);
      return false;
    case TiltVerdict::kOutOfRange:
    case TiltVerdict::kOk:
      break;
  }
  if (main_.glue().exports().setTilt == nullptr) {
    main_.FillGrids();
    host_.ShowMessage(MessageIcon::kError, title, "Not found setTilt function!");
    reject();
    return true;
  }
  if (check.verdict == TiltVerdict::kOutOfRange) {
    host_.ShowMessage(MessageIcon::kError, title, check.message);
    return false;
  }
  const int result = main_.RunAndFill(kOpSetTilt, "", "", check.tenths, subunit_->text().toInt(),
                                      address_->text().toInt(), title);
  if (result == 0) {
    host_.ShowMessage(MessageIcon::kInformation, title, "Set tilt success.");
  } else {
    host_.ShowMessage(MessageIcon::kError, title, main_.tables().ErrorText(result));
  }
  accept();
  return true;
}

}  // namespace aldpanel
