// The main window driven against the real interface library and the
// in-process simulated line on the virtual clock. Message boxes, questions,
// modal dialogs and the busy window process go through a test host that
// answers them at once; the exports the tests watch are wrapped so that
// each call is recorded before it goes to the library.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "aldpanel/adddevicedialog.h"
#include "aldpanel/devicesettingwindow.h"
#include "aldpanel/mainwindow.h"
#include "aldpanel/scanresultdialog.h"
#include "tests/aldpanel/fixture.h"

using namespace aldpanel;
using namespace aldpanel::test;

namespace {

GlueExports g_real;

// Recording wrappers of the exports the tests check.
int RecScanMain(int depth, int assign) {
  Log("scanMain " + std::to_string(depth) + " " + std::to_string(assign));
  return g_real.scanMain(depth, assign);
}
MIRELK_DATA* RecGetMirelkData() {
  Log("getMirelkData");
  return g_real.getMirelkData();
}
int RecSelfTest(int a) {
  Log("selfTest " + std::to_string(a));
  return g_real.selfTest(a);
}
int RecSelfTestTma(int a) {
  Log("selfTestTMA " + std::to_string(a));
  return g_real.selfTestTMA(a);
}
int RecClear(int a, int s) {
  Log("clearActiveAlarms " + std::to_string(a) + " " + std::to_string(s));
  return g_real.clearActiveAlarms(a, s);
}
int RecClearTma(int a, int s) {
  Log("clearActiveAlarmsTMA " + std::to_string(a) + " " + std::to_string(s));
  return g_real.clearActiveAlarmsTMA(a, s);
}
int RecPoll(int a) {
  Log("pollDevice " + std::to_string(a));
  return g_real.pollDevice(a);
}
int RecStatus(int pid, int status) {
  Log("status " + std::to_string(pid) + " " + std::to_string(status));
  return g_real.setProcessStatus(pid, status);
}
int RecSwitch(char* vendor, int version) {
  Log("switchAISGVersion " + std::string(vendor) + " " + std::to_string(version));
  return g_real.switchAISGVersion(vendor, version);
}
int RecRefresh() {
  Log("refreshMain");
  return g_real.refreshMain();
}
int RecPower(int v) {
  Log("setPowerValue " + std::to_string(v));
  return g_real.setPowerValue(v);
}
int RecPin(int v) {
  Log("setPinValue " + std::to_string(v));
  return g_real.setPinValue(v);
}

// A table of hand-made entries served instead of the library's.
std::vector<MIRELK_DATA> g_fakeTable;
MIRELK_DATA* FakeData() {
  return g_fakeTable.empty() ? nullptr : g_fakeTable.data();
}
int FakeCount() {
  return g_fakeTable.empty() ? -1 : static_cast<int>(g_fakeTable.size());
}

int g_fakeScanResult = 0;
int FakeScan(int depth, int assign) {
  Log("fake scanMain " + std::to_string(depth) + " " + std::to_string(assign));
  return g_fakeScanResult;
}
const char* FakeCountText() {
  return "0/0/1/30";
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  GlueLibrary& glue_ = SharedGlue();
  GlueExports realExports_;
  TestHost host_;
  std::unique_ptr<MainWindow> window_;

  PanelContext Context() { return MakeContext(dir_->path(), host_); }

  // Wraps the exports the tests watch.
  void Wrap() {
    GlueExports& ex = glue_.mutableExports();
    g_real = ex;
    ex.scanMain = RecScanMain;
    ex.getMirelkData = RecGetMirelkData;
    ex.selfTest = RecSelfTest;
    ex.selfTestTMA = RecSelfTestTma;
    ex.clearActiveAlarms = RecClear;
    ex.clearActiveAlarmsTMA = RecClearTma;
    ex.pollDevice = RecPoll;
    ex.setProcessStatus = RecStatus;
    ex.setPowerValue = RecPower;
    ex.switchAISGVersion = RecSwitch;
    ex.refreshMain = RecRefresh;
    ex.setPinValue = RecPin;
  }

  void Scan() {
    host_.answers = {true};
    window_->ScanDevice();
  }

 private slots:
  void initTestCase() {
    QVERIFY2(std::getenv("ALDLINK_SIM") != nullptr, "the tests need ALDLINK_SIM");
    std::vector<std::string> messages = LoadSharedGlue();
    QVERIFY2(messages.empty(), messages.empty() ? "" : messages.front().c_str());
    realExports_ = glue_.exports();
  }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    WriteStandardData(dir_->path());
    ClearLog();
    g_fakeTable.clear();
    host_.Reset();
    // The library stays loaded for the whole run (unloading it would orphan
    // its device registry); each test starts from its real exports.
    glue_.mutableExports() = realExports_;
    Wrap();
    window_ = std::make_unique<MainWindow>(Context());
  }

  void cleanup() { window_.reset(); }

  // First of all: the library's add counts the table against the devices
  // registered before it, so this needs a process that has not scanned yet.
  void addDeviceFillsTheGridsAndEmptiesTheDialogOnlyOnSuccess() {
    if (!QString(std::getenv("ALDLINK_SIM")).endsWith("demo.site")) QSKIP("needs the demo site");
    MainWindow& w = *window_;
    w.ShowAddDevice();
    QVERIFY(Logged("dialog AddDeviceForm"));
    AddDeviceDialog* dialog = w.addDeviceDialog();
    dialog->vendorCode()->setText("EM");
    dialog->serialNumber()->setText("12345678");
    dialog->addButton()->click();
    QVERIFY(Logged("start [Add Device]"));
    QVERIFY2(Logged("message information [Add Device] Process is finished."), Dump().c_str());
    QVERIFY(IndexOf("getMirelkData") < IndexOf("end 4242"));
    QCOMPARE(FilledRows(w.retGrid(), kRetAddressColumn), 1);
    QCOMPARE(w.retGrid()->item(0, 0)->text(), QString("SEC-B"));
    QVERIFY(dialog->vendorCode()->text().isEmpty());
    QVERIFY(dialog->serialNumber()->text().isEmpty());

    // After a scan of all five devices the library counts the table against
    // its devices and reports that the add did not grow it by one entry:
    // the failure is shown, the grids are not refilled, the dialog stays.
    Scan();
    ClearLog();
    dialog->vendorCode()->setText("EM");
    dialog->serialNumber()->setText("12345678");
    dialog->addButton()->click();
    QVERIFY2(CountOf("message error [Add Device]") == 1, Dump().c_str());
    QCOMPARE(CountOf("getMirelkData"), 0);
    QCOMPARE(dialog->vendorCode()->text(), QString("EM"));
  }

  void startsWithTheTmaTabHiddenAndThePollTimerRunning() {
    MainWindow& w = *window_;
    QCOMPARE(w.objectName(), QString("DeviceMainForm"));
    QVERIFY(w.tabs()->isTabVisible(w.tabs()->indexOf(w.retTab())));
    QVERIFY(!w.tabs()->isTabVisible(w.tabs()->indexOf(w.tmaTab())));
    QCOMPARE(w.setTiltButton()->text(), QString("Set Tilt"));
    QVERIFY(w.pollTimer()->isActive());
    QCOMPARE(w.pollTimer()->interval(), 25000);
    QVERIFY(!w.vendorMenu()->menuAction()->isVisible());
    QCOMPARE(w.retGrid()->columnCount(), 13);
    QCOMPARE(w.tmaGrid()->columnCount(), 12);
    QVERIFY(w.retGrid()->isColumnHidden(kRetAddressColumn));
    QVERIFY(w.tmaGrid()->isColumnHidden(kTmaVendorCodeColumn));
    QCOMPARE(w.retGrid()->horizontalHeaderItem(7)->text(), QString("Elec. Tilt"));
    QCOMPARE(w.retGrid()->columnWidth(4), 115);
    // The port panel names the simulated line, not a COM port.
    w.show();
    QVERIFY(w.portLabel()->text().startsWith("Port : simulator ("));
    // Nothing selected: the row buttons do nothing at all.
    ClearLog();
    w.SelfTest();
    w.ResetSoftware();
    w.ClearAlarm();
    QSignalSpy edits(&w, &MainWindow::editRequested);
    w.Edit();
    QVERIFY(LogLines().empty());
    QCOMPARE(edits.count(), 0);
  }

  void scanOfTheDemoSiteFillsBothGrids() {
    if (!QString(std::getenv("ALDLINK_SIM")).endsWith("demo.site")) QSKIP("needs the demo site");
    MainWindow& w = *window_;
    Scan();
    QVERIFY(Logged("ask [Scan Device] Are you sure you want to scan device?"));
    QVERIFY(Logged("scanMain 4 1"));
    // The busy window is up from before the scan until the grids are filled.
    int start = IndexOf("start [Scan Device]");
    int busy = IndexOf("status 4242 1001");
    int scan = IndexOf("scanMain 4 1");
    int read = IndexOf("getMirelkData");
    int end = IndexOf("end 4242");
    QVERIFY(start >= 0 && busy > start && scan > busy && read > scan && end > read);
    QCOMPARE(CountOf("start"), 1);
    QCOMPARE(CountOf("end"), 1);
    // The finished status comes once, after the fill: a busy window that
    // closes itself on it stays up while the table is read.
    QCOMPARE(CountOf("status 4242 1000"), 1);
    QCOMPARE(CountOf("status 4242 1001"), 1);
    QVERIFY(IndexOf("status 4242 1000") > read);
    QVERIFY(IndexOf("pause 300") > read);
    QVERIFY(IndexOf("pause 300") < end);

    // The scan result window.
    QVERIFY(Logged("dialog scanResultForm"));
    QCOMPARE(host_.lastDialogTitle, std::string("Scan Device"));
    QCOMPARE(host_.lastDialogText, std::string("Process is finished.\nFound total 5 device.\n"
                                               "RET : 3 device, 5 unit\nTMA : 2 device, 3 unit"));
    QCOMPARE(CountOf("message"), 0);  // a scan that found everything says nothing else
    QVERIFY(!w.vendorMenu()->menuAction()->isVisible());

    // RET grid: RETs by Sector ID as text ("S2" before "SEC-A1").
    QTableWidget* ret = w.retGrid();
    QCOMPARE(FilledRows(ret, kRetAddressColumn), 5);
    QCOMPARE(ret->rowCount(), kGridMinimumRows);
    QCOMPARE(Column(ret, 0, 5), QStringList({"S2", "SEC-A1", "SEC-A2", "SEC-A3", "SEC-B"}));
    QCOMPARE(Column(ret, kRetAddressColumn, 5), QStringList({"4", "3", "3", "3", "2"}));
    QCOMPARE(w.retRowSubunits()[1], std::string("1"));
    QCOMPARE(w.retRowSubunits()[3], std::string("3"));
    QCOMPARE(Column(ret, 7, 5), QStringList({"3.0", "6.0", "4.0", "", "7.5"}));
    QCOMPARE(Column(ret, 8, 5), QStringList({"-1.0", "1.5", "1.5", "1.5", "0.0"}));
    QCOMPARE(Column(ret, 9, 5), QStringList({"2.0", "7.5", "5.5", "", "7.5"}));
    QCOMPARE(Column(ret, 1, 1), QStringList({"1500"}));
    // Bands: AISG 1.x word 0x22 and the AISG 2.x bands 6 and 8.
    QCOMPARE(Column(ret, 2, 2), QStringList({"900/2100", "800/900"}));
    QCOMPARE(Column(ret, kRetVendorColumn, 5), QStringList({"Kay", "Kay", "Kay", "Kay", "Em"}));
    QCOMPARE(ret->item(0, kRetVendorColumn)->toolTip(), QString("Kay Antennas Ltd"));
    QCOMPARE(ret->item(4, 4)->text(), QString("EA 1865 16 dBi"));  // model from the table
    QCOMPARE(ret->item(1, 4)->text(), QString("AX-3M65-18V"));     // no line: the code
    QCOMPARE(ret->item(1, kRetStatusColumn)->text(), QString("OK"));
    QCOMPARE(ret->item(1, kRetStatusColumn)->foreground().color(), QColor(72, 128, 0));
    QCOMPARE(ret->item(3, kRetStatusColumn)->text(), QString("Not calibrated"));
    QCOMPARE(ret->item(3, kRetStatusColumn)->foreground().color(), QColor(255, 0, 0));

    // TMA grid: shown, gains in whole dB, the model and serial slots.
    QVERIFY(w.tabs()->isTabVisible(w.tabs()->indexOf(w.tmaTab())));
    QCOMPARE(w.tabs()->currentWidget(), w.retTab());
    QTableWidget* tma = w.tmaGrid();
    QCOMPARE(FilledRows(tma, kTmaAddressColumn), 3);
    QCOMPARE(Column(tma, 0, 3), QStringList({"S2", "SEC-A2", "SEC-A2"}));
    QCOMPARE(Column(tma, kTmaAddressColumn, 3), QStringList({"5", "1", "1"}));
    QCOMPARE(w.tmaRowSubunits()[1], std::string("1"));
    QCOMPARE(w.tmaRowSubunits()[2], std::string("2"));
    QCOMPARE(Column(tma, kTmaGainColumn, 3), QStringList({"12", "12", "10"}));
    QCOMPARE(Column(tma, 8, 3), QStringList({"Normal", "Normal", "Normal"}));
    QCOMPARE(Column(tma, 5, 3), QStringList({"TMA-850", "TMA-DD-1821", "TMA-DD-1821"}));
    QCOMPARE(Column(tma, 1, 3), QStringList({"", "1800", "2100"}));
    QCOMPARE(tma->item(1, kTmaGainColumn)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));

    // Field lookups by name for the dialogs.
    QCOMPARE(w.FieldByName("3", "1", "Elec. Tilt").value_or("?"), std::string("60"));
    QCOMPARE(w.FieldByName("3", "1", "Max Tilt").value_or("?"), std::string("120"));
    QVERIFY(!w.FieldByName("3", "9", "Max Tilt").has_value());
    QVERIFY(!w.FieldByName("3", "1", "No Such Field").has_value());
  }

  void scanCancelledRunsNothing() {
    host_.answers = {false};
    window_->ScanDevice();
    QCOMPARE(CountOf("scanMain"), 0);
    QCOMPARE(CountOf("start"), 0);
  }

  void selfTestAndClearAlarmRunTheExportsOfTheSelectedKind() {
    if (!QString(std::getenv("ALDLINK_SIM")).endsWith("demo.site")) QSKIP("needs the demo site");
    MainWindow& w = *window_;
    Scan();
    int row = RowOf(w, w.retGrid(), kRetAddressColumn, "3", "2");
    QVERIFY(row >= 0);
    w.retGrid()->setCurrentCell(row, 0);
    QCOMPARE(w.SelectedAddress(), 3);
    QCOMPARE(w.SelectedSubunit(), 2);
    ClearLog();
    w.SelfTest();
    QVERIFY(Logged("start [Self Test]"));
    QVERIFY(Logged("selfTest 3"));
    QCOMPARE(CountOf("selfTestTMA"), 0);
    QVERIFY(IndexOf("getMirelkData") > IndexOf("selfTest 3"));
    QVERIFY(Logged("message information [Self Test] Process is finished."));

    ClearLog();
    w.ClearAlarm();
    QVERIFY2(Logged("clearActiveAlarms 3 2"), Dump().c_str());
    QCOMPARE(CountOf("start"), 0);  // alarm clearing is quick: no busy window
    QVERIFY(Logged("message information [Clear Alarms] Process is finished."));

    w.tabs()->setCurrentWidget(w.tmaTab());
    QCOMPARE(w.setTiltButton()->text(), QString("Set Mode/Gain"));
    row = RowOf(w, w.tmaGrid(), kTmaAddressColumn, "1", "2");
    QVERIFY(row >= 0);
    w.tmaGrid()->setCurrentCell(row, 0);
    ClearLog();
    w.SelfTest();
    QVERIFY(Logged("selfTestTMA 1"));
    QCOMPARE(CountOf("selfTest "), 0);
    ClearLog();
    w.ClearAlarm();
    QVERIFY(Logged("clearActiveAlarmsTMA 1 2"));
    QCOMPARE(CountOf("clearActiveAlarms "), 0);
  }

  void busyWindowThatCannotStartStillRunsTheOperation() {
    host_.failStart = true;
    Scan();
    QVERIFY(Logged("scanMain 4 1"));
    QCOMPARE(CountOf("message error"), 1);
    QCOMPARE(CountOf("end"), 0);
    QCOMPARE(CountOf("status 4242"), 0);
    // Whatever the runner wrote, the shared status is left finished.
    std::string last;
    for (const std::string& l : LogLines()) {
      if (l.rfind("status ", 0) == 0) last = l;
    }
    QVERIFY2(last.empty() || last.substr(last.size() - 5) == " 1000", Dump().c_str());
  }

  void doubleClickEnterAndSetTiltAskForTheSelectedRow() {
    if (!QString(std::getenv("ALDLINK_SIM")).endsWith("demo.site")) QSKIP("needs the demo site");
    MainWindow& w = *window_;
    Scan();
    QSignalSpy edits(&w, &MainWindow::editRequested);
    QSignalSpy tilts(&w, &MainWindow::setTiltRequested);
    QSignalSpy modes(&w, &MainWindow::setModeGainRequested);
    int row = RowOf(w, w.retGrid(), kRetAddressColumn, "3", "1");
    w.retGrid()->setCurrentCell(row, 0);
    QTest::keyClick(w.retGrid(), Qt::Key_Return);
    QCOMPARE(edits.count(), 1);
    QCOMPARE(edits.at(0).at(0).toInt(), 3);
    QCOMPARE(edits.at(0).at(1).toInt(), 1);
    QCOMPARE(edits.at(0).at(2).toBool(), true);
    emit w.retGrid()->cellDoubleClicked(row, 0);
    QCOMPARE(edits.count(), 2);
    w.SetTiltOrModeGain();
    QCOMPARE(tilts.count(), 1);
    QCOMPARE(tilts.at(0).at(2).toString(), QString("2.0"));
    QCOMPARE(tilts.at(0).at(3).toString(), QString("12.0"));
    QCOMPARE(tilts.at(0).at(4).toString(), QString("6.0"));
    // The uncalibrated antenna has no current tilt: empty, not 0.0.
    w.retGrid()->setCurrentCell(RowOf(w, w.retGrid(), kRetAddressColumn, "3", "3"), 0);
    w.SetTiltOrModeGain();
    QCOMPARE(tilts.at(1).at(4).toString(), QString(""));
    // An empty row below the devices: nothing.
    w.retGrid()->setCurrentCell(10, 0);
    w.SetTiltOrModeGain();
    w.Edit();
    QCOMPARE(tilts.count(), 2);
    QCOMPARE(edits.count(), 2);
    w.tabs()->setCurrentWidget(w.tmaTab());
    w.tmaGrid()->setCurrentCell(0, 0);
    w.SetTiltOrModeGain();
    QCOMPARE(modes.count(), 1);
    QCOMPARE(modes.at(0).at(0).toInt(), 5);
  }

  void onlyTmasMakeTheTmaTabActiveAndManyRowsGrowTheGrid() {
    // 30 TMA entries of one device: more rows than a page, sorted by
    // index as a number within one Sector ID.
    for (int i = 0; i < 30; ++i) {
      MIRELK_DATA e{};
      Put(e, kMdAddress, "7");
      Put(e, kMdSubunit, std::to_string(i + 1));
      Put(e, kMdDeviceType, "10");
      Put(e, kMdAisgVersion, "2");
      Put(e, kMdVendor, "MA");
      Put(e, kMdSectorId, "S");
      Put(e, kMdCurrentGain, i == 0 ? "-6" : "33");
      Put(e, kMdMode, "1");
      g_fakeTable.push_back(e);
    }
    GlueExports& ex = glue_.mutableExports();
    ex.getMirelkData = FakeData;
    ex.getMirelkDataCount = FakeCount;
    MainWindow& w = *window_;
    w.FillGrids();
    QCOMPARE(w.tabs()->currentWidget(), w.tmaTab());
    QCOMPARE(w.setTiltButton()->text(), QString("Set Mode/Gain"));
    QCOMPARE(w.tmaGrid()->rowCount(), 31);
    QCOMPARE(FilledRows(w.tmaGrid(), kTmaAddressColumn), 30);
    QCOMPARE(w.tmaRowSubunits()[9], std::string("10"));
    QCOMPARE(w.tmaRowSubunits()[29], std::string("30"));
    // Gains in decibels with their quarters (-6 and 33 quarters).
    QCOMPARE(w.tmaGrid()->item(0, kTmaGainColumn)->text(), QString("-1.5"));
    QCOMPARE(w.tmaGrid()->item(1, kTmaGainColumn)->text(), QString("8.25"));
    QCOMPARE(w.tmaGrid()->item(1, 8)->text(), QString("Bypass"));
    QCOMPARE(w.tmaGrid()->item(0, kTmaStatusColumn)->text(), QString(""));

    // The fill keeps its own copy: the library's table may go away.
    g_fakeTable.clear();
    QCOMPARE(w.FieldByName("7", "30", "Current Gain").value_or("?"), std::string("33"));
    // A later fill from an empty table empties the grids.
    w.FillGrids();
    QCOMPARE(FilledRows(w.tmaGrid(), kTmaAddressColumn), 0);
    QCOMPARE(w.tmaGrid()->rowCount(), kGridMinimumRows);
  }

  void scanThatFindsNothingOrReportsMissedDevices() {
    GlueExports& ex = glue_.mutableExports();
    ex.scanMain = FakeScan;
    ex.getMirelkData = FakeData;
    ex.getMirelkDataCount = FakeCount;
    ex.getMirelkDataCountStr = FakeCountText;
    MainWindow& w = *window_;
    g_fakeScanResult = 0;
    Scan();
    QVERIFY2(Logged("message warning [Scan Device] Could not find any Device!"), Dump().c_str());
    QCOMPARE(CountOf("dialog"), 0);
    QCOMPARE(FilledRows(w.retGrid(), kRetAddressColumn), 0);

    // A scan that found devices but may have missed some: its own message
    // first (the table's text, else the number), then the summary.
    MIRELK_DATA e{};
    Put(e, kMdAddress, "9");
    Put(e, kMdSubunit, "1");
    Put(e, kMdDeviceType, "02");
    Put(e, kMdVendor, "KA");
    g_fakeTable.assign(30, e);
    g_fakeScanResult = 130;
    ClearLog();
    Scan();
    int message = IndexOf("message error [Scan Device] 130");
    QVERIFY2(message >= 0, Dump().c_str());
    QVERIFY(IndexOf("dialog scanResultForm") > message);
    QCOMPARE(host_.lastDialogText,
             std::string("Process is finished.\nFound total 1 device.\nTMA : 1 device,30 unit"));
    QCOMPARE(FilledRows(w.tmaGrid(), kTmaAddressColumn), 30);
  }

  void withoutTheLibraryEveryFunctionIsInert() {
    window_.reset();
    GlueLibrary none;  // never loaded: every export missing
    PanelContext context = Context();
    context.glue = &none;
    MainWindow w(context);
    w.show();
    QCOMPARE(w.portLabel()->text(), QString("Can't use the adapter port!"));
    host_.answers = {true};
    w.ScanDevice();
    // The runner's "not run" result with its text; no count, no summary.
    QVERIFY(Logged("message error [Scan Device] Not run"));
    QCOMPARE(CountOf("dialog"), 0);
    w.PollTmas();
    w.DisableCwa();
    QCOMPARE(CountOf("pollDevice"), 0);
    QVERIFY(!w.FieldByName("1", "1", "Address").has_value());
  }

  void settingBarAndDefaultSettingWriteTheConfiguration() {
    MainWindow& w = *window_;
    QString conf = dir_->filePath("mirelk.conf");
    WriteFile(conf, "# kept\nDEFAULT_DEPTH=9\ndevice_setting_bar=OFF\nDEFAULT_ASSIGN=0\n");
    w.show();
    w.ViewDeviceSettingBar();
    QVERIFY(w.settingBarShown());
    QVERIFY(!w.buttonPanel()->isVisible());
    QVERIFY(w.deviceSettingWindow()->isVisible());
    QCOMPARE(ReadFile(conf),
             QString("# kept\nDEFAULT_DEPTH=9\nDEVICE_SETTING_BAR=ON\nDEFAULT_ASSIGN=0\n"));
    // Its buttons act on the main window's selected row.
    MIRELK_DATA e{};
    Put(e, kMdAddress, "9");
    Put(e, kMdSubunit, "2");
    Put(e, kMdDeviceType, "01");
    g_fakeTable.push_back(e);
    glue_.mutableExports().getMirelkData = FakeData;
    glue_.mutableExports().getMirelkDataCount = FakeCount;
    w.FillGrids();
    w.retGrid()->setCurrentCell(0, 0);
    w.deviceSettingWindow()->button("ButtonSelfTest")->click();
    w.deviceSettingWindow()->button("ButtonClearAlarm")->click();
    QVERIFY2(Logged("selfTest 9"), Dump().c_str());
    QVERIFY(Logged("clearActiveAlarms 9 2"));
    QCOMPARE(w.deviceSettingWindow()->button("ButtonSetTilt")->text(), QString("Set Tilt"));

    // Closing the floating window itself closes the bar.
    w.deviceSettingWindow()->close();
    QVERIFY(!w.settingBarShown());
    QVERIFY(w.buttonPanel()->isVisible());
    QVERIFY(ReadFile(conf).contains("DEVICE_SETTING_BAR=OFF\n"));

    // Load default setting asks first; a Cancel changes nothing.
    host_.answers = {false};
    w.LoadDefaultSetting();
    QCOMPARE(CountOf("setPowerValue"), 0);
    QVERIFY(ReadFile(conf).contains("DEFAULT_DEPTH=9\n"));
    host_.answers = {true};
    w.LoadDefaultSetting();
    QVERIFY(Logged("setPowerValue 0"));
    QVERIFY(Logged("setPinValue 0"));
    QCOMPARE(ReadFile(conf), QString("# kept\nDEFAULT_DEPTH=4\nDEVICE_SETTING_BAR=OFF\n"
                                     "DEFAULT_ASSIGN=1\n"));
    QCOMPARE(w.runner().scanDepth(), 4);
    QCOMPARE(w.runner().addressAssign(), 1);
    QVERIFY(Logged("message information [Reset to Default Setting] Load default setting success."));

    // Without the temporary folder the rewrite cannot be made: failure.
    QVERIFY(QDir(dir_->filePath("tmp")).removeRecursively());
    ClearLog();
    host_.answers = {true};
    w.LoadDefaultSetting();
    QVERIFY(Logged("message error [Reset to Default Setting] Setting failed."));
  }

  void versionSwitchRefreshAboutAndTheBadge() {
    MainWindow& w = *window_;
    // The version switch asks (in words without the old misspelling) and
    // runs nothing on Cancel.
    host_.answers = {false};
    w.SwitchToAisg1();
    QVERIFY2(Logged("ask [Switch AISG Version] Switch AISG version may not cause OLD DEVICES to "
                    "enter 1.x mode. \n\nARE YOU SURE YOU WANT TO SWITCH AISG VERSION?"),
             Dump().c_str());
    QCOMPARE(CountOf("switchAISGVersion"), 0);
    host_.answers = {true};
    w.SwitchToAisg2();
    QVERIFY(Logged("switchAISGVersion AN 2"));
    QVERIFY(Logged("start [Switch AISG Version]"));
    QCOMPARE(CountOf("message"), 1);  // the result, whatever the line answered

    // Refresh reads the devices again and refills, without a message.
    ClearLog();
    w.RefreshDevice();
    QVERIFY(Logged("start [Refresh Device]"));
    QVERIFY(IndexOf("getMirelkData") > IndexOf("refreshMain"));
    QVERIFY(IndexOf("end 4242") > IndexOf("getMirelkData"));
    QCOMPARE(CountOf("message"), 0);

    // Our own About window, from the menu and from the logo; the badge
    // opens the standards body's page.
    ClearLog();
    w.findChild<QAction*>("MenuAboutItem")->trigger();
    w.findChild<QToolButton*>("ImageLogo")->click();
    QCOMPARE(CountOf("dialog AboutForm"), 2);
    w.findChild<QToolButton*>("ImageAISG")->click();
    QVERIFY(Logged("url https://www.aisg.org.uk/"));
    // Every control the operator reaches carries a name for assistive
    // technology.
    for (QAbstractButton* b : w.findChildren<QAbstractButton*>()) {
      if (b->isVisibleTo(&w) && b->objectName().startsWith("Button")) {
        QVERIFY2(!b->accessibleName().isEmpty(), qPrintable(b->objectName()));
      }
    }
  }

  void pollsOnlyTheTmasOfPolledVendors() {
    if (!QString(std::getenv("ALDLINK_SIM")).endsWith("poll.site")) QSKIP("needs the poll site");
    MainWindow& w = *window_;
    w.PollTmas();  // before a scan there is nothing to poll
    QCOMPARE(CountOf("pollDevice"), 0);
    Scan();
    QCOMPARE(FilledRows(w.tmaGrid(), kTmaAddressColumn), 3);
    QCOMPARE(FilledRows(w.retGrid(), kRetAddressColumn), 1);
    ClearLog();
    // The timer's slot, called at once: nothing waits 25 s.
    QVERIFY(QMetaObject::invokeMethod(w.pollTimer(), "timeout"));
    // The MA TMA (two units) is polled once; the MA RET and the KA TMA never.
    QCOMPARE(CountOf("pollDevice"), 1);
    QVERIFY(Logged("pollDevice 3"));
    QCOMPARE(CountOf("getMirelkData"), 0);  // the poll does not refill the grids
    QCOMPARE(CountOf("start"), 0);
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
