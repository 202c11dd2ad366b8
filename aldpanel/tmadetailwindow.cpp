#include "aldpanel/tmadetailwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "aldpanel/bandforms.h"
#include "aldpanel/core/antennadata.h"
#include "aldpanel/core/bands.h"
#include "aldpanel/core/bandselect.h"
#include "aldpanel/core/gridrows.h"
#include "aldpanel/core/quarterdb.h"
#include "aldpanel/mainwindow.h"
#include "aldpanel/setgaindialog.h"

namespace aldpanel {
namespace {

const QColor kStatusGood(72, 128, 0);
const QColor kStatusBad(255, 0, 0);

const char* const kItemCaptions[TmaDetailWindow::kItemCount] = {
    "Sector ID",
    "Site ID",
    "Installer ID",
    "Installation Date (mmddyy)",
    "Bearing",
    "Mechanical Tilt",
    "Antenna Serial No.",
    "Frequency Band",
    "Beam Width (split by /)",
    "Antenna Gain (split by /)",
    "Antenna Model",
};
const char* const kItemNames[TmaDetailWindow::kItemCount] = {
    "SectorID",      "SiteID",   "InstallerID", "InstallDate", "Bearing",      "MechTilt",
    "AntennaSerial", "FreqBand", "BeamWidth",   "AntennaGain", "AntennaModel",
};

const char* kDownloadFilter = "Binary files (*.bin *.hex)|*.bin;*.hex|All files (*.*)|*.*";

std::optional<long> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAccessibleName(caption);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TmaDetailWindow::TmaDetailWindow(MainWindow& main, bool reduced, QWidget* parent)
    : QDialog(parent), main_(main), reduced_(reduced) {
  const char* title = reduced ? "Set Mode / Gain" : "TMA Detail Setting";
  setObjectName(reduced ? "TMADetailSettingFormSub" : "TMADetailSettingForm");
  setWindowTitle(title);
  setAccessibleName(title);
  setModal(true);

  address_ = new QLabel(this);
  address_->setObjectName("LabelAddress");
  address_->hide();
  subunit_ = new QLabel(this);
  subunit_->setObjectName("LabelSubunit");
  subunit_->hide();
  version_ = new QLabel(this);
  version_->setObjectName("LabelAisgVersion");
  version_->hide();

  auto* outer = new QVBoxLayout(this);
  auto* groups = new QHBoxLayout;
  outer->addLayout(groups);

  // --- AISG TMA ---
  tmaGroup_ = new QGroupBox("AISG TMA", this);
  tmaGroup_->setObjectName("GroupBoxTMA");
  auto* tmaLayout = new QVBoxLayout(tmaGroup_);
  info_ = new QWidget(tmaGroup_);
  auto* info = new QGridLayout(info_);
  info->setContentsMargins(0, 0, 0, 0);
  int row = 0;
  auto addRow = [&](const char* caption, QWidget* a, QWidget* b = nullptr) {
    info->addWidget(new QLabel(caption, info_), row, 0);
    if (b == nullptr) {
      info->addWidget(a, row, 1, 1, 3);
    } else {
      info->addWidget(a, row, 1);
      info->addWidget(new QLabel("-", info_), row, 2);
      info->addWidget(b, row, 3);
    }
    ++row;
  };
  status_ = ReadOnlyEdit("EditStatus", "Status");
  model_ = ReadOnlyEdit("EditTMAModel", "TMA Model Name");
  serial_ = ReadOnlyEdit("EditTMASerial", "TMA Serial No.");
  vendor_ = ReadOnlyEdit("EditVendor", "Vendor");
  hardware_ = ReadOnlyEdit("EditHardwareVersion", "TMA Hardware Version");
  software_ = ReadOnlyEdit("EditSoftwareVersion", "TMA Software Version");
  rx_[0] = ReadOnlyEdit("EditMinRx", "Min Rx Freq. Band (MHz)");
  rx_[1] = ReadOnlyEdit("EditMaxRx", "Max Rx Freq. Band (MHz)");
  tx_[0] = ReadOnlyEdit("EditMinTx", "Min Tx Freq. Band (MHz)");
  tx_[1] = ReadOnlyEdit("EditMaxTx", "Max Tx Freq. Band (MHz)");
  addRow("Status", status_);
  addRow("TMA Model Name", model_);
  addRow("TMA Serial No.", serial_);
  addRow("Vendor", vendor_);
  addRow("TMA Hardware Version", hardware_);
  addRow("TMA Software Version", software_);
  addRow("Min - Max Rx Freq. Band (MHz)", rx_[0], rx_[1]);
  addRow("Min - Max Tx Freq. Band (MHz)", tx_[0], tx_[1]);
  info->setColumnStretch(1, 1);
  info->setColumnStretch(3, 1);
  tmaLayout->addWidget(info_);

  auto* modeBox = new QGroupBox("Set Mode", tmaGroup_);
  modeBox->setObjectName("GroupBoxSetMode");
  auto* modeLayout = new QGridLayout(modeBox);
  bypass_ = new QCheckBox("Bypass", modeBox);
  bypass_->setObjectName("CheckBoxBypass");
  bypass_->setEnabled(false);
  vswr_ = new QCheckBox("VSWR", modeBox);
  vswr_->setObjectName("CheckBoxVSWR");
  vswr_->setEnabled(false);
  auto* types = new QHBoxLayout;
  types->addWidget(bypass_);
  types->addWidget(vswr_);
  types->addStretch();
  modeLayout->addWidget(new QLabel("Type", modeBox), 0, 0);
  modeLayout->addLayout(types, 0, 1, 1, 3);
  mode_ = new QComboBox(modeBox);
  mode_->setObjectName("ComboBoxMode");
  mode_->setAccessibleName("Mode");
  QPushButton* setMode = Button(modeBox, "ButtonSetMode", "Set Mode");
  QPushButton* getMode = Button(modeBox, "ButtonGetMode", "Get Mode");
  modeLayout->addWidget(new QLabel("Mode", modeBox), 1, 0);
  modeLayout->addWidget(mode_, 1, 1);
  modeLayout->addWidget(setMode, 1, 2);
  modeLayout->addWidget(getMode, 1, 3);
  modeLayout->setColumnStretch(1, 1);
  tmaLayout->addWidget(modeBox);

  auto* gainBox = new QGroupBox("Set Gain", tmaGroup_);
  gainBox->setObjectName("GroupBoxSetGain");
  auto* gainLayout = new QGridLayout(gainBox);
  minGain_ = ReadOnlyEdit("EditMinGain", "Min Gain (dB)");
  maxGain_ = ReadOnlyEdit("EditMaxGain", "Max Gain (dB)");
  resolution_ = ReadOnlyEdit("EditGainResolution", "Gain Resolution (dB)");
  gainLayout->addWidget(new QLabel("Min Gain - Max Gain (dB)", gainBox), 0, 0);
  auto* range = new QHBoxLayout;
  range->addWidget(minGain_);
  range->addWidget(new QLabel("-", gainBox));
  range->addWidget(maxGain_);
  gainLayout->addLayout(range, 0, 1, 1, 3);
  gainLayout->addWidget(new QLabel("Gain Resolution (dB)", gainBox), 1, 0);
  gainLayout->addWidget(resolution_, 1, 1);
  gain_ = new QComboBox(gainBox);
  gain_->setObjectName("ComboBoxCurrentGain");
  gain_->setAccessibleName("Current Gain (dB)");
  gain_->setEditable(true);
  gain_->setInsertPolicy(QComboBox::NoInsert);
  QPushButton* setGain = Button(gainBox, "ButtonSetGain", "Set Gain");
  QPushButton* getGain = Button(gainBox, "ButtonGetGain", "Get Gain");
  gainLayout->addWidget(new QLabel("Current Gain (dB)", gainBox), 2, 0);
  gainLayout->addWidget(gain_, 2, 1);
  gainLayout->addWidget(setGain, 2, 2);
  gainLayout->addWidget(getGain, 2, 3);
  gainLayout->setColumnStretch(1, 1);
  tmaLayout->addWidget(gainBox);
  tmaLayout->addStretch();
  groups->addWidget(tmaGroup_, 1);

  // --- Antenna Data ---
  antennaGroup_ = new QGroupBox("Antenna Data", this);
  antennaGroup_->setObjectName("GroupBoxAntennaData");
  auto* data = new QGridLayout(antennaGroup_);
  for (int i = 0; i < kItemCount; ++i) {
    checks_[i] = new QCheckBox(kItemCaptions[i], antennaGroup_);
    checks_[i]->setObjectName(QString("CheckBox") + kItemNames[i]);
    edits_[i] = new QLineEdit(antennaGroup_);
    edits_[i]->setObjectName(QString("Edit") + kItemNames[i]);
    edits_[i]->setAccessibleName(kItemCaptions[i]);
    // A value the operator edits is one to be saved.
    QCheckBox* box = checks_[i];
    connect(edits_[i], &QLineEdit::textEdited, box, [box] { box->setChecked(true); });
    data->addWidget(checks_[i], i, 0);
    data->addWidget(edits_[i], i, 1, 1, i == kFreqBand ? 1 : 2);
  }
  edits_[kFreqBand]->setReadOnly(true);
  QPushButton* sel = Button(antennaGroup_, "ButtonSel", "Sel");
  sel->setAccessibleName("Select Frequency Band");
  data->addWidget(sel, kFreqBand, 2);
  QPushButton* save = Button(antennaGroup_, "ButtonSaveSelected", "Save Selected");
  data->addWidget(save, kItemCount, 1, 1, 2, Qt::AlignRight);
  data->setColumnStretch(1, 1);
  data->setRowStretch(kItemCount + 1, 1);
  groups->addWidget(antennaGroup_, 1);

  // --- Buttons ---
  auto* buttons = new QHBoxLayout;
  actions_ = new QWidget(this);
  auto* actions = new QHBoxLayout(actions_);
  actions->setContentsMargins(0, 0, 0, 0);
  QPushButton* reset = Button(actions_, "ButtonReset", "Reset");
  QPushButton* selfTest = Button(actions_, "ButtonSelfTest", "Self Test");
  QPushButton* clear = Button(actions_, "ButtonClearAlarm", "Clear Alarm");
  QPushButton* download = Button(actions_, "ButtonDownloadSoftware", "Download Software");
  for (QPushButton* b : {reset, selfTest, clear, download}) actions->addWidget(b);
  buttons->addWidget(actions_);
  buttons->addStretch();
  QPushButton* close = Button(this, "ButtonClose", "Close");
  buttons->addWidget(close);
  outer->addLayout(buttons);

  setGain_ = new SetGainDialog(main_, this);

  connect(setMode, &QPushButton::clicked, this, &TmaDetailWindow::SetMode);
  connect(getMode, &QPushButton::clicked, this, &TmaDetailWindow::GetMode);
  connect(setGain, &QPushButton::clicked, this, &TmaDetailWindow::SetGain);
  connect(getGain, &QPushButton::clicked, this, &TmaDetailWindow::GetGain);
  connect(reset, &QPushButton::clicked, this, &TmaDetailWindow::Reset);
  connect(selfTest, &QPushButton::clicked, this, &TmaDetailWindow::SelfTest);
  connect(clear, &QPushButton::clicked, this, &TmaDetailWindow::ClearAlarm);
  connect(download, &QPushButton::clicked, this, &TmaDetailWindow::DownloadSoftware);
  connect(save, &QPushButton::clicked, this, &TmaDetailWindow::SaveSelected);
  connect(sel, &QPushButton::clicked, this, &TmaDetailWindow::SelectBand);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  if (reduced_) {
    // Only the mode and gain controls.
    info_->hide();
    antennaGroup_->hide();
    actions_->hide();
  }
}

TmaDetailWindow::~TmaDetailWindow() = default;

QLineEdit* TmaDetailWindow::ReadOnlyEdit(const char* name, const QString& accessible) {
  auto* e = new QLineEdit(this);
  e->setObjectName(name);
  e->setAccessibleName(accessible);
  e->setReadOnly(true);
  return e;
}

QString TmaDetailWindow::addressText() const {
  return address_->text();
}
QString TmaDetailWindow::subunitText() const {
  return subunit_->text();
}
QString TmaDetailWindow::aisgVersionText() const {
  return version_->text();
}

void TmaDetailWindow::SetDevice(int address, int subunit) {
  address_->setText(QString::number(address));
  subunit_->setText(QString::number(subunit));
  chosenBand_.clear();
  chosenField_.clear();
}

std::string TmaDetailWindow::Field(const char* name, bool* present) const {
  std::optional<std::string> value =
      main_.FieldByName(address_->text().toStdString(), subunit_->text().toStdString(), name);
  if (present != nullptr) *present = value.has_value();
  return value.value_or("");
}

void TmaDetailWindow::ShowData() {
  const char sep = main_.decimalSeparator();
  const GridLookups lookups = main_.TableLookups();
  // A field the table does not have leaves its control as it was.
  auto put = [this](QLineEdit* edit, const char* name) {
    bool present = false;
    std::string value = Field(name, &present);
    if (present) edit->setText(QString::fromStdString(value));
  };
  bool present = false;
  std::string version = Field("AISG Version", &present);
  if (present) version_->setText(QString::fromStdString(version));
  const int aisg = version_->text().toInt();
  bool hasVendor = false;
  vendorCode_ = Field("Vendor", &hasVendor);

  // Status, coloured.
  bool hasStatus = false, hasCause = false;
  std::string statusField = Field("Device Status", &hasStatus);
  std::string cause = Field("Device Status Cause", &hasCause);
  if (hasStatus || hasCause) {
    QString status = QString::fromStdString(StatusTextOf(cause, statusField, lookups.errorText));
    status_->setText(status);
    QPalette palette = status_->palette();
    palette.setColor(QPalette::Text, status == "OK" ? kStatusGood : kStatusBad);
    status_->setPalette(palette);
  }
  put(model_, "RET Model");
  put(serial_, "RET Serial No.");
  put(hardware_, "Hardware Version");
  put(software_, "Software Version");
  if (hasVendor) {
    QString full = QString::fromStdString(main_.tables().VendorFullName(vendorCode_));
    vendor_->setText(full);
    vendor_->setToolTip(full);
  }

  // Antenna data.
  std::string sector = Field("Sector ID", &present);
  if (present) {
    bool oneBased = lookups.sectorControl && lookups.sectorControl(vendorCode_) == 1;
    edits_[kSectorId]->setText(QString::fromStdString(ShownSectorId(sector, oneBased)));
  }
  put(edits_[kSiteId], "Site ID");
  put(edits_[kInstallerId], "Installer ID");
  put(edits_[kInstallDate], "Installation Date");
  put(edits_[kBearing], "Bearing");
  std::string mech = Field("Mech. Tilt", &present);
  if (present) edits_[kMechTilt]->setText(QString::fromStdString(TenthsText(mech, sep)));
  put(edits_[kAntennaSerial], "Antenna Serial No.");
  put(edits_[kAntennaModel], "Antenna Model");
  std::string band = Field("Freq. Band", &present);
  std::string bandText;
  if (present) {
    bandField_ = band;
    chosenField_.clear();
    chosenBand_.clear();
    bandText = DecodeBandField(band, aisg).text;
    edits_[kFreqBand]->setText(QString::fromStdString(bandText));
  } else {
    bandText = edits_[kFreqBand]->text().toStdString();
  }
  // One value per band shown, in the order of the device field.
  const int bands = BandCount(bandText);
  std::string gains = Field("Antenna Gain", &present);
  if (present) {
    edits_[kAntennaGain]->setText(QString::fromStdString(GainDisplayText(gains, bands, aisg, sep)));
  }
  std::string beams = Field("Beam Width", &present);
  if (present) {
    edits_[kBeamWidth]->setText(QString::fromStdString(BeamWidthDisplayText(beams, bands, aisg)));
  }

  // Caption.
  QString caption = QString("AISG V%1.x TMA ( address=%2").arg(version_->text(), address_->text());
  if (aisg != 1) caption += QString(", subunit=%1").arg(subunit_->text());
  caption += " )";
  tmaGroup_->setTitle(caption);

  // Mode: an unread mode selects the blank entry, so that Set Mode cannot
  // send a mode nobody chose.
  mode_->clear();
  mode_->addItems({"Normal", "Bypass", "   "});
  std::optional<long> mode = WholeNumber(Field("Mode"));
  mode_->setCurrentIndex(!mode ? 2 : (*mode != 0 ? 1 : 0));

  // Gain range, step and list.
  range_ = ReadGainRange(Field("Min Gain"), Field("Max Gain"), Field("GainResolution"));
  minGain_->setText(range_.min ? QString::fromStdString(FormatQuarterDb(*range_.min, sep)) : "");
  maxGain_->setText(range_.max ? QString::fromStdString(FormatQuarterDb(*range_.max, sep)) : "");
  std::optional<long> resolution = WholeNumber(Field("GainResolution"));
  if (range_.known() || resolution) {
    resolution_->setText(QString::fromStdString(FormatQuarterDb(range_.step, sep)));
  } else {
    resolution_->clear();
  }
  bool hasGain = false;
  std::optional<long> current = WholeNumber(Field("Current Gain", &hasGain));
  if (hasGain) {
    gain_->clear();
    std::vector<long> list = GainListQuarters(range_, current);
    for (long q : list) gain_->addItem(QString::fromStdString(FormatQuarterDb(q, sep)));
    auto at = current ? std::find(list.begin(), list.end(), *current) : list.end();
    if (at != list.end()) {
      gain_->setCurrentIndex(static_cast<int>(at - list.begin()));
    } else {
      // A gain off the list (or never read) is shown as it is.
      gain_->setCurrentIndex(-1);
      gain_->setEditText(current ? QString::fromStdString(FormatQuarterDb(*current, sep)) : "");
    }
  }

  // Type bits and bands.
  TmaTypeBits type = ReadTmaType(Field("TMA Type"), aisg);
  bypass_->setChecked(type.bypass);
  vswr_->setChecked(type.vswr);
  std::string rx = Field("TMA rxFreqBand", &present);
  if (present) {
    BandEdges e = ReadBandEdges(rx, sep);
    rx_[0]->setText(QString::fromStdString(e.lower));
    rx_[1]->setText(QString::fromStdString(e.upper));
  }
  std::string tx = Field("TMA txFreqBand", &present);
  if (present) {
    BandEdges e = ReadBandEdges(tx, sep);
    tx_[0]->setText(QString::fromStdString(e.lower));
    tx_[1]->setText(QString::fromStdString(e.upper));
  }

  // Maximum lengths of what the device fields hold.
  edits_[kSectorId]->setMaxLength(aisg == 1 ? 4 : 32);
  edits_[kSiteId]->setMaxLength(aisg == 1 ? 12 : 32);
  edits_[kInstallerId]->setMaxLength(5);
  edits_[kInstallDate]->setMaxLength(6);
  edits_[kAntennaModel]->setMaxLength(15);
  edits_[kAntennaSerial]->setMaxLength(17);
  edits_[kBearing]->setMaxLength(5);
  edits_[kMechTilt]->setMaxLength(5);
}

void TmaDetailWindow::ShowModeResult(const std::string& title, int mode) {
  std::string text = ModeText(mode);
  main_.host().ShowMessage(MessageIcon::kInformation, title, "Mode : " + text);
  mode_->setCurrentText(QString::fromStdString(text));
}

void TmaDetailWindow::GetMode() {
  const std::string title = "Get Mode";
  if (main_.glue().exports().getMode == nullptr) return;
  int mode = -1;
  int result = main_.RunOperation(kOpGetMode, &mode, "", "", kUnused, subunit_->text().toInt(),
                                  address_->text().toInt(), title);
  ShowData();
  if (result != 0) {
    main_.ShowOperationResult(title, kOpGetMode, result);
  } else {
    ShowModeResult(title, mode);
  }
}

void TmaDetailWindow::SetMode() {
  const std::string title = "Set Mode";
  std::optional<int> mode = ModeFromText(mode_->currentText().toStdString());
  if (!mode || main_.glue().exports().setMode == nullptr) return;
  int result = main_.RunOperation(kOpSetMode, nullptr, "", "", *mode, subunit_->text().toInt(),
                                  address_->text().toInt(), title);
  ShowData();
  if (result != 0) {
    main_.ShowOperationResult(title, kOpSetMode, result);
  } else {
    ShowModeResult(title, *mode);
  }
}

void TmaDetailWindow::GetGain() {
  const std::string title = "Get Gain";
  if (main_.glue().exports().getGain == nullptr) return;
  int gain = -1;
  int result = main_.RunOperation(kOpGetGain, &gain, "", "", kUnused, subunit_->text().toInt(),
                                  address_->text().toInt(), title);
  ShowData();
  if (result != 0) {
    main_.ShowOperationResult(title, kOpGetGain, result);
  } else {
    main_.host().ShowMessage(MessageIcon::kInformation, title,
                             "Gain : " + FormatQuarterDb(gain, main_.decimalSeparator()));
  }
}

void TmaDetailWindow::SetGain() {
  const QString text = gain_->currentText().trimmed();
  if (text.isEmpty()) return;
  setGain_->SetDevice(address_->text().toInt(), subunit_->text().toInt());
  setGain_->SetRange(range_);
  std::optional<long> current = WholeNumber(Field("Current Gain"));
  setGain_->SetGains(GainListQuarters(range_, current), text);
  if (setGain_->SetGain()) ShowData();
}

void TmaDetailWindow::SelfTest() {
  main_.SelfTest();
  ShowData();
}

void TmaDetailWindow::Reset() {
  main_.ResetSoftware();
  ShowData();
}

void TmaDetailWindow::ClearAlarm() {
  main_.ClearAlarm();
  ShowData();
}

void TmaDetailWindow::DownloadSoftware() {
  const std::string title = "Download Software";
  PanelHost& host = main_.host();
  std::string file = host.ChooseOpenFile(title, kDownloadFilter);
  if (file.empty()) return;
  const QString path = QString::fromStdString(file);
  auto opens = [&path] {
    QFile f(path);
    return f.open(QIODevice::ReadOnly);
  };
  if (!opens()) {
    host.ShowMessage(MessageIcon::kError, title, "File does not exist!");
    return;
  }
  if (!host.Ask(title,
                "Download software may BREAK this device ! \n\nARE YOU SURE YOU WANT TO DOWNLOAD "
                "SOFTWARE TO DEVICE?\n\nSoftware file name :\n\n  " +
                    file)) {
    return;
  }
  if (!opens()) {
    host.ShowMessage(MessageIcon::kError, title, "File does not exist!");
    return;
  }
  qint64 size = QFileInfo(path).size();
  if (size <= 0 || size > 0x7fffffff) size = 150000;
  int result = main_.RunOperation(kOpDownloadTma, nullptr, file, "", static_cast<int>(size),
                                  subunit_->text().toInt(), address_->text().toInt(), title);
  main_.ShowOperationResult(title, kOpDownloadTma, result);
  ShowData();
  reject();
}

void TmaDetailWindow::SaveSelected() {
  const std::string title = "Save Device Data";
  PanelHost& host = main_.host();
  if (checks_[kAntennaModel]->isChecked() &&
      !host.Ask(title, "Are you sure you want to change ANTENNA MODEL?")) {
    UncheckAll();
  }
  AntennaDataInput in;
  in.tma = true;
  in.aisgVersion = version_->text().toInt();
  in.decimalSeparator = main_.decimalSeparator();
  in.sectorControlled = main_.tables().SectorControl(vendorCode_) == 1;
  in.bandText = edits_[kFreqBand]->text().toStdString();
  auto ticked = [this](Item item) -> std::optional<std::string> {
    if (!checks_[item]->isChecked()) return std::nullopt;
    return edits_[item]->text().toStdString();
  };
  in.sectorId = ticked(kSectorId);
  in.siteId = ticked(kSiteId);
  in.installerId = ticked(kInstallerId);
  in.installDate = ticked(kInstallDate);
  in.bearing = ticked(kBearing);
  in.mechanicalTilt = ticked(kMechTilt);
  in.antennaSerial = ticked(kAntennaSerial);
  in.gain = ticked(kAntennaGain);
  in.beamWidth = ticked(kBeamWidth);
  in.model = ticked(kAntennaModel);
  in.band = checks_[kFreqBand]->isChecked();
  if (in.band) {
    // The band chosen in the band dialog, else the one the device holds.
    if (chosenBand_.size() == in.bandBytes.size()) {
      std::copy(chosenBand_.begin(), chosenBand_.end(), in.bandBytes.begin());
    } else if (std::optional<BandWords> words = ParseBandField(bandField_)) {
      in.bandBytes = BandBytesOf(*words);
    }
  }
  const bool anyTicked = std::any_of(std::begin(checks_), std::end(checks_),
                                     [](QCheckBox* b) { return b->isChecked(); });

  AntennaDataBuild build = BuildAntennaData(in);
  if (!build.ok) {
    // The operator's input stays for correcting.
    host.ShowMessage(MessageIcon::kError, title, build.message);
    return;
  }
  if (address_->text().isEmpty()) {
    host.ShowMessage(MessageIcon::kError, "TMA Setting", "Get address failed!");
    return;
  }
  const GlueExports& ex = main_.glue().exports();
  if (ex.setDeviceData != nullptr && !build.record.fields.empty() && anyTicked) {
    ALDGLUE_DEVICE_DATA_REQUEST request{};
    request.kind = static_cast<int>(std::strtol(Field("Device Type").c_str(), nullptr, 16));
    request.address = address_->text().toInt();
    request.subunit = subunit_->text().toInt();
    request.fields = build.record.fields.c_str();
    request.data = build.record.data;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = ex.setDeviceData(request);
    QApplication::restoreOverrideCursor();
    main_.ShowOperationResult(title, 0, result);
    if (result == 0 && build.record.fields.find(kFieldAntennaModel) != std::string::npos) {
      host.ShowMessage(MessageIcon::kInformation, title,
                       "A new Antenna Model has been saved.\nPlease verify that the Frequency "
                       "Band, Beam Width and\nAntenna Gain displayed for the new model is "
                       "correct.");
    }
  }
  main_.FillGrids();
  ShowData();
  UncheckAll();
}

void TmaDetailWindow::SelectBand() {
  const int aisg = version_->text().toInt();
  BandEdit edit;
  edit.aisgVersion = aisg;
  edit.decimalSeparator = main_.decimalSeparator();
  edit.fieldText = chosenField_.empty() ? bandField_ : chosenField_;
  edit.beamWidthText = edits_[kBeamWidth]->text().toStdString();
  edit.gainText = edits_[kAntennaGain]->text().toStdString();
  std::unique_ptr<BandFormBase> form;
  if (aisg == 1) {
    form = std::make_unique<Aisg1xBandForm>(BandFormKind::kTma, this);
  } else {
    form = std::make_unique<Aisg2xBandForm>(BandFormKind::kTma, this);
  }
  form->Load(edit);
  if (main_.host().ExecDialog(*form) != QDialog::Accepted) return;
  const BandEdit& chosen = form->edit();
  chosenField_ = chosen.fieldText;
  chosenBand_.assign(chosen.bandBytes.begin(), chosen.bandBytes.end());
  edits_[kFreqBand]->setText(QString::fromStdString(chosen.bandText));
  // A band chosen is a band to be saved.
  checks_[kFreqBand]->setChecked(true);
}

void TmaDetailWindow::UncheckAll() {
  for (QCheckBox* box : checks_) box->setChecked(false);
}

void TmaDetailWindow::done(int result) {
  UncheckAll();
  QDialog::done(result);
}

}  // namespace aldpanel
