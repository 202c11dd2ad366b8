// notebox: the busy window the operator program shows while a device
// operation blocks it. Arguments: the title, and for software downloads the
// file size in bytes.
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "aldpanel/core/glue.h"
#include "aldpanel/core/startup.h"
#include "notebox/noteboxwindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName(aldpanel::kBusyProgramName);

  aldpanel::GlueLibrary glue;
  const std::vector<std::string> messages =
      glue.LoadStatusOnly(QCoreApplication::applicationDirPath().toStdString());
  for (const std::string& m : messages) {
    QMessageBox::critical(nullptr, aldpanel::kBindMessageTitle, QString::fromStdString(m));
  }

  notebox::NoteboxWindow::StatusReader reader;
  if (auto get = glue.exports().getProcessStatus) {
    reader = [get]() -> std::optional<int> {
      int status = 0;
      if (get(static_cast<int>(getpid()), &status) != 0) return std::nullopt;
      return status;
    };
  }
  QStringList args = QCoreApplication::arguments();
  args.removeFirst();
  notebox::NoteboxWindow window(args, reader);
  if (!window.argumentError().isEmpty()) {
    std::fprintf(stderr, "notebox: %s\n", qPrintable(window.argumentError()));
  }
  QObject::connect(&window, &notebox::NoteboxWindow::finished, &app, &QApplication::quit);
  window.show();
  const int rc = app.exec();
  glue.Unload();
  return rc;
}
