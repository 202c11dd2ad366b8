#include "aldpanel/panelapp.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <cstdio>

#include "aldpanel/brand.h"
#include "aldpanel/core/platform.h"

namespace aldpanel {
namespace {

class UnattendedHost : public QtPanelHost {
 public:
  using QtPanelHost::QtPanelHost;
  void ShowMessage(MessageIcon, const std::string& title, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  }
  bool Ask(const std::string&, const std::string&) override { return true; }
  int ExecDialog(QDialog&) override { return QDialog::Accepted; }
};

}  // namespace

PanelApp::PanelApp(const StartOptions& options) {
  std::string programDir = RunningProgramDir();
  paths_ = ResolveStartupPaths(programDir, QDir::currentPath().toStdString(), ProcessEnv());
  std::string busyProgram = programDir + "/" + platform::kBusyProgramFile;
  if (options.unattended) {
    host_ = std::make_unique<UnattendedHost>(busyProgram);
  } else {
    host_ = std::make_unique<QtPanelHost>(busyProgram);
  }
  QApplication::setWindowIcon(BrandIcon());

  std::string why;
  if (!PrepareWorkDir(paths_, &why)) {
    host_->ShowMessage(MessageIcon::kError, kProductName, why);
  }
  std::string failure;
  SetConfigValue(paths_.configPath, kKeySystemRoot, paths_.workDir.c_str(), paths_.tempDir,
                 &failure);
  if (!failure.empty()) host_->ShowMessage(MessageIcon::kError, kProductName, failure);
  settings_ = ReadSettings(paths_.configPath);
  if (options.applyDebugOutput) debug_.Apply(DebugModeOf(settings_.debugMode), paths_);

  for (const std::string& message : glue_.Load(programDir, options.libraryPath)) {
    host_->ShowMessage(MessageIcon::kError, kBindMessageTitle, message);
  }

  PanelContext context;
  context.paths = paths_;
  context.settings = settings_;
  context.glue = &glue_;
  context.host = host_.get();
  context.decimalSeparator = DetectDecimalSeparator();
  window_ = std::make_unique<MainWindow>(context);
  host_->SetParent(window_.get());
}

PanelApp::~PanelApp() {
  window_.reset();
  debug_.Finish();
  glue_.Unload();
}

}  // namespace aldpanel
