#include "aldpanel/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "aldpanel/aboutdialog.h"
#include "aldpanel/adapterconfigureform.h"
#include "aldpanel/adddevicedialog.h"
#include "aldpanel/brand.h"
#include "aldpanel/configuremodelform.h"
#include "aldpanel/devicesettingwindow.h"
#include "aldpanel/retdetailwindow.h"
#include "aldpanel/scanresultdialog.h"
#include "aldpanel/settiltdialog.h"
#include "aldpanel/systemconfigureform.h"
#include "aldpanel/sitereportexport.h"
#include "aldpanel/tmadetailwindow.h"

namespace aldpanel {
namespace {

const QColor kStatusGood(72, 128, 0);
const QColor kStatusBad(255, 0, 0);

// The grids' look: a beige header, the current row white on blue.
const char* kGridStyle =
    "QTableView { background: white; gridline-color: rgb(208, 208, 208);"
    " selection-background-color: rgb(49, 106, 197); selection-color: white; }"
    "QHeaderView::section { background: rgb(236, 233, 216); color: black;"
    " border: 0px; border-right: 1px solid rgb(200, 198, 184);"
    " border-bottom: 1px solid rgb(200, 198, 184); padding: 0px 3px; }"
    "QTableView::item { padding: 0px 3px; }";

// A whole number from a cell or field text; nothing for anything else.
std::optional<int> ReadInt(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || value < -2147483647L || value > 2147483647L) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

QToolButton* ToolButton(QWidget* parent, const char* name, const QString& hint,
                        QStyle::StandardPixmap icon) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setToolTip(hint);
  b->setAccessibleName(hint);
  b->setIcon(parent->style()->standardIcon(icon));
  b->setIconSize(QSize(24, 24));
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::StrongFocus);
  return b;
}

// The process status export while a runner call holds its busy window, and
// the finished status it kept back.
decltype(&::setProcessStatus) g_heldSetStatus = nullptr;
bool g_finishedKeptBack = false;
int g_finishedPid = 0;

int KeepBackFinishedStatus(int pid, int status) {
  if (status == kStatusFinished) {
    g_finishedKeptBack = true;
    g_finishedPid = pid;
    return 0;
  }
  return g_heldSetStatus != nullptr ? g_heldSetStatus(pid, status) : 0;
}

}  // namespace

MainWindow::MainWindow(const PanelContext& context, QWidget* parent)
    : QMainWindow(parent),
      context_(context),
      glue_(*context.glue),
      host_(*context.host),
      tables_(context.paths.workDir),
      hold_(*context.host) {
  runner_ = std::make_unique<OperationRunner>(glue_, hold_, context_.paths.workDir);
  runner_->SetScanArguments(context_.settings.scanDepth, context_.settings.addressAssign);

  setObjectName("DeviceMainForm");
  setWindowTitle(BrandTitle());
  setAccessibleName(BrandTitle());
  setWindowIcon(BrandIcon());

  BuildMenus();
  auto* central = new QWidget(this);
  central->setObjectName("PanelClient");
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildHeader());
  layout->addWidget(BuildButtonPanel());

  tabs_ = new QTabWidget(central);
  tabs_->setObjectName("PageControl");
  tabs_->setAccessibleName("Devices");
  retTab_ = new QWidget(tabs_);
  retTab_->setObjectName("TabSheetRET");
  retTab_->setAccessibleName("RET");
  tmaTab_ = new QWidget(tabs_);
  tmaTab_->setObjectName("TabSheetTMA");
  tmaTab_->setAccessibleName("TMA");
  retGrid_ = BuildGrid("StringGridRET", kRetCaptions, kRetWidths, kRetColumnCount);
  tmaGrid_ = BuildGrid("StringGridTMA", kTmaCaptions, kTmaWidths, kTmaColumnCount);
  retGrid_->setAccessibleName("RET devices");
  tmaGrid_->setAccessibleName("TMA devices");
  for (auto [tab, grid] : {std::pair{retTab_, retGrid_}, std::pair{tmaTab_, tmaGrid_}}) {
    auto* l = new QVBoxLayout(tab);
    l->setContentsMargins(2, 2, 2, 2);
    l->addWidget(grid);
  }
  tabs_->addTab(retTab_, "RET");
  tabs_->addTab(tmaTab_, "TMA");
  layout->addWidget(tabs_, 1);
  setCentralWidget(central);
  BuildStatusBar();

  scanResult_ = new ScanResultDialog(this);
  addDevice_ = new AddDeviceDialog(
      [this](const QString& vendor, const QString& serial) { return AddDeviceNow(vendor, serial); },
      this);
  settingBar_ = new DeviceSettingWindow(this);
  addDockWidget(Qt::RightDockWidgetArea, settingBar_);
  settingBar_->hide();
  connect(settingBar_, &DeviceSettingWindow::editClicked, this, &MainWindow::Edit);
  connect(settingBar_, &DeviceSettingWindow::setTiltClicked, this, &MainWindow::SetTiltOrModeGain);
  connect(settingBar_, &DeviceSettingWindow::selfTestClicked, this, &MainWindow::SelfTest);
  connect(settingBar_, &DeviceSettingWindow::resetClicked, this, &MainWindow::ResetSoftware);
  connect(settingBar_, &DeviceSettingWindow::clearAlarmClicked, this, &MainWindow::ClearAlarm);
  connect(settingBar_, &DeviceSettingWindow::closedByOperator, this,
          &MainWindow::CloseDeviceSettingBar);

  // The RET windows, made once and reused.
  auto* setTilt = new SetTiltDialog(*this, host_, context_.decimalSeparator, this);
  auto* retDetail = new RetDetailWindow(*this, host_, context_.decimalSeparator, *setTilt, this);
  connect(this, &MainWindow::editRequested, retDetail,
          [retDetail](int address, int subunit, bool ret) {
            if (ret) retDetail->Open(address, subunit);
          });
  connect(this, &MainWindow::setTiltRequested, setTilt, &SetTiltDialog::Open);

  // The TMA windows.
  connect(this, &MainWindow::editRequested, this, [this](int address, int subunit, bool ret) {
    if (!ret) ShowTmaDetail(address, subunit);
  });
  connect(this, &MainWindow::setModeGainRequested, this, &MainWindow::ShowTmaModeGain);

  connect(tabs_, &QTabWidget::currentChanged, this, [this] {
    UpdateTiltCaption();
    UpdateDeviceTypeLabel();
  });

  // Starting size; the window may be resized and the grids grow with it.
  resize(803, 460);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    int left = area.width() < 800 ? area.left() : area.left() + (area.width() - 803) / 2;
    int top = area.height() < 480 ? area.top() : area.top() + (area.height() - 460) / 2;
    move(left, top);
  }

  // The TMA tab appears with the first TMA a fill finds.
  tabs_->setTabVisible(tabs_->indexOf(tmaTab_), false);
  WriteCaptions();
  UpdateTiltCaption();

  pollTimer_ = new QTimer(this);
  pollTimer_->setObjectName("TimerPoll");
  pollTimer_->setInterval(kPollIntervalMs);
  connect(pollTimer_, &QTimer::timeout, this, &MainWindow::PollTmas);
  pollTimer_->start();
}

MainWindow::~MainWindow() = default;

// --- Building the window --------------------------------------------------------

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  auto action = [this](QMenu* menu, const char* name, const QString& text, auto slot) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    if constexpr (!std::is_same_v<decltype(slot), std::nullptr_t>) {
      connect(a, &QAction::triggered, this, slot);
    }
    return a;
  };

  QMenu* file = bar->addMenu("&File");
  file->setObjectName("MenuFile");
  action(file, "MenuExportSiteReport", "Export Site Report", &MainWindow::ExportSiteReport);
  file->addSeparator();
  action(file, "MenuExit", "E&xit", &QWidget::close);

  QMenu* scan = bar->addMenu("&Scan");
  scan->setObjectName("MenuScan");
  action(scan, "MenuScanDevice", "&Scan Device", &MainWindow::ScanDevice);
  action(scan, "MenuAddDevice", "&Add Device", &MainWindow::ShowAddDevice);
  action(scan, "MenuRefreshDevice", "&Refresh Device", &MainWindow::RefreshDevice);

  QMenu* tools = bar->addMenu("&Tools");
  tools->setObjectName("MenuTools");
  action(tools, "MenuAntennaModel", "Antenna Model Management", [this] {
    ConfigureModelForm form(context_.paths.workDir, context_.paths.tempDir, host_, this);
    host_.ExecDialog(form);
  });
  action(tools, "MenuSystemSetting", "System Setting", [this] {
    AdapterConfigureForm form(context_.paths.configPath, context_.paths.tempDir, host_, *runner_,
                              this);
    host_.ExecDialog(form);
  });
  action(tools, "MenuAdapterSetting", "Adapter Setting", [this] {
    SystemConfigureForm form(glue_, host_, tables_, this);
    host_.ExecDialog(form);
  });
  action(tools, "MenuLoadDefault", "&Load Default Setting", &MainWindow::LoadDefaultSetting);
  vendorMenu_ = tools->addMenu("&Vendor Specific");
  vendorMenu_->setObjectName("MenuVendorSpecific");
  QMenu* andrew = vendorMenu_->addMenu("AISG &Version");
  andrew->setObjectName("Andrew");
  action(andrew, "MenuSwitchAisg1", "Switch to AISG 1.x", &MainWindow::SwitchToAisg1);
  action(andrew, "MenuSwitchAisg2", "Switch to AISG 2.x", &MainWindow::SwitchToAisg2);
  QMenu* cwa = vendorMenu_->addMenu("&Line");
  cwa->setObjectName("MenuVendorLine");
  action(cwa, "MenuDisableCwa", "Disable CWA", &MainWindow::DisableCwa);
  // The vendor menu stays hidden (a scan that finds devices enables it); of
  // its submenus only the version switch is in use.
  vendorMenu_->menuAction()->setVisible(false);
  andrew->menuAction()->setEnabled(true);
  andrew->menuAction()->setVisible(true);
  cwa->menuAction()->setEnabled(false);
  cwa->menuAction()->setVisible(false);

  QMenu* view = bar->addMenu("&View");
  view->setObjectName("MenuView");
  action(view, "MenuViewSettingBar", "View Device Setting Bar", &MainWindow::ViewDeviceSettingBar);
  action(view, "MenuCloseSettingBar", "Close Device SettingBar",
         &MainWindow::CloseDeviceSettingBar);
  view->menuAction()->setVisible(false);

  QMenu* about = bar->addMenu("&About");
  about->setObjectName("MenuAbout");
  action(about, "MenuAboutItem", QString("&About %1").arg(kProductName), &MainWindow::ShowAbout);
}

QWidget* MainWindow::BuildHeader() {
  auto* header = new QWidget(this);
  header->setObjectName("PanelHeader");
  header->setMinimumHeight(42);
  auto* layout = new QHBoxLayout(header);
  layout->setContentsMargins(4, 2, 8, 2);
  QToolButton* scan =
      ToolButton(header, "ToolButtonScan", "Scan Device", QStyle::SP_FileDialogContentsView);
  QToolButton* add =
      ToolButton(header, "ToolButtonAdd", "Add Device", QStyle::SP_FileDialogNewFolder);
  QToolButton* refresh =
      ToolButton(header, "ToolButtonRefresh", "Refresh Device", QStyle::SP_BrowserReload);
  connect(scan, &QToolButton::clicked, this, &MainWindow::ScanDevice);
  connect(add, &QToolButton::clicked, this, &MainWindow::ShowAddDevice);
  connect(refresh, &QToolButton::clicked, this, &MainWindow::RefreshDevice);
  layout->addWidget(scan);
  layout->addWidget(add);
  layout->addWidget(refresh);
  layout->addStretch();
  // The brand logo opens the About window (the product has no web page of
  // its own).
  auto* logo = new QToolButton(header);
  logo->setObjectName("ImageLogo");
  logo->setAutoRaise(true);
  logo->setToolTip(QString("About %1").arg(kProductName));
  logo->setAccessibleName(kProductName);
  QPixmap pixmap = BrandLogo(34, devicePixelRatioF());
  logo->setIcon(QIcon(pixmap));
  logo->setIconSize(pixmap.deviceIndependentSize().toSize());
  connect(logo, &QToolButton::clicked, this, &MainWindow::ShowAbout);
  layout->addWidget(logo);
  return header;
}

QWidget* MainWindow::BuildButtonPanel() {
  buttonPanel_ = new QWidget(this);
  buttonPanel_->setObjectName("PanelButton");
  auto* layout = new QHBoxLayout(buttonPanel_);
  layout->setContentsMargins(6, 2, 6, 2);
  deviceTypeLabel_ = new QLabel(buttonPanel_);
  deviceTypeLabel_->setObjectName("LabelDeviceType");
  deviceTypeLabel_->setToolTip("Device Type");
  deviceTypeLabel_->setAccessibleName("Device Type");
  layout->addWidget(deviceTypeLabel_);
  layout->addStretch();
  auto button = [&](const char* name, const char* caption, void (MainWindow::*slot)()) {
    auto* b = new QPushButton(caption, buttonPanel_);
    b->setObjectName(name);
    b->setAccessibleName(caption);
    connect(b, &QPushButton::clicked, this, slot);
    layout->addWidget(b);
    return b;
  };
  button("ButtonEdit", "Edit", &MainWindow::Edit);
  setTiltButton_ = button("ButtonSetTilt", "Set Tilt", &MainWindow::SetTiltOrModeGain);
  button("ButtonClearAlarm", "Clear Alarm", &MainWindow::ClearAlarm);
  button("ButtonSelfTest", "Self Test", &MainWindow::SelfTest);
  button("ButtonReset", "Reset", &MainWindow::ResetSoftware);
  return buttonPanel_;
}

QTableWidget* MainWindow::BuildGrid(const char* name, const char* const* captions,
                                    const int* widths, int columns) {
  auto* grid = new QTableWidget(kGridMinimumRows, columns, this);
  grid->setObjectName(name);
  grid->setStyleSheet(kGridStyle);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setWordWrap(false);
  grid->setMouseTracking(true);
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setDefaultSectionSize(20);
  grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  grid->horizontalHeader()->setHighlightSections(false);
  // Room the window has beyond the columns goes to the last one (the status
  // and its cause), instead of an empty band beside the grid.
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->setTabKeyNavigation(false);
  for (int c = 0; c < columns; ++c) {
    grid->setHorizontalHeaderItem(c, new QTableWidgetItem(captions[c]));
    if (widths[c] == 0) {
      grid->setColumnHidden(c, true);
    } else {
      grid->setColumnWidth(c, widths[c]);
    }
  }
  grid->installEventFilter(this);
  connect(grid, &QTableWidget::cellDoubleClicked, this, [this] { Edit(); });
  connect(grid, &QTableWidget::currentCellChanged, this, [this] { UpdateDeviceTypeLabel(); });
  return grid;
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar");
  portLabel_ = new QLabel(bar);
  portLabel_->setObjectName("LabelPort");
  portLabel_->setAccessibleName("Port");
  bar->addPermanentWidget(portLabel_);
  auto* badge = new QToolButton(bar);
  badge->setObjectName("ImageAISG");
  badge->setAutoRaise(true);
  badge->setToolTip("Issues 1.x 2.x");
  badge->setAccessibleName("Issues 1.x 2.x");
  QPixmap pixmap = AisgBadge(18, devicePixelRatioF());
  badge->setIcon(QIcon(pixmap));
  badge->setIconSize(pixmap.deviceIndependentSize().toSize());
  connect(badge, &QToolButton::clicked, this, [this] { host_.OpenUrl(QUrl(kAisgUrl)); });
  bar->addPermanentWidget(badge);
}

void MainWindow::WriteCaptions() {
  for (int c = 0; c < kRetColumnCount; ++c)
    retGrid_->horizontalHeaderItem(c)->setText(kRetCaptions[c]);
  for (int c = 0; c < kTmaColumnCount; ++c)
    tmaGrid_->horizontalHeaderItem(c)->setText(kTmaCaptions[c]);
}

// --- Selection --------------------------------------------------------------------

bool MainWindow::RetTabActive() const {
  return tabs_->currentWidget() == retTab_;
}

int MainWindow::SelectedAddress() const {
  QTableWidget* grid = RetTabActive() ? retGrid_ : tmaGrid_;
  int column = RetTabActive() ? kRetAddressColumn : kTmaAddressColumn;
  int row = grid->currentRow();
  if (row < 0) return kUnused;
  QTableWidgetItem* item = grid->item(row, column);
  if (item == nullptr) return kUnused;
  return ReadInt(item->text().toStdString()).value_or(kUnused);
}

std::string MainWindow::SelectedSubunitText() const {
  QTableWidget* grid = RetTabActive() ? retGrid_ : tmaGrid_;
  const std::vector<std::string>& subunits = RetTabActive() ? retSubunits_ : tmaSubunits_;
  int row = grid->currentRow();
  if (row < 0 || static_cast<size_t>(row) >= subunits.size()) return std::string();
  return subunits[static_cast<size_t>(row)];
}

int MainWindow::SelectedSubunit() const {
  return ReadInt(SelectedSubunitText()).value_or(kUnused);
}

std::optional<std::string> MainWindow::FieldByName(const std::string& address,
                                                   const std::string& subunit,
                                                   const std::string& name) const {
  if (glue_.exports().getMirelkDataCount == nullptr) return std::nullopt;
  std::string wanted = name == "Elec. Tilt" ? "Current Tilt" : name;
  int field = -1;
  for (int f = 0; f < kMirelkFieldCount; ++f) {
    if (kMirelkFieldNames[f][0] != '\0' && wanted == kMirelkFieldNames[f]) field = f;
  }
  if (field < 0) return std::nullopt;
  for (const MIRELK_DATA& entry : entries_) {
    if (FieldText(entry, kMdAddress) == address && FieldText(entry, kMdSubunit) == subunit) {
      return FieldText(entry, field);
    }
  }
  return std::nullopt;
}

// --- Filling the grids ------------------------------------------------------------

GridLookups MainWindow::Lookups() const {
  // A fill asks about few distinct codes many times: each table answers a
  // code once per fill (the files are read anew at the next fill, so edits
  // to the tables still show).
  struct Memo {
    std::map<std::string, std::string> shortName, fullName, model;
    std::map<int, std::string> error;
    std::map<std::string, int> sector;
  };
  auto memo = std::make_shared<Memo>();
  const Tables* t = &tables_;
  GridLookups l;
  l.vendorShortName = [t, memo](const std::string& v) {
    auto it = memo->shortName.find(v);
    if (it == memo->shortName.end()) it = memo->shortName.emplace(v, t->VendorShortName(v)).first;
    return it->second;
  };
  l.vendorFullName = [t, memo](const std::string& v) {
    auto it = memo->fullName.find(v);
    if (it == memo->fullName.end()) it = memo->fullName.emplace(v, t->VendorFullName(v)).first;
    return it->second;
  };
  l.modelFullName = [t, memo](const std::string& m, const std::string& v) {
    std::string key = v + '\n' + m;
    auto it = memo->model.find(key);
    if (it == memo->model.end()) it = memo->model.emplace(key, t->ModelFullName(m, v)).first;
    return it->second;
  };
  l.errorText = [t, memo](int code) {
    auto it = memo->error.find(code);
    if (it == memo->error.end()) it = memo->error.emplace(code, t->ErrorText(code)).first;
    return it->second;
  };
  l.sectorControl = [t, memo](const std::string& v) {
    auto it = memo->sector.find(v);
    if (it == memo->sector.end()) it = memo->sector.emplace(v, t->SectorControl(v)).first;
    return it->second;
  };
  l.decimalSeparator = context_.decimalSeparator;
  return l;
}

void MainWindow::FillGrids() {
  const GlueExports& ex = glue_.exports();
  if (ex.getMirelkDataCount == nullptr) return;
  // The table is read first (the library rebuilds it), then its count, so
  // that the two agree; what the windows need is copied at once.
  const MIRELK_DATA* table = ex.getMirelkData != nullptr ? ex.getMirelkData() : nullptr;
  int count = ex.getMirelkDataCount();
  entries_.clear();
  if (table != nullptr && count > 0) entries_.assign(table, table + count);
  FillGridsFromCopy();
}

void MainWindow::FillOne(QTableWidget* grid, const std::vector<GridRow>& rows, int statusColumn,
                         int vendorColumn, int rightColumn, std::vector<std::string>& subunits) {
  grid->setUpdatesEnabled(false);
  grid->clearContents();
  int shown = static_cast<int>(rows.size());
  // A page of rows, or all rows and one empty one below them.
  grid->setRowCount(std::max(kGridMinimumRows, shown + 1));
  subunits.assign(static_cast<size_t>(grid->rowCount()), std::string());
  for (int r = 0; r < shown; ++r) {
    const GridRow& row = rows[static_cast<size_t>(r)];
    for (int c = 0; c < static_cast<int>(row.cells.size()); ++c) {
      QString text = QString::fromStdString(row.cells[static_cast<size_t>(c)]);
      auto* item = new QTableWidgetItem(text);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      item->setToolTip(c == vendorColumn ? QString::fromStdString(row.vendorHint) : text);
      if (c == rightColumn) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (c == statusColumn) item->setForeground(row.healthy ? kStatusGood : kStatusBad);
      grid->setItem(r, c, item);
    }
    subunits[static_cast<size_t>(r)] = row.subunit;
  }
  // The starting widths suit the classic small fonts; a column whose caption
  // or texts do not fit this screen's font is widened (never narrowed, so the
  // operator's own widths stay).
  if (shown > 0) {
    QFontMetrics metrics = grid->fontMetrics();
    for (int c = 0; c < grid->columnCount(); ++c) {
      if (grid->isColumnHidden(c)) continue;
      int needed = grid->horizontalHeader()->sectionSizeHint(c);
      for (const GridRow& row : rows) {
        const std::string& text = row.cells[static_cast<size_t>(c)];
        needed = std::max(needed, metrics.horizontalAdvance(QString::fromStdString(text)) + 12);
      }
      if (needed > grid->columnWidth(c)) grid->setColumnWidth(c, std::min(needed, 360));
    }
  }
  grid->setUpdatesEnabled(true);
}

void MainWindow::FillGridsFromCopy() {
  // The operator's row stays selected across a refill (after a self test,
  // say), found again by its address and subunit.
  auto selection = [](QTableWidget* grid, int addressColumn, const std::vector<std::string>& subs) {
    int row = grid->currentRow();
    QTableWidgetItem* item = row >= 0 ? grid->item(row, addressColumn) : nullptr;
    if (item == nullptr || static_cast<size_t>(row) >= subs.size()) {
      return std::pair<QString, std::string>();
    }
    return std::pair<QString, std::string>(item->text(), subs[static_cast<size_t>(row)]);
  };
  auto reselect = [](QTableWidget* grid, int addressColumn, const std::vector<std::string>& subs,
                     const std::pair<QString, std::string>& wanted) {
    if (wanted.first.isEmpty()) return;
    for (int r = 0; r < grid->rowCount() && static_cast<size_t>(r) < subs.size(); ++r) {
      QTableWidgetItem* item = grid->item(r, addressColumn);
      if (item != nullptr && item->text() == wanted.first &&
          subs[static_cast<size_t>(r)] == wanted.second) {
        grid->setCurrentCell(r, 0);
        return;
      }
    }
  };
  auto retSelected = selection(retGrid_, kRetAddressColumn, retSubunits_);
  auto tmaSelected = selection(tmaGrid_, kTmaAddressColumn, tmaSubunits_);
  GridRows rows = BuildGridRows(entries_.data(), static_cast<int>(entries_.size()), Lookups());
  FillOne(retGrid_, rows.ret, kRetStatusColumn, kRetVendorColumn, -1, retSubunits_);
  FillOne(tmaGrid_, rows.tma, kTmaStatusColumn, kTmaVendorColumn, kTmaGainColumn, tmaSubunits_);
  reselect(retGrid_, kRetAddressColumn, retSubunits_, retSelected);
  reselect(tmaGrid_, kTmaAddressColumn, tmaSubunits_, tmaSelected);
  if (!rows.ret.empty()) tabs_->setTabVisible(tabs_->indexOf(retTab_), true);
  if (!rows.tma.empty()) tabs_->setTabVisible(tabs_->indexOf(tmaTab_), true);
  if (rows.ret.empty() && !rows.tma.empty()) tabs_->setCurrentWidget(tmaTab_);
  UpdateTiltCaption();
  UpdateDeviceTypeLabel();
  emit gridsFilled();
}

void MainWindow::UpdateTiltCaption() {
  QString caption = RetTabActive() ? "Set Tilt" : "Set Mode/Gain";
  setTiltButton_->setText(caption);
  setTiltButton_->setAccessibleName(caption);
  if (settingBar_ != nullptr) settingBar_->SetTiltCaption(caption);
}

void MainWindow::UpdateDeviceTypeLabel() {
  int address = SelectedAddress();
  std::string subunit = SelectedSubunitText();
  QString text;
  if (address != kUnused && !subunit.empty()) {
    std::string a = std::to_string(address);
    std::string version = FieldByName(a, subunit, "AISG Version").value_or("");
    std::string model = FieldByName(a, subunit, "RET Model").value_or("");
    text = QString("%1 %2 (AISG %3)")
               .arg(RetTabActive() ? "RET" : "TMA", QString::fromStdString(model),
                    QString::fromStdString(version));
  }
  deviceTypeLabel_->setText(text);
}

// --- Operations -------------------------------------------------------------------

int MainWindow::RunAndFill(int code, const std::string& a, const std::string& b, int x, int y,
                           int z, const std::string& title, FillMode fill, int* out) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // Reading the table reads devices that are not up to date: the busy window
  // stays up, and its status busy, until the grids are filled. The runner's
  // finished status is kept back until then (a busy window that closes
  // itself on it would otherwise go too early); the pause and the end of the
  // busy window wait in the hold.
  GlueExports& ex = glue_.mutableExports();
  auto setStatus = ex.setProcessStatus;
  g_finishedKeptBack = false;
  if (setStatus != nullptr) {
    g_heldSetStatus = setStatus;
    ex.setProcessStatus = KeepBackFinishedStatus;
  }
  hold_.Hold();
  int result = runner_->Run(code, out, a, b, x, y, z, title);
  ex.setProcessStatus = setStatus;
  g_heldSetStatus = nullptr;
  if (fill == FillMode::kAlways || (fill == FillMode::kOnSuccess && result == 0)) FillGrids();
  if (g_finishedKeptBack && setStatus != nullptr) setStatus(g_finishedPid, kStatusFinished);
  g_finishedKeptBack = false;
  hold_.Release();
  QApplication::restoreOverrideCursor();
  return result;
}

int MainWindow::RunOperation(int code, int* out, const std::string& a, const std::string& b, int x,
                             int y, int z, const std::string& title) {
  return RunAndFill(code, a, b, x, y, z, title, FillMode::kAlways, out);
}

void MainWindow::ShowTmaDetail(int address, int subunit) {
  if (tmaDetail_ == nullptr) tmaDetail_ = new TmaDetailWindow(*this, false, this);
  tmaDetail_->SetDevice(address, subunit);
  tmaDetail_->ShowData();
  host_.ExecDialog(*tmaDetail_);
}

void MainWindow::ShowTmaModeGain(int address, int subunit) {
  // Made anew each time, so that nothing of an earlier device stays in it.
  TmaDetailWindow window(*this, true, this);
  window.SetDevice(address, subunit);
  window.ShowData();
  host_.ExecDialog(window);
}

void MainWindow::ShowResult(const std::string& title, int code, int result) {
  ShowResultMessage(host_, title, code, result, tables_.ErrorText(result),
                    runner_->lastFaultText());
}

void MainWindow::ScanDevice() {
  const std::string title = "Scan Device";
  if (!host_.Ask(title, "Are you sure you want to scan device?")) return;
  int result = RunAndFill(kOpScan, "", "", kUnused, kUnused, kUnused, title);
  if (result != 0) ShowResult(title, kOpScan, result);
  const GlueExports& ex = glue_.exports();
  if (ex.getMirelkDataCount == nullptr) return;
  int count = ex.getMirelkDataCount();
  if (count < 1) {
    host_.ShowMessage(MessageIcon::kWarning, title, "Could not find any Device!");
    return;
  }
  vendorMenu_->setEnabled(true);
  std::string counts = "0/0/0/0";
  if (ex.getMirelkDataCountStr != nullptr) {
    const char* text = ex.getMirelkDataCountStr();
    if (text != nullptr) counts.assign(text, strnlen(text, 64));
  }
  scanResult_->SetResult(QString::fromStdString(title), ScanSummaryLines(counts.c_str()));
  host_.ExecDialog(*scanResult_);
}

void MainWindow::RefreshDevice() {
  RunAndFill(kOpRefresh, "", "", kUnused, kUnused, kUnused, "Refresh Device");
}

void MainWindow::ShowAddDevice() {
  addDevice_->adjustSize();
  addDevice_->move(geometry().center() - addDevice_->rect().center());
  host_.ExecDialog(*addDevice_);
}

bool MainWindow::AddDeviceNow(const QString& vendor, const QString& serial) {
  if (glue_.exports().addDevice == nullptr) return false;
  const std::string title = "Add Device";
  int result = RunAndFill(kOpAddDevice, serial.toStdString(), vendor.toStdString(), kUnused,
                          kUnused, kUnused, title, FillMode::kOnSuccess);
  ShowResult(title, kOpAddDevice, result);
  return result == 0;
}

void MainWindow::Edit() {
  int address = SelectedAddress();
  int subunit = SelectedSubunit();
  if (address == kUnused || subunit == kUnused) return;
  emit editRequested(address, subunit, RetTabActive());
}

void MainWindow::SetTiltOrModeGain() {
  int address = SelectedAddress();
  int subunit = SelectedSubunit();
  if (address == kUnused || subunit == kUnused) return;
  if (!RetTabActive()) {
    emit setModeGainRequested(address, subunit);
    return;
  }
  std::string a = std::to_string(address);
  std::string s = SelectedSubunitText();
  auto tenths = [&](const char* name) {
    return QString::fromStdString(
        TenthsText(FieldByName(a, s, name).value_or(""), context_.decimalSeparator));
  };
  emit setTiltRequested(address, subunit, tenths("Min Tilt"), tenths("Max Tilt"),
                        tenths("Current Tilt"));
}

void MainWindow::SelfTest() {
  int address = SelectedAddress();
  if (address == kUnused) return;
  int code = RetTabActive() ? kOpSelfTest : kOpSelfTestTma;
  int result = RunAndFill(code, "", "", kUnused, kUnused, address, "Self Test");
  ShowResult("Self Test", code, result);
}

void MainWindow::ResetSoftware() {
  int address = SelectedAddress();
  if (address == kUnused) return;
  int code = RetTabActive() ? kOpReset : kOpResetTma;
  int result = RunAndFill(code, "", "", kUnused, kUnused, address, "Reset Software");
  ShowResult("Reset Software", code, result);
}

void MainWindow::ClearAlarm() {
  int address = SelectedAddress();
  if (address == kUnused) return;
  std::string subunit = SelectedSubunitText();
  std::optional<int> sub = ReadInt(subunit);
  if (!sub) return;
  int code = RetTabActive() ? kOpClearAlarms : kOpClearAlarmsTma;
  int result = RunAndFill(code, "", "", kUnused, *sub, address, "Clear Alarms");
  ShowResult("Clear Alarms", code, result);
}

void MainWindow::SwitchAisg(int version) {
  if (glue_.exports().switchAISGVersion == nullptr) return;
  const std::string title = "Switch AISG Version";
  std::string text = "Switch AISG version may not cause OLD DEVICES to enter " +
                     std::to_string(version) +
                     ".x mode. \n\nARE YOU SURE YOU WANT TO SWITCH AISG VERSION?";
  if (!host_.Ask(title, text)) return;
  int result = RunAndFill(kOpSwitchAisgVersion, std::to_string(version), "AN", kUnused, kUnused,
                          kUnused, title, FillMode::kNever);
  ShowResult(title, kOpSwitchAisgVersion, result);
}

void MainWindow::SwitchToAisg1() {
  SwitchAisg(1);
}
void MainWindow::SwitchToAisg2() {
  SwitchAisg(2);
}

void MainWindow::DisableCwa() {
  if (glue_.exports().closeComPort == nullptr) return;
  int result = glue_.exports().closeComPort();
  if (result != 0) ShowResult("Disable CWA", 0, result);
}

int MainWindow::WriteConfig(const char* key, const std::string& value, const std::string& title) {
  std::string failure;
  int result = SetConfigValue(context_.paths.configPath, key, value.c_str(), context_.paths.tempDir,
                              &failure);
  if (!failure.empty()) host_.ShowMessage(MessageIcon::kError, title, failure);
  return result;
}

void MainWindow::SetSettingBar(bool shown) {
  settingBarShown_ = shown;
  buttonPanel_->setVisible(!shown);
  if (shown) {
    settingBar_->show();
  } else {
    settingBar_->hide();
  }
  WriteConfig(kKeySettingBar, shown ? "ON" : "OFF", "Device Setting");
}

void MainWindow::ViewDeviceSettingBar() {
  SetSettingBar(true);
}
void MainWindow::CloseDeviceSettingBar() {
  SetSettingBar(false);
}

void MainWindow::LoadDefaultSetting() {
  const std::string title = "Reset to Default Setting";
  const GlueExports& ex = glue_.exports();
  bool switchesLine = ex.setPowerValue != nullptr || ex.setPinValue != nullptr;
  if (switchesLine &&
      !host_.Ask(title,
                 "Loading the default setting switches the antenna line's 12 V supply off and "
                 "the A/B switch to its default.\n\nAre you sure you want to load the default "
                 "setting?")) {
    return;
  }
  // Each step must succeed on its own: results of different signs must not
  // cancel out.
  bool failed = false;
  failed |= WriteConfig(kKeyDefaultAssign, "1", title) != 0;
  failed |= WriteConfig(kKeyDefaultDepth, "4", title) != 0;
  runner_->SetScanArguments(4, 1);
  if (ex.setPowerValue != nullptr) failed |= ex.setPowerValue(0) != 0;
  if (ex.setPinValue != nullptr) failed |= ex.setPinValue(0) != 0;
  if (failed) {
    host_.ShowMessage(MessageIcon::kError, title, "Setting failed.");
  } else {
    host_.ShowMessage(MessageIcon::kInformation, title, "Load default setting success.");
  }
}

void MainWindow::PollTmas() {
  const GlueExports& ex = glue_.exports();
  if (ex.getMirelkDataCount == nullptr || ex.pollDevice == nullptr || entries_.empty()) return;
  if (ex.getMirelkDataCount() <= 0) return;
  // A device with several TMA units is polled once per round.
  std::set<int> polled;
  for (const MIRELK_DATA& entry : entries_) {
    if (KindOf(entry) != EntryKind::kTma) continue;
    std::string vendor = FieldText(entry, kMdVendor);
    bool wanted = std::any_of(std::begin(kPolledTmaVendors), std::end(kPolledTmaVendors),
                              [&](const char* v) { return vendor == v; });
    std::optional<int> address = ReadInt(FieldText(entry, kMdAddress));
    if (wanted && address) polled.insert(*address);
  }
  if (polled.empty()) return;
  // The poll blocks the window thread on the bus: show that we are busy.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  for (int address : polled) ex.pollDevice(address);
  QApplication::restoreOverrideCursor();
}

void MainWindow::ExportSiteReport() {
  aldpanel::ExportSiteReport(glue_.exports(), host_, Lookups());
}

void MainWindow::ShowAbout() {
  AboutDialog about(this);
  host_.ExecDialog(about);
}

QString MainWindow::PortText(int port) {
  if (const char* site = std::getenv("ALDLINK_SIM"); site != nullptr && *site != '\0') {
    return QString("Port : simulator (%1)").arg(QFileInfo(QString::fromLocal8Bit(site)).fileName());
  }
  if (port <= 0) return "Can't use the adapter port!";
  if (const char* path = std::getenv("ALDLINK_PORT"); path != nullptr && *path != '\0') {
    return QString("Port : %1").arg(QString::fromLocal8Bit(path));
  }
  return QString("Port : /dev/ttyUSB%1").arg(port - 1);
}

void MainWindow::UpdatePortPanel() {
  auto getPort = glue_.exports().getPort;
  if (getPort == nullptr) {
    portLabel_->setText("Can't use the adapter port!");
    return;
  }
  portLabel_->setText(PortText(getPort()));
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  UpdatePortPanel();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == retGrid_ || watched == tmaGrid_) && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Edit();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace aldpanel
