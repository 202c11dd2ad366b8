#include "tests/aldpanel/fixture.h"

#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <cstring>

#include "aldpanel/scanresultdialog.h"

namespace aldpanel::test {

GlueLibrary& SharedGlue() {
  static GlueLibrary* const glue = new GlueLibrary;
  return *glue;
}

std::vector<std::string> LoadSharedGlue() {
  static std::vector<std::string> messages = SharedGlue().Load("", ALDGLUE_LIBRARY);
  return messages;
}

std::vector<std::string>& LogLines() {
  static std::vector<std::string> lines;
  return lines;
}

void Log(const std::string& line) {
  LogLines().push_back(line);
}

void ClearLog() {
  LogLines().clear();
}

bool Logged(const std::string& line) {
  return IndexOf(line) >= 0;
}

int IndexOf(const std::string& line) {
  const std::vector<std::string>& lines = LogLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return static_cast<int>(i);
  }
  return -1;
}

int CountOf(const std::string& prefix) {
  int n = 0;
  for (const std::string& l : LogLines()) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

std::string Dump() {
  std::string out;
  for (const std::string& l : LogLines()) out += "\n  " + l;
  return out;
}

int TestHost::StartBusyWindow(const std::vector<std::string>& args, std::string* why) {
  std::string line = "start";
  for (const std::string& a : args) line += " [" + a + "]";
  Log(line);
  if (failStart) {
    if (why != nullptr) *why = "no such program";
    return -1;
  }
  return 4242;
}

void TestHost::EndBusyWindow(int pid) {
  Log("end " + std::to_string(pid));
}

void TestHost::Pause(int milliseconds) {
  Log("pause " + std::to_string(milliseconds));
}

void TestHost::ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) {
  const char* names[] = {"information", "warning", "error", "question"};
  Log("message " + std::string(names[static_cast<int>(icon)]) + " [" + title + "] " + text);
}

bool TestHost::Ask(const std::string& title, const std::string& text) {
  Log("ask [" + title + "] " + text);
  bool answer = answers.empty() ? true : answers.front();
  if (!answers.empty()) answers.pop_front();
  return answer;
}

int TestHost::ExecDialog(QDialog& dialog) {
  Log("dialog " + dialog.objectName().toStdString());
  lastDialogText.clear();
  if (auto* scan = qobject_cast<ScanResultDialog*>(&dialog)) {
    lastDialogText = scan->text().toStdString();
    lastDialogTitle = scan->windowTitle().toStdString();
  }
  if (onDialog) return onDialog(dialog);
  return QDialog::Accepted;
}

void TestHost::OpenUrl(const QUrl& url) {
  Log("url " + url.toString().toStdString());
}

std::string TestHost::ChooseOpenFile(const std::string& title, const std::string& filter) {
  Log("open [" + title + "] " + filter);
  std::string path = files.empty() ? std::string() : files.front();
  if (!files.empty()) files.pop_front();
  return path;
}

std::string TestHost::ChooseSaveFile(const std::string& title, const std::string& fileName,
                                     const std::string& filter) {
  Log("save [" + title + "] " + fileName + " " + filter);
  std::string path = files.empty() ? std::string() : files.front();
  if (!files.empty()) files.pop_front();
  return path;
}

void TestHost::Reset() {
  answers.clear();
  files.clear();
  onDialog = nullptr;
  failStart = false;
  lastDialogText.clear();
  lastDialogTitle.clear();
}

void WriteStandardData(const QString& workDir) {
  QDir work(workDir);
  work.mkpath("tmp");
  work.mkpath("data");
  WriteFile(work.filePath("data/error_code.tbl"), "0=OK\n14=Not calibrated\n-111=Not run\n");
  WriteFile(work.filePath("data/vendor_short_name.tbl"), "KA=Kay\nEM=Em\n");
  WriteFile(work.filePath("data/vendor_full_name.tbl"), "KA=Kay Antennas Ltd\n");
  WriteFile(work.filePath("data/model_full_name.tbl"), "EA-1865-16=EA 1865 16 dBi\n");
}

PanelContext MakeContext(const QString& workDir, TestHost& host) {
  PanelContext c;
  std::string work = workDir.toStdString();
  c.paths.workDir = work;
  c.paths.tempDir = work + "/tmp";
  c.paths.configPath = work + "/mirelk.conf";
  c.glue = &SharedGlue();
  c.host = &host;
  c.decimalSeparator = '.';
  return c;
}

void Put(MIRELK_DATA& entry, int field, const std::string& text) {
  std::memset(entry.field[field], 0, kMirelkFieldSize);
  std::strncpy(entry.field[field], text.c_str(), kMirelkFieldSize - 1);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return f.write(bytes) == bytes.size();
}

QString ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(f.readAll());
}

QStringList Column(QTableWidget* grid, int column, int rows) {
  QStringList out;
  for (int r = 0; r < rows; ++r) {
    QTableWidgetItem* item = grid->item(r, column);
    out << (item != nullptr ? item->text() : QString());
  }
  return out;
}

int FilledRows(QTableWidget* grid, int addressColumn) {
  int n = 0;
  for (int r = 0; r < grid->rowCount(); ++r) {
    QTableWidgetItem* item = grid->item(r, addressColumn);
    if (item != nullptr && !item->text().isEmpty()) ++n;
  }
  return n;
}

int RowOf(MainWindow& w, QTableWidget* grid, int addressColumn, const QString& address,
          const std::string& subunit) {
  const std::vector<std::string>& subs =
      grid == w.retGrid() ? w.retRowSubunits() : w.tmaRowSubunits();
  for (int r = 0; r < grid->rowCount(); ++r) {
    QTableWidgetItem* item = grid->item(r, addressColumn);
    if (item != nullptr && item->text() == address && static_cast<size_t>(r) < subs.size() &&
        subs[static_cast<size_t>(r)] == subunit) {
      return r;
    }
  }
  return -1;
}

}  // namespace aldpanel::test
