// aldpanel: the operator program.
//   aldpanel [--lib PATH]
// PATH names the interface library to load instead of libaldglue.so beside
// the program.
#include <QApplication>
#include <cstring>

#include "aldpanel/panelapp.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(aldpanel::kProgramName);
  aldpanel::StartOptions options;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--lib") == 0) options.libraryPath = argv[i + 1];
  }
  aldpanel::PanelApp panel(options);
  panel.window().show();
  return QApplication::exec();
}
