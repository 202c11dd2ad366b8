#include "aldpanel/aboutdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "aldpanel/brand.h"
#include "aldpanel/core/startup.h"

#ifndef ALDPANEL_VERSION
#define ALDPANEL_VERSION "0.1"
#endif

namespace aldpanel {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutForm");
  setWindowTitle(QString("About %1").arg(kProductName));
  setAccessibleName(windowTitle());
  setWindowIcon(BrandIcon());
  auto* layout = new QVBoxLayout(this);
  auto* logo = new QLabel(this);
  logo->setObjectName("ImageLogo");
  logo->setAccessibleName(kProductName);
  logo->setPixmap(BrandLogo(48, devicePixelRatioF()));
  layout->addWidget(logo, 0, Qt::AlignHCenter);
  auto* text = new QLabel(this);
  text->setObjectName("LabelAbout");
  text->setText(QString("<p><b>%1</b> (%2) version %3</p>"
                        "<p>Field controller for AISG 1.x and AISG 2.0 antenna line devices:<br>"
                        "remote electrical tilt units (RET) and tower mounted amplifiers (TMA)<br>"
                        "on an RS-485 antenna line, through a CP210x USB adapter.</p>"
                        "<p>Part of aldcontrol.</p>")
                    .arg(kProductName, kProgramName, ALDPANEL_VERSION));
  text->setTextFormat(Qt::RichText);
  text->setAccessibleName(QString("%1 version %2").arg(kProductName, ALDPANEL_VERSION));
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ButtonOK");
  buttons->button(QDialogButtonBox::Ok)->setAccessibleName("OK");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace aldpanel
