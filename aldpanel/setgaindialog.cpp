#include "aldpanel/setgaindialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "aldpanel/core/quarterdb.h"
#include "aldpanel/mainwindow.h"

namespace aldpanel {
namespace {

const char* kTitle = "Set Gain";

}  // namespace

SetGainDialog::SetGainDialog(MainWindow& main, QWidget* parent) : QDialog(parent), main_(main) {
  setObjectName("SetGainForm");
  setWindowTitle(kTitle);
  setAccessibleName(kTitle);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  address_ = new QLabel(this);
  address_->setObjectName("LabelAddress");
  address_->hide();
  subunit_ = new QLabel(this);
  subunit_->setObjectName("LabelSubunit");
  subunit_->hide();
  auto* form = new QFormLayout;
  auto* range = new QHBoxLayout;
  min_ = new QLineEdit(this);
  min_->setObjectName("EditMinGain");
  min_->setAccessibleName("Min Gain");
  min_->setReadOnly(true);
  max_ = new QLineEdit(this);
  max_->setObjectName("EditMaxGain");
  max_->setAccessibleName("Max Gain");
  max_->setReadOnly(true);
  range->addWidget(min_);
  range->addWidget(new QLabel(" - ", this));
  range->addWidget(max_);
  form->addRow("Min Gain - Max Gain (dB)", range);
  current_ = new QComboBox(this);
  current_->setObjectName("ComboCurrentGain");
  current_->setAccessibleName("Current Gain (dB)");
  current_->setEditable(true);
  form->addRow("Current Gain (dB)", current_);
  layout->addLayout(form);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  set_ = new QPushButton("Set Gain", this);
  set_->setObjectName("ButtonSetGain");
  set_->setAccessibleName("Set Gain");
  set_->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("ButtonCancel");
  cancel->setAccessibleName("Cancel");
  buttons->addWidget(set_);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(set_, &QPushButton::clicked, this, [this] { SetGain(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void SetGainDialog::SetDevice(int address, int subunit) {
  address_->setText(QString::number(address));
  subunit_->setText(QString::number(subunit));
}

void SetGainDialog::SetRange(const GainRange& range) {
  range_ = range;
  const char sep = main_.decimalSeparator();
  min_->setText(range.min ? QString::fromStdString(FormatQuarterDb(*range.min, sep)) : QString());
  max_->setText(range.max ? QString::fromStdString(FormatQuarterDb(*range.max, sep)) : QString());
}

void SetGainDialog::SetGains(const std::vector<long>& quarters, const QString& current) {
  current_->clear();
  for (long q : quarters) {
    current_->addItem(QString::fromStdString(FormatQuarterDb(q, main_.decimalSeparator())));
  }
  int index = current_->findText(current);
  current_->setCurrentIndex(index);
  if (index < 0) current_->setEditText(current);
}

bool SetGainDialog::SetGain() {
  PanelHost& host = main_.host();
  const std::string text = current_->currentText().trimmed().toStdString();
  if (text.empty()) return false;
  if (main_.glue().exports().setGain == nullptr) {
    host.ShowMessage(MessageIcon::kError, kTitle, "Not found setGain function!");
    return false;
  }
  // Nothing goes to the device that it cannot take as it stands: a value
  // off its steps is refused, not cut to one of them.
  GainCheck check = CheckGain(text, range_, main_.decimalSeparator());
  if (!check.ok) {
    host.ShowMessage(MessageIcon::kError, kTitle, check.message);
    return false;
  }
  int address = address_->text().toInt();
  int subunit = subunit_->text().toInt();
  int result = main_.RunOperation(kOpSetGain, nullptr, "", "", static_cast<int>(check.quarters),
                                  subunit, address, kTitle);
  if (result == 0) {
    host.ShowMessage(MessageIcon::kInformation, kTitle, "Set gain success.");
  } else {
    main_.ShowOperationResult(kTitle, kOpSetGain, result);
  }
  accept();
  return true;
}

}  // namespace aldpanel
