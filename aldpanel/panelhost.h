// What the windows need from their surroundings beyond the bus: message
// boxes, questions, modal dialogs, the web browser, and the busy window
// process. The program supplies the real ones (QtPanelHost); the window
// tests answer them without a person and without waiting.
#pragma once

#include <QString>
#include <QUrl>
#include <string>
#include <vector>

#include "aldpanel/core/runner.h"

class QDialog;
class QWidget;

namespace aldpanel {

class PanelHost : public RunnerHost {
 public:
  // A question with OK and Cancel and the question icon; true on OK.
  virtual bool Ask(const std::string& title, const std::string& text) = 0;
  // Shows `dialog` modally; its result code (QDialog::Accepted or Rejected).
  virtual int ExecDialog(QDialog& dialog) = 0;
  // Opens a web address with the system's browser.
  virtual void OpenUrl(const QUrl& url) = 0;
  // File choices. `filter` is in the program's own form, pairs of a caption
  // and patterns separated by "|" ("CSV files (*.csv)|*.csv|All files
  // (*.*)|*.*"). The chosen path, "" when the operator cancels. The working
  // directory is current again afterwards, whatever the dialog did.
  virtual std::string ChooseOpenFile(const std::string& title, const std::string& filter) = 0;
  virtual std::string ChooseSaveFile(const std::string& title, const std::string& fileName,
                                     const std::string& filter) = 0;
};

// The program's "caption|patterns|caption|patterns" filter as the toolkit
// wants it: the captions (which name their patterns) separated by ";;".
QString QtFileFilter(const std::string& filter);

// The real surroundings: Qt message boxes over `parent` (when set), the busy
// window program started beside the operator program, a real pause.
class QtPanelHost : public PanelHost {
 public:
  explicit QtPanelHost(std::string busyProgram) : process_(std::move(busyProgram)) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

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

 private:
  // The process part of the real host; messages are the windows' own.
  class Processes : public ProcessRunnerHost {
   public:
    using ProcessRunnerHost::ProcessRunnerHost;
    void ShowMessage(MessageIcon, const std::string&, const std::string&) override {}
  };
  Processes process_;
  QWidget* parent_ = nullptr;
};

// Sits between the runner and the host so that an operation whose table must
// be read afterwards keeps its busy window up until the grids are filled:
// while holding, the runner's pause is skipped and the end of the busy
// window is deferred to Release, which the window calls after its fill.
class BusyHold : public RunnerHost {
 public:
  explicit BusyHold(PanelHost& host) : host_(host) {}

  int StartBusyWindow(const std::vector<std::string>& args, std::string* why) override {
    return host_.StartBusyWindow(args, why);
  }
  void EndBusyWindow(int pid) override;
  void Pause(int milliseconds) override;
  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override {
    host_.ShowMessage(icon, title, text);
  }

  // From now on the busy window of the next runner call stays up.
  void Hold() {
    holding_ = true;
    heldPid_ = -1;
  }
  // The busy window kept up since Hold, -1 when the operation showed none.
  int heldPid() const { return heldPid_; }
  // Stops holding; ends the kept busy window after the usual pause (the
  // caller has set the finished status).
  void Release();

 private:
  PanelHost& host_;
  bool holding_ = false;
  int heldPid_ = -1;
};

}  // namespace aldpanel
