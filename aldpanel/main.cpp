// aldpanel: the operator program.
//   aldpanel [--lib PATH] [--screenshot FILE [--screenshot-tma FILE]]
//            [--screenshot-tma-detail FILE] [--screenshot-band-aisg2 FILE]
// --lib PATH loads that interface library instead of libaldglue.so beside
// the program. --screenshot FILE scans the line without asking, selects the
// first row, saves a picture of the main window as FILE (PNG) and exits:
// scripts/screenshots.sh uses it for the documentation.
// --screenshot-tma-detail FILE does the same for the TMA detail window of
// the first AISG 2.0 TMA unit.
// --screenshot-band-aisg2 FILE scans the same way and saves the AISG 2.x band
// dialog as the first AISG 2.x antenna's "Sel" button opens it.
// --screenshot-ret-detail FILE scans the same way and saves the RET detail
// window of the first AISG 2.x antenna with more than one band.
#include <QApplication>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aldpanel/bandforms.h"
#include "aldpanel/core/gridrows.h"
#include "aldpanel/panelapp.h"
#include "aldpanel/retdetailwindow.h"
#include "aldpanel/tmadetailwindow.h"

namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// The band dialog of the first AISG 2.x antenna with bands, ticked from its
// band field; the program exits after saving it.
void SaveBandDialogShot(aldpanel::MainWindow& window, const QString& file) {
  window.ScanDevice();
  aldpanel::BandEdit edit;
  QTableWidget* grid = window.retGrid();
  for (size_t row = 0; row < window.retRowSubunits().size(); ++row) {
    const QTableWidgetItem* cell = grid->item(static_cast<int>(row), aldpanel::kRetAddressColumn);
    if (cell == nullptr || cell->text().isEmpty()) continue;
    const std::string address = cell->text().toStdString();
    const std::string& subunit = window.retRowSubunits()[row];
    const std::string field = window.FieldByName(address, subunit, "Freq. Band").value_or("");
    if (window.FieldByName(address, subunit, "AISG Version").value_or("") != "2") continue;
    if (aldpanel::DecodeBandField(field, 2).text.empty()) continue;
    edit.aisgVersion = 2;
    edit.fieldText = field;
    break;
  }
  auto* dialog = new aldpanel::Aisg2xBandForm(aldpanel::BandFormKind::kRet, &window);
  dialog->Load(edit);
  dialog->show();
  QTimer::singleShot(300, dialog, [dialog, file] {
    const bool saved = dialog->grab().save(file, "PNG");
    std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save",
                 file.toLocal8Bit().constData());
    QApplication::exit(saved ? 0 : 1);
  });
}

// Scans without asking and saves the RET detail window of the first AISG 2.x
// antenna with more than one band (the first RET when there is none).
void SaveRetDetailShot(aldpanel::MainWindow& window, const QString& file) {
  window.ScanDevice();
  QTableWidget* grid = window.retGrid();
  int chosen = 0;
  for (size_t row = window.retRowSubunits().size(); row-- > 0;) {
    const QTableWidgetItem* cell = grid->item(static_cast<int>(row), aldpanel::kRetAddressColumn);
    if (cell == nullptr || cell->text().isEmpty()) continue;
    const std::string address = cell->text().toStdString();
    const std::string& subunit = window.retRowSubunits()[row];
    const std::string field = window.FieldByName(address, subunit, "Freq. Band").value_or("");
    if (window.FieldByName(address, subunit, "AISG Version").value_or("") != "2") continue;
    if (aldpanel::DecodeBandField(field, 2).text.find('/') == std::string::npos) continue;
    chosen = static_cast<int>(row);
  }
  grid->setCurrentCell(chosen, 0);
  auto* detail = window.findChild<aldpanel::RetDetailWindow*>();
  const QTableWidgetItem* cell = grid->item(chosen, aldpanel::kRetAddressColumn);
  if (detail == nullptr || cell == nullptr) {
    std::fprintf(stderr, "no RET to show\n");
    QApplication::exit(1);
    return;
  }
  detail->Load(cell->text().toInt(), window.SelectedSubunit());
  detail->show();
  QTimer::singleShot(300, detail, [detail, file] {
    const bool saved = detail->grab().save(file, "PNG");
    std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save",
                 file.toLocal8Bit().constData());
    QApplication::exit(saved ? 0 : 1);
  });
}

}  // namespace

int main(int argc, char** argv) {
  // Without a display Qt would stop with an abort; say what to do instead.
  if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
    std::fprintf(stderr,
                 "aldpanel: no display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Start it on a desktop, under a virtual display (xvfb-run build/bin/aldpanel),\n"
                 "or use the command-line controller: build/bin/aldctl scan + list\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(aldpanel::kProgramName);
  aldpanel::StartOptions options;
  QString screenshot;
  QString tmaScreenshot;
  QString tmaDetailScreenshot;
  QString bandScreenshot;
  QString retDetailScreenshot;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--lib") == 0) options.libraryPath = argv[i + 1];
    if (std::strcmp(argv[i], "--screenshot") == 0) screenshot = QString::fromLocal8Bit(argv[i + 1]);
    if (std::strcmp(argv[i], "--screenshot-tma") == 0) {
      tmaScreenshot = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (std::strcmp(argv[i], "--screenshot-tma-detail") == 0) {
      tmaDetailScreenshot = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (std::strcmp(argv[i], "--screenshot-band-aisg2") == 0) {
      bandScreenshot = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (std::strcmp(argv[i], "--screenshot-ret-detail") == 0) {
      retDetailScreenshot = QString::fromLocal8Bit(argv[i + 1]);
    }
  }
  if (!screenshot.isEmpty() || !tmaDetailScreenshot.isEmpty() || !bandScreenshot.isEmpty() ||
      !retDetailScreenshot.isEmpty()) {
    options.unattended = true;
    options.applyDebugOutput = false;
  }
  aldpanel::PanelApp panel(options);
  aldpanel::MainWindow& window = panel.window();
  window.show();
  if (screenshot.isEmpty() && !bandScreenshot.isEmpty()) {
    QTimer::singleShot(200, &window,
                       [&window, bandScreenshot] { SaveBandDialogShot(window, bandScreenshot); });
  }
  if (screenshot.isEmpty() && bandScreenshot.isEmpty() && !retDetailScreenshot.isEmpty()) {
    QTimer::singleShot(200, &window, [&window, retDetailScreenshot] {
      SaveRetDetailShot(window, retDetailScreenshot);
    });
  }
  if (!screenshot.isEmpty()) {
    QTimer::singleShot(200, &window, [&window, screenshot, tmaScreenshot] {
      window.ScanDevice();
      window.resize(1560, 540);
      window.retGrid()->setCurrentCell(0, 0);
      window.retGrid()->setFocus();
      QTimer::singleShot(300, &window, [&window, screenshot, tmaScreenshot] {
        bool saved = window.grab().save(screenshot, "PNG");
        std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save",
                     screenshot.toLocal8Bit().constData());
        if (!saved || tmaScreenshot.isEmpty()) {
          QApplication::exit(saved ? 0 : 1);
          return;
        }
        // The same scan's TMA units, on their own tab.
        window.tabs()->setCurrentWidget(window.tmaTab());
        window.tmaGrid()->setCurrentCell(0, 0);
        window.tmaGrid()->setFocus();
        QTimer::singleShot(300, &window, [&window, tmaScreenshot] {
          const bool tmaSaved = window.grab().save(tmaScreenshot, "PNG");
          std::fprintf(stderr, "%s %s\n", tmaSaved ? "saved" : "could not save",
                       tmaScreenshot.toLocal8Bit().constData());
          QApplication::exit(tmaSaved ? 0 : 1);
        });
      });
    });
  }
  if (screenshot.isEmpty() && !tmaDetailScreenshot.isEmpty()) {
    QTimer::singleShot(200, &window, [&window, tmaDetailScreenshot] {
      window.ScanDevice();
      window.tabs()->setCurrentWidget(window.tmaTab());
      QTableWidget* grid = window.tmaGrid();
      for (int r = 0; r < grid->rowCount(); ++r) {
        QTableWidgetItem* item = grid->item(r, aldpanel::kTmaAddressColumn);
        const auto& subunits = window.tmaRowSubunits();
        if (item == nullptr || static_cast<size_t>(r) >= subunits.size()) continue;
        auto version = window.FieldByName(item->text().toStdString(),
                                          subunits[static_cast<size_t>(r)], "AISG Version");
        if (version.value_or("") == "2") {
          grid->setCurrentCell(r, 0);
          break;
        }
      }
      window.Edit();  // unattended: the modal showing returns at once
      aldpanel::TmaDetailWindow* detail = window.tmaDetailWindow();
      if (detail == nullptr) {
        std::fprintf(stderr, "no TMA unit to show\n");
        QApplication::exit(1);
        return;
      }
      detail->show();
      QTimer::singleShot(300, detail, [detail, tmaDetailScreenshot] {
        const bool saved = detail->grab().save(tmaDetailScreenshot, "PNG");
        std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save",
                     tmaDetailScreenshot.toLocal8Bit().constData());
        QApplication::exit(saved ? 0 : 1);
      });
    });
  }
  return QApplication::exec();
}
