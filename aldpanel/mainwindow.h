// The main window: every device subunit the interface library knows as one
// row of the RET or TMA grid, and the controls that scan the line, add and
// refresh devices and run self test, reset and alarm clearing on the
// selected row. It polls some TMAs every 25 s.
#pragma once

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "aldpanel/core/config.h"
#include "aldpanel/core/glue.h"
#include "aldpanel/core/gridrows.h"
#include "aldpanel/core/runner.h"
#include "aldpanel/core/startup.h"
#include "aldpanel/core/tables.h"
#include "aldpanel/panelhost.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace aldpanel {

class AddDeviceDialog;
class DeviceSettingWindow;
class ScanResultDialog;
class TmaDetailWindow;

// What the main window is given at start.
struct PanelContext {
  StartupPaths paths;
  Settings settings;
  GlueLibrary* glue = nullptr;
  PanelHost* host = nullptr;
  char decimalSeparator = '.';
};

// The TMA poll interval.
inline constexpr int kPollIntervalMs = 25000;
// Vendors whose TMAs want the periodic poll.
inline constexpr const char* kPolledTmaVendors[] = {"CS", "VX", "MA"};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(const PanelContext& context, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Selection: the Address cell of the active grid's current row (kUnused
  // when empty or no row is current) and the row's subunit.
  int SelectedAddress() const;
  int SelectedSubunit() const;
  std::string SelectedSubunitText() const;
  bool RetTabActive() const;

  // A field of the device table entry with this address and subunit text,
  // by the table's field names ("Elec. Tilt" also names "Current Tilt");
  // nothing when the entry or the name is unknown.
  std::optional<std::string> FieldByName(const std::string& address, const std::string& subunit,
                                         const std::string& name) const;

  // Reads the device table (the library rebuilds it) and fills both grids
  // from a copy of it.
  void FillGrids();
  // Fills both grids from the copy taken by the last FillGrids.
  void FillGridsFromCopy();

  // For the windows of the dialogs and for tests.
  QTableWidget* retGrid() const { return retGrid_; }
  QTableWidget* tmaGrid() const { return tmaGrid_; }
  QTabWidget* tabs() const { return tabs_; }
  QWidget* retTab() const { return retTab_; }
  QWidget* tmaTab() const { return tmaTab_; }
  QPushButton* setTiltButton() const { return setTiltButton_; }
  QLabel* portLabel() const { return portLabel_; }
  QTimer* pollTimer() const { return pollTimer_; }
  QMenu* vendorMenu() const { return vendorMenu_; }
  ScanResultDialog* scanResultDialog() const { return scanResult_; }
  AddDeviceDialog* addDeviceDialog() const { return addDevice_; }
  DeviceSettingWindow* deviceSettingWindow() const { return settingBar_; }
  QWidget* buttonPanel() const { return buttonPanel_; }
  OperationRunner& runner() { return *runner_; }
  const Tables& tables() const { return tables_; }
  bool settingBarShown() const { return settingBarShown_; }
  const std::vector<std::string>& retRowSubunits() const { return retSubunits_; }
  const std::vector<std::string>& tmaRowSubunits() const { return tmaSubunits_; }

  // Runs an operation through the runner and, by `fill`, reads the table
  // and fills the grids while its busy window is still up.
  enum class FillMode { kAlways, kOnSuccess, kNever };
  int RunAndFill(int code, const std::string& a, const std::string& b, int x, int y, int z,
                 const std::string& title, FillMode fill = FillMode::kAlways, int* out = nullptr);
  GlueLibrary& glue() { return glue_; }

  // The port panel's text for the adapter port number `port`.
  static QString PortText(int port);

  // For the detail and setting windows: an operation run as the main
  // window's own buttons run it (busy window, grids refilled afterwards),
  // its result message, and what the windows need to show the table.
  int RunOperation(int code, int* out, const std::string& a, const std::string& b, int x, int y,
                   int z, const std::string& title);
  void ShowOperationResult(const std::string& title, int code, int result) {
    ShowResult(title, code, result);
  }
  PanelHost& host() { return host_; }
  char decimalSeparator() const { return context_.decimalSeparator; }
  GridLookups TableLookups() const { return Lookups(); }

  // The TMA windows: the detail window (made once, shown by Edit on the TMA
  // tab) and the mode and gain window (made anew by Set Mode/Gain).
  TmaDetailWindow* tmaDetailWindow() const { return tmaDetail_; }
  void ShowTmaDetail(int address, int subunit);
  void ShowTmaModeGain(int address, int subunit);

 public slots:
  void ScanDevice();
  void RefreshDevice();
  void ShowAddDevice();
  void Edit();
  void SetTiltOrModeGain();
  void SelfTest();
  void ResetSoftware();
  void ClearAlarm();
  void SwitchToAisg1();
  void SwitchToAisg2();
  void DisableCwa();
  void ViewDeviceSettingBar();
  void CloseDeviceSettingBar();
  void LoadDefaultSetting();
  void PollTmas();
  void ShowAbout();
  void UpdatePortPanel();
  void ExportSiteReport();

 signals:
  // The detail and setting dialogs come with their own windows; until they
  // are there, the main window announces what it would open.
  void editRequested(int address, int subunit, bool ret);
  void setTiltRequested(int address, int subunit, const QString& minTilt, const QString& maxTilt,
                        const QString& currentTilt);
  void setModeGainRequested(int address, int subunit);
  // Emitted after each fill of the grids.
  void gridsFilled();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  QWidget* BuildHeader();
  QWidget* BuildButtonPanel();
  QTableWidget* BuildGrid(const char* name, const char* const* captions, const int* widths,
                          int columns);
  void BuildStatusBar();
  void WriteCaptions();
  void UpdateTiltCaption();
  void UpdateDeviceTypeLabel();
  void FillOne(QTableWidget* grid, const std::vector<GridRow>& rows, int statusColumn,
               int vendorColumn, int rightColumn, std::vector<std::string>& subunits);
  void ShowResult(const std::string& title, int code, int result);
  bool AddDeviceNow(const QString& vendor, const QString& serial);
  void SwitchAisg(int version);
  void SetSettingBar(bool shown);
  int WriteConfig(const char* key, const std::string& value, const std::string& title);
  GridLookups Lookups() const;

  PanelContext context_;
  GlueLibrary& glue_;
  PanelHost& host_;
  Tables tables_;
  BusyHold hold_;
  std::unique_ptr<OperationRunner> runner_;

  // The copy of the device table taken at the last fill: the library may
  // rebuild (and move) its own table at any later call.
  std::vector<MIRELK_DATA> entries_;
  std::vector<std::string> retSubunits_;
  std::vector<std::string> tmaSubunits_;
  bool settingBarShown_ = false;

  QTabWidget* tabs_ = nullptr;
  QWidget* retTab_ = nullptr;
  QWidget* tmaTab_ = nullptr;
  QTableWidget* retGrid_ = nullptr;
  QTableWidget* tmaGrid_ = nullptr;
  QWidget* buttonPanel_ = nullptr;
  QPushButton* setTiltButton_ = nullptr;
  QLabel* deviceTypeLabel_ = nullptr;
  QLabel* portLabel_ = nullptr;
  QMenu* vendorMenu_ = nullptr;
  QTimer* pollTimer_ = nullptr;
  ScanResultDialog* scanResult_ = nullptr;
  AddDeviceDialog* addDevice_ = nullptr;
  DeviceSettingWindow* settingBar_ = nullptr;
  TmaDetailWindow* tmaDetail_ = nullptr;
};

}  // namespace aldpanel
