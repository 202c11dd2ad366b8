#include "aldpanel/scanresultdialog.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace aldpanel {

ScanResultDialog::ScanResultDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("scanResultForm");
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(this);
  text_->setObjectName("LabelResult");
  // A fixed-width font keeps the count columns of the lines aligned.
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  layout->addWidget(text_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setObjectName("ButtonOK");
  ok->setText("OK");
  ok->setAccessibleName("OK");
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

void ScanResultDialog::SetResult(const QString& title, const std::vector<std::string>& lines) {
  setWindowTitle(title);
  setAccessibleName(title);
  QStringList list;
  for (const std::string& line : lines) list << QString::fromStdString(line);
  text_->setText(list.join('\n'));
  text_->setAccessibleName(list.join(' '));
  adjustSize();
}

QString ScanResultDialog::text() const {
  return text_->text();
}

}  // namespace aldpanel
