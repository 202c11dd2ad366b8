#include "aldpanel/panelhost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace aldpanel {

int QtPanelHost::StartBusyWindow(const std::vector<std::string>& args, std::string* why) {
  return process_.StartBusyWindow(args, why);
}

void QtPanelHost::EndBusyWindow(int pid) {
  process_.EndBusyWindow(pid);
}

void QtPanelHost::Pause(int milliseconds) {
  process_.Pause(milliseconds);
}

void QtPanelHost::ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) {
  QMessageBox::Icon qtIcon = QMessageBox::Information;
  switch (icon) {
    case MessageIcon::kInformation:
      qtIcon = QMessageBox::Information;
      break;
    case MessageIcon::kWarning:
      qtIcon = QMessageBox::Warning;
      break;
    case MessageIcon::kError:
      qtIcon = QMessageBox::Critical;
      break;
    case MessageIcon::kQuestion:
      qtIcon = QMessageBox::Question;
      break;
  }
  QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
  QMessageBox box(qtIcon, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  box.setObjectName("ResultMessage");
  box.setAccessibleName(QString::fromStdString(title));
  box.exec();
}

bool QtPanelHost::Ask(const std::string& title, const std::string& text) {
  QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
  QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                  QString::fromStdString(text), QMessageBox::Ok | QMessageBox::Cancel, parent);
  box.setObjectName("QuestionMessage");
  box.setAccessibleName(QString::fromStdString(title));
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok;
}

int QtPanelHost::ExecDialog(QDialog& dialog) {
  return dialog.exec();
}

void QtPanelHost::OpenUrl(const QUrl& url) {
  QDesktopServices::openUrl(url);
}

QString QtFileFilter(const std::string& filter) {
  // Captions sit at the even places; the pattern lists after them repeat
  // what the caption already names in brackets.
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList captions;
  for (int i = 0; i < parts.size(); i += 2) {
    if (!parts[i].isEmpty()) captions << parts[i];
  }
  return captions.join(";;");
}

namespace {

// The dialogs may move the process's current directory on some platforms;
// every path the program uses is relative to the one it had.
class KeepCurrentDir {
 public:
  KeepCurrentDir() : dir_(QDir::currentPath()) {}
  ~KeepCurrentDir() { QDir::setCurrent(dir_); }

 private:
  QString dir_;
};

}  // namespace

std::string QtPanelHost::ChooseOpenFile(const std::string& title, const std::string& filter) {
  KeepCurrentDir keep;
  QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
  QString path = QFileDialog::getOpenFileName(parent, QString::fromStdString(title), QString(),
                                              QtFileFilter(filter));
  return path.toStdString();
}

std::string QtPanelHost::ChooseSaveFile(const std::string& title, const std::string& fileName,
                                        const std::string& filter) {
  KeepCurrentDir keep;
  QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
  QString path =
      QFileDialog::getSaveFileName(parent, QString::fromStdString(title),
                                   QString::fromStdString(fileName), QtFileFilter(filter));
  return path.toStdString();
}

void BusyHold::EndBusyWindow(int pid) {
  if (holding_) {
    heldPid_ = pid;
    return;
  }
  host_.EndBusyWindow(pid);
}

void BusyHold::Pause(int milliseconds) {
  if (holding_) return;  // the pause comes after the fill, in Release
  host_.Pause(milliseconds);
}

void BusyHold::Release() {
  holding_ = false;
  if (heldPid_ < 0) return;
  int pid = heldPid_;
  heldPid_ = -1;
  host_.Pause(kBusyEndWaitMs);
  host_.EndBusyWindow(pid);
}

}  // namespace aldpanel
