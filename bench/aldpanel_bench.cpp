// aldpanel_bench: how quickly the operator program is usable, and what it
// costs while nobody touches it.
//
//   aldpanel_bench [--lib PATH] [--fills N] [--idle-ms MS]
//
// 1. Start-up to the first painted main window: the program's own start-up
//    (working directory, configuration, the interface library, the main
//    window) until the window's first paint event, from main() and from the
//    process start.
// 2. Filling both grids from a device table of 24 devices with 4 subunits
//    each (12 RETs, 12 TMAs, 96 entries) already in memory: the table comes
//    from a stand-in export, so no bus read is counted. N fills, median and
//    worst.
// 3. Idle: the process's CPU time while the event loop runs MS milliseconds
//    with nothing to do (the 25 s poll timer aside).
// Run it on any platform plugin; QT_QPA_PLATFORM=offscreen needs no display.
// The working directory goes to a fresh temporary XDG_DATA_HOME.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "aldpanel/panelapp.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point g_mainStart = Clock::now();

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Milliseconds since the process started (/proc/self/stat, clock ticks).
double MsSinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  // Fields after the command: state is field 3; starttime is field 22.
  const char* p = text.c_str() + close + 2;
  unsigned long long start = 0;
  for (int field = 3; field <= 22 && *p != '\0'; ++field) {
    if (field == 22) start = std::strtoull(p, nullptr, 10);
    p = std::strchr(p, ' ');
    if (p == nullptr) return -1;
    ++p;
  }
  std::ifstream uptimeFile("/proc/uptime");
  double uptime = 0;
  uptimeFile >> uptime;
  return (uptime - static_cast<double>(start) / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000;
}

double CpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && fromMain < 0) {
      fromMain = MsSince(g_mainStart);
      fromProcess = MsSinceProcessStart();
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return QObject::eventFilter(watched, event);
  }
  double fromMain = -1;
  double fromProcess = -1;
};

std::vector<MIRELK_DATA> g_table;
MIRELK_DATA* TableData() {
  return g_table.data();
}
int TableCount() {
  return static_cast<int>(g_table.size());
}
const char* TableCountText() {
  return "12/48/12/48";
}

void Put(MIRELK_DATA& e, int field, const std::string& text) {
  std::memset(e.field[field], 0, kMirelkFieldSize);
  std::memcpy(e.field[field], text.data(), std::min<size_t>(text.size(), kMirelkFieldSize - 1));
}

// 24 devices of 4 subunits: RETs at addresses 1..12, TMAs at 13..24.
void BuildTable() {
  const char* vendors[] = {"KA", "EM", "CC", "PW"};
  for (int device = 1; device <= 24; ++device) {
    bool ret = device <= 12;
    for (int sub = 1; sub <= 4; ++sub) {
      MIRELK_DATA e{};
      Put(e, kMdAddress, std::to_string(device));
      Put(e, kMdSubunit, std::to_string(sub));
      Put(e, kMdDeviceType, ret ? "11" : "02");
      Put(e, kMdAisgVersion, device % 3 == 0 ? "1" : "2");
      Put(e, kMdVendor, vendors[device % 4]);
      Put(e, kMdRetModel, ret ? "RCU-M3-2.0" : "TMA-DD-1821");
      Put(e, kMdRetSerial, "SN" + std::to_string(100000 + device));
      Put(e, kMdAntennaModel, "AX-3M65-18V");
      Put(e, kMdAntennaSerial, "AS" + std::to_string(device * 10 + sub));
      Put(e, kMdFreqBand, "2A0000000000");
      Put(e, kMdSectorId, "SEC-" + std::to_string(sub));
      Put(e, kMdBearing, "300");
      Put(e, kMdMechTilt, "15");
      Put(e, kMdDeviceStatus, sub == 4 ? "1" : "0");
      Put(e, kMdDeviceStatusCause, sub == 4 ? "0e" : "");
      if (ret) {
        Put(e, kMdCurrentTilt, std::to_string(20 + sub * 5));
        Put(e, kMdMinTilt, "0");
        Put(e, kMdMaxTilt, "120");
      } else {
        Put(e, kMdCurrentGain, "48");
        Put(e, kMdMode, "0");
      }
      g_table.push_back(e);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string library;
  int fills = 50;
  int idleMs = 2000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--lib") == 0) library = argv[i + 1];
    if (std::strcmp(argv[i], "--fills") == 0) fills = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--idle-ms") == 0) idleMs = std::max(100, std::atoi(argv[i + 1]));
  }
  char dataHome[] = "/tmp/aldpanel-bench-XXXXXX";
  if (mkdtemp(dataHome) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  setenv("XDG_DATA_HOME", dataHome, 1);

  QApplication app(argc, argv);
  aldpanel::StartOptions options;
  options.libraryPath = library;
  options.applyDebugOutput = false;
  options.unattended = true;
  aldpanel::PanelApp panel(options);
  aldpanel::MainWindow& window = panel.window();
  FirstPaint paint;
  window.installEventFilter(&paint);
  window.show();
  QApplication::exec();
  window.removeEventFilter(&paint);
  std::printf("%-44s %10s\n", "measure", "ms");
  std::printf("%-44s %10.1f\n", "start-up to first paint, from main()", paint.fromMain);
  std::printf("%-44s %10.1f\n", "start-up to first paint, from process start", paint.fromProcess);

  BuildTable();
  aldpanel::GlueExports& ex = panel.glue().mutableExports();
  ex.getMirelkData = TableData;
  ex.getMirelkDataCount = TableCount;
  ex.getMirelkDataCountStr = TableCountText;
  std::vector<double> times;
  for (int i = 0; i < fills; ++i) {
    Clock::time_point t = Clock::now();
    window.FillGrids();
    QApplication::processEvents();  // the grids repaint
    times.push_back(MsSince(t));
  }
  std::sort(times.begin(), times.end());
  std::printf("%-44s %10.2f\n", "fill of 96 entries (24 devices), median", times[times.size() / 2]);
  std::printf("%-44s %10.2f\n", "fill of 96 entries (24 devices), worst", times.back());
  std::printf("%-44s %10.2f\n", "fill of 96 entries (24 devices), best", times.front());

  double cpu = CpuMs();
  QTimer::singleShot(idleMs, qApp, &QCoreApplication::quit);
  QApplication::exec();
  std::printf("%-44s %10.2f\n", ("CPU while idle for " + std::to_string(idleMs) + " ms").c_str(),
              CpuMs() - cpu);
  std::error_code ignored;
  std::filesystem::remove_all(dataHome, ignored);
  return 0;
}
