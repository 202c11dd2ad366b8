// What every window test of the operator program shares: the interface
// library loaded once, a log of what the windows asked of the world and of
// the library, a host that answers message boxes, questions, file choices
// and modal dialogs at once, and small helpers for grids and files.
//
// Each test program records the exports it watches with wrappers of its
// own that call Log() and then the real export.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "aldpanel/mainwindow.h"
#include "aldpanel/panelhost.h"

class QTableWidget;

namespace aldpanel::test {

// The interface library, loaded on first use and never released: unloading
// it would orphan its device registry, which lives until the process ends.
// Empty messages when it loaded.
GlueLibrary& SharedGlue();
std::vector<std::string> LoadSharedGlue();

// The log: everything the windows asked, in order.
std::vector<std::string>& LogLines();
void Log(const std::string& line);
void ClearLog();
bool Logged(const std::string& line);
int IndexOf(const std::string& line);  // -1 when not logged
int CountOf(const std::string& prefix);
std::string Dump();  // the log, for a failing check's message

// Answers everything at once and logs it:
//   "start [arg] ...", "end PID", "pause MS",
//   "message information|warning|error|question [TITLE] TEXT",
//   "ask [TITLE] TEXT", "dialog OBJECTNAME", "url URL",
//   "open [TITLE] FILTER", "save [TITLE] NAME FILTER".
class TestHost : public PanelHost {
 public:
  int StartBusyWindow(const std::vector<std::string>& args, std::string* why) override;
  void EndBusyWindow(int pid) override;
  void Pause(int milliseconds) override;
  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override;
  bool Ask(const std::string& title, const std::string& text) override;
  int ExecDialog(QDialog& dialog) override;
  void OpenUrl(const QUrl& url) override;
  std::string ChooseOpenFile(const std::string& title, const std::string& filter) override;
  std::string ChooseSaveFile(const std::string& title, const std::string& fileName,
                             const std::string& filter) override;

  void Reset();

  // Answers to questions, first first; OK when empty.
  std::deque<bool> answers;
  // Paths for file choices, first first; "" is a cancel, as is an empty queue.
  std::deque<std::string> files;
  // Called for a modal dialog: tick boxes, press its buttons, and return its
  // result. Without it a dialog is accepted untouched.
  std::function<int(QDialog&)> onDialog;
  bool failStart = false;      // the busy window program cannot be started
  std::string lastDialogText;  // text and title of the last scan result window
  std::string lastDialogTitle;
};

// A working directory with the data files the tests rely on: error texts
// (0=OK, 14, -111), vendor short names KA and EM, the full name of KA, one
// model full name.
void WriteStandardData(const QString& workDir);
PanelContext MakeContext(const QString& workDir, TestHost& host);

// A table entry's field set to `text` (cut to the field).
void Put(MIRELK_DATA& entry, int field, const std::string& text);
bool WriteFile(const QString& path, const QByteArray& bytes);
QString ReadFile(const QString& path);  // "" when it cannot be read

QStringList Column(QTableWidget* grid, int column, int rows);
int FilledRows(QTableWidget* grid, int addressColumn);
// The row of `grid` whose address and subunit are these; -1 when none.
int RowOf(MainWindow& w, QTableWidget* grid, int addressColumn, const QString& address,
          const std::string& subunit);

}  // namespace aldpanel::test
