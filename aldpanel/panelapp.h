// The operator program's start-up, shared by the program and its benchmark:
// working directory, configuration, debug output, the interface library and
// the main window, in that order.
#pragma once

#include <memory>
#include <string>

#include "aldpanel/core/config.h"
#include "aldpanel/core/glue.h"
#include "aldpanel/core/startup.h"
#include "aldpanel/mainwindow.h"
#include "aldpanel/panelhost.h"

namespace aldpanel {

struct StartOptions {
  std::string libraryPath;  // the interface library to load; "" for the usual search
  bool applyDebugOutput = true;
  // Nobody at the screen (screenshots, benchmarks): questions are answered
  // OK, modal windows are not waited for, messages go to standard error.
  bool unattended = false;
};

class PanelApp {
 public:
  // Runs every start-up step and creates (but does not show) the main
  // window. Problems are shown as messages and leave their functions inert.
  explicit PanelApp(const StartOptions& options);
  ~PanelApp();

  MainWindow& window() { return *window_; }
  GlueLibrary& glue() { return glue_; }
  PanelHost& host() { return *host_; }
  const StartupPaths& paths() const { return paths_; }

 private:
  StartupPaths paths_;
  Settings settings_;
  GlueLibrary glue_;
  DebugOutput debug_;
  std::unique_ptr<QtPanelHost> host_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace aldpanel
