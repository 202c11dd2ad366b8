#include "aldpanel/retdetailwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>

#include "aldpanel/bandforms.h"
#include "aldpanel/core/antennadata.h"
#include "aldpanel/core/bands.h"
#include "aldpanel/core/gridrows.h"
#include "aldpanel/mainwindow.h"
#include "aldpanel/settiltdialog.h"

namespace aldpanel {
namespace {

const char* kStatusGood = "color: rgb(72, 128, 0);";
const char* kStatusBad = "color: rgb(255, 0, 0);";
// An edit the operator changed since the last save.
const char* kChanged = "color: blue;";

constexpr int kUnknownFileSize = 150000;
constexpr int kAcfMissingResult = 122;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& caption,
                    bool readOnly = false) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setAccessibleName(caption);
  e->setReadOnly(readOnly);
  return e;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAccessibleName(caption);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

RetDetailWindow::RetDetailWindow(MainWindow& main, PanelHost& host, char decimalSeparator,
                                 SetTiltDialog& setTilt, QWidget* parent)
    : QDialog(parent),
      main_(main),
      host_(host),
      decimalSeparator_(decimalSeparator),
      setTilt_(setTilt) {
  setObjectName("RETDetailSettingForm");
  setWindowTitle("RET Detail Setting");
  setAccessibleName("RET Detail Setting");
  setModal(true);

  address_ = new QLabel(this);
  address_->setObjectName("LabelAddress");
  subunit_ = new QLabel(this);
  subunit_->setObjectName("LabelSubunit");
  version_ = new QLabel(this);
  version_->setObjectName("LabelAisgVersion");
  for (QLabel* l : {address_, subunit_, version_}) l->hide();

  // --- AISG RET ---
  retGroup_ = new QGroupBox("AISG RET", this);
  retGroup_->setObjectName("GroupBoxRET");
  auto* ret = new QGridLayout(retGroup_);
  int row = 0;
  auto addRow = [&](const QString& caption, QWidget* field) {
    auto* label = new QLabel(caption, retGroup_);
    label->setBuddy(field);
    ret->addWidget(label, row, 0);
    ret->addWidget(field, row, 1);
    ++row;
  };
  status_ = MakeEdit(retGroup_, "EditStatus", "Status", true);
  retModel_ = MakeEdit(retGroup_, "EditRetModel", "RET Model Name");
  retSerial_ = MakeEdit(retGroup_, "EditRetSerial", "RET Serial No.");
  vendor_ = MakeEdit(retGroup_, "EditVendor", "Vendor", true);
  hardware_ = MakeEdit(retGroup_, "EditHardwareVersion", "RET Hardware Version");
  software_ = MakeEdit(retGroup_, "EditSoftwareVersion", "RET Software Version");
  // What the device reports about itself is not the operator's to change.
  for (QLineEdit* e : {retModel_, retSerial_, hardware_, software_}) e->setReadOnly(true);
  minTilt_ = MakeEdit(retGroup_, "EditMinTilt", "Min Tilt", true);
  maxTilt_ = MakeEdit(retGroup_, "EditMaxTilt", "Max Tilt", true);
  currentTilt_ = MakeEdit(retGroup_, "EditCurrentTilt", "Current Tilt");
  currentTilt_->setMaxLength(5);
  addRow("Status", status_);
  addRow("RET Model Name", retModel_);
  addRow("RET Serial No.", retSerial_);
  addRow("Vendor", vendor_);
  addRow("RET Hardware Version", hardware_);
  addRow("RET Software Version", software_);
  auto* range = new QWidget(retGroup_);
  auto* rangeLayout = new QHBoxLayout(range);
  rangeLayout->setContentsMargins(0, 0, 0, 0);
  rangeLayout->addWidget(minTilt_);
  rangeLayout->addWidget(new QLabel(" - ", range));
  rangeLayout->addWidget(maxTilt_);
  addRow("Min Tilt - Max Tilt", range);
  auto* tilt = new QWidget(retGroup_);
  auto* tiltLayout = new QHBoxLayout(tilt);
  tiltLayout->setContentsMargins(0, 0, 0, 0);
  tiltLayout->addWidget(currentTilt_);
  QPushButton* getTilt = MakeButton(tilt, "ButtonGetTilt", "Get tilt");
  QPushButton* setTiltButton = MakeButton(tilt, "ButtonSetTilt", "Set tilt");
  tiltLayout->addWidget(getTilt);
  tiltLayout->addWidget(setTiltButton);
  addRow("Current Tilt", tilt);
  ret->setRowStretch(row, 1);
  connect(getTilt, &QPushButton::clicked, this, &RetDetailWindow::GetTilt);
  connect(setTiltButton, &QPushButton::clicked, this, &RetDetailWindow::SetTilt);

  // --- Antenna Data ---
  auto* dataGroup = new QGroupBox("Antenna Data", this);
  dataGroup->setObjectName("GroupBoxAntennaData");
  auto* data = new QGridLayout(dataGroup);
  row = 0;
  auto dataRow = [&](const char* checkName, const char* editName, const QString& caption,
                     QWidget* extra = nullptr) {
    DataRow r;
    r.check = new QCheckBox(caption, dataGroup);
    r.check->setObjectName(checkName);
    r.check->setAccessibleName(caption);
    r.edit = MakeEdit(dataGroup, editName, caption);
    data->addWidget(r.check, row, 0);
    if (extra != nullptr) {
      auto* box = new QHBoxLayout;
      box->addWidget(r.edit, 1);
      box->addWidget(extra);
      data->addLayout(box, row, 1);
    } else {
      data->addWidget(r.edit, row, 1);
    }
    ++row;
    // Changing a value selects it for saving; the colour shows what changed.
    QCheckBox* check = r.check;
    QLineEdit* edit = r.edit;
    connect(edit, &QLineEdit::textEdited, this, [check, edit] {
      check->setChecked(true);
      edit->setStyleSheet(kChanged);
    });
    rows_.push_back(r);
    return r;
  };
  sector_ = dataRow("CheckSectorId", "EditSectorId", "Sector ID");
  site_ = dataRow("CheckSiteId", "EditSiteId", "Site ID");
  installer_ = dataRow("CheckInstallerId", "EditInstallerId", "Installer ID");
  date_ = dataRow("CheckInstallDate", "EditInstallDate", "Installation Date (mmddyy)");
  bearing_ = dataRow("CheckBearing", "EditBearing", "Bearing");
  mechTilt_ = dataRow("CheckMechTilt", "EditMechTilt", "Mechanical Tilt");
  antennaSerial_ = dataRow("CheckAntennaSerial", "EditAntennaSerial", "Antenna Serial No.");
  QPushButton* sel = MakeButton(dataGroup, "ButtonSelBand", "Sel");
  sel->setMaximumWidth(40);
  band_ = dataRow("CheckBand", "EditBand", "Frequency Band", sel);
  band_.edit->setReadOnly(true);
  beamWidth_ = dataRow("CheckBeamWidth", "EditBeamWidth", "Beam Width (split by /)");
  gain_ = dataRow("CheckGain", "EditGain", "Antenna Gain (split by /)");
  installer_.edit->setMaxLength(5);
  date_.edit->setMaxLength(6);
  bearing_.edit->setMaxLength(5);
  mechTilt_.edit->setMaxLength(5);
  antennaSerial_.edit->setMaxLength(17);
  connect(sel, &QPushButton::clicked, this, &RetDetailWindow::SelectBand);
  bands1_ = new Aisg1xBandForm(BandFormKind::kRet, this);
  bands2_ = new Aisg2xBandForm(BandFormKind::kRet, this);

  modelCheck_ = new QCheckBox("Antenna Model", dataGroup);
  modelCheck_->setObjectName("CheckAntennaModel");
  modelCheck_->setAccessibleName("Antenna Model");
  model_ = new QComboBox(dataGroup);
  model_->setObjectName("ComboAntennaModel");
  model_->setAccessibleName("Antenna Model");
  model_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  data->addWidget(modelCheck_, row, 0);
  data->addWidget(model_, row, 1);
  ++row;
  connect(model_, QOverload<int>::of(&QComboBox::activated), this,
          [this] { modelCheck_->setChecked(true); });
  QPushButton* save = MakeButton(dataGroup, "ButtonSaveSelected", "Save Selected");
  auto* saveRow = new QHBoxLayout;
  saveRow->addStretch();
  saveRow->addWidget(save);
  data->addLayout(saveRow, row, 0, 1, 2);
  data->setColumnStretch(1, 1);
  connect(save, &QPushButton::clicked, this, &RetDetailWindow::SaveSelected);

  // --- Buttons ---
  auto* buttons = new QHBoxLayout;
  auto action = [&](const char* name, const QString& caption, void (RetDetailWindow::*slot)()) {
    QPushButton* b = MakeButton(this, name, caption);
    buttons->addWidget(b);
    connect(b, &QPushButton::clicked, this, slot);
  };
  action("ButtonReset", "Reset", &RetDetailWindow::Reset);
  action("ButtonSelfTest", "Self Test", &RetDetailWindow::SelfTest);
  action("ButtonDownload", "Download Software", &RetDetailWindow::DownloadSoftware);
  action("ButtonClearAlarm", "Clear Alarm", &RetDetailWindow::ClearAlarm);
  action("ButtonCalibrate", "Calibrate", &RetDetailWindow::Calibrate);
  buttons->addStretch();
  QPushButton* close = MakeButton(this, "ButtonClose", "Close");
  buttons->addWidget(close);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  auto* groups = new QHBoxLayout;
  groups->addWidget(retGroup_, 1);
  groups->addWidget(dataGroup, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(groups);
  layout->addLayout(buttons);
}

QLineEdit* RetDetailWindow::edit(const char* objectName) const {
  return findChild<QLineEdit*>(objectName);
}
QCheckBox* RetDetailWindow::check(const char* objectName) const {
  return findChild<QCheckBox*>(objectName);
}
QPushButton* RetDetailWindow::button(const char* objectName) const {
  return findChild<QPushButton*>(objectName);
}

void RetDetailWindow::Load(int address, int subunit) {
  address_->setText(QString::number(address));
  subunit_->setText(QString::number(subunit));
  // Nothing is selected for saving at a new showing.
  ClearMarks();
  ShowData();
  currentTilt_->setFocus();
}

void RetDetailWindow::Open(int address, int subunit) {
  Load(address, subunit);
  host_.ExecDialog(*this);
}

std::string RetDetailWindow::Field(const char* name) const {
  return main_.FieldByName(address_->text().toStdString(), subunit_->text().toStdString(), name)
      .value_or("");
}

bool RetDetailWindow::HasField(const char* name) const {
  return main_.FieldByName(address_->text().toStdString(), subunit_->text().toStdString(), name)
      .has_value();
}

void RetDetailWindow::ShowData() {
  const Tables& tables = main_.tables();
  // A field the table lacks leaves its control as it was.
  auto put = [this](QLineEdit* edit, const char* name, auto convert) {
    if (HasField(name)) edit->setText(Q(convert(Field(name))));
  };
  auto same = [](const std::string& text) { return text; };
  auto tenths = [this](const std::string& text) { return TenthsText(text, decimalSeparator_); };

  if (HasField("AISG Version")) version_->setText(Q(Field("AISG Version")));
  const int version = version_->text().toInt();
  if (HasField("Vendor")) vendorCode_ = Field("Vendor");
  const bool sectorControlled = tables.SectorControl(vendorCode_) == 1;

  put(sector_.edit, "Sector ID",
      [&](const std::string& s) { return SectorForDisplay(s, sectorControlled); });
  put(site_.edit, "Site ID", same);
  put(installer_.edit, "Installer ID", same);
  put(date_.edit, "Installation Date", same);
  put(bearing_.edit, "Bearing", same);
  put(mechTilt_.edit, "Mech. Tilt", tenths);
  put(antennaSerial_.edit, "Antenna Serial No.", same);
  put(retModel_, "RET Model", same);
  put(retSerial_, "RET Serial No.", same);
  put(hardware_, "Hardware Version", same);
  put(software_, "Software Version", same);
  put(minTilt_, "Min Tilt", tenths);
  put(maxTilt_, "Max Tilt", tenths);
  put(currentTilt_, "Current Tilt", tenths);

  if (HasField("Freq. Band")) {
    bandField_ = Field("Freq. Band");
    band_.edit->setText(Q(DecodeBandField(bandField_, version).text));
    // Until the operator chooses other bands, Frequency Band writes these.
    bandBytes_ = {};
    writeExtended1_ = writeExtended2_ = false;
    if (auto words = ParseBandField(bandField_)) {
      for (size_t w = 0; w < words->size(); ++w) {
        bandBytes_[2 * w] = static_cast<uint8_t>((*words)[w] & 0xFF);
        bandBytes_[2 * w + 1] = static_cast<uint8_t>((*words)[w] >> 8);
      }
    }
  }
  const int bands = BandCount(band_.edit->text().toStdString());
  if (HasField("Antenna Gain")) {
    gain_.edit->setText(
        Q(GainDisplayText(Field("Antenna Gain"), bands, version, decimalSeparator_)));
  }
  if (HasField("Beam Width")) {
    beamWidth_.edit->setText(Q(BeamWidthDisplayText(Field("Beam Width"), bands, version)));
  }

  const std::string vendorName = tables.VendorFullName(vendorCode_);
  vendor_->setText(Q(vendorName));
  vendor_->setToolTip(Q(vendorName));
  FillModelList(vendorCode_, Field("Antenna Model"));

  const std::string status = StatusTextOf(Field("Device Status Cause"), Field("Device Status"),
                                          [&tables](int code) { return tables.ErrorText(code); });
  status_->setText(Q(status));
  status_->setStyleSheet(status == "OK" ? kStatusGood : kStatusBad);

  QString caption = QString("AISG V%1.x RET ( address=%2").arg(version_->text(), address_->text());
  if (Field("Device Type") != "01") caption += QString(", subunit=%1").arg(subunit_->text());
  caption += " )";
  retGroup_->setTitle(caption);

  sector_.edit->setMaxLength(version == 1 ? 4 : 32);
  site_.edit->setMaxLength(version == 1 ? 12 : 32);
}

std::string RetDetailWindow::AcfFolder(const std::string& vendor) const {
  // A vendor code that could leave the catalogue has no folder there.
  if (vendor.empty() || vendor.find('/') != std::string::npos ||
      vendor.find('\\') != std::string::npos || vendor.find("..") != std::string::npos) {
    return "";
  }
  return main_.tables().workDir() + "/acf/RET/" + vendor;
}

void RetDetailWindow::FillModelList(const std::string& vendor, const std::string& currentModel) {
  std::vector<std::pair<std::string, std::string>> models;  // full name, code
  const std::string folder = AcfFolder(vendor);
  QDir dir(Q(folder));
  if (!folder.empty() && dir.exists() && dir.isReadable()) {
    const QStringList files =
        dir.entryList(QStringList() << "*.acf", QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& file : files) {
      const std::string code = file.left(file.size() - 4).toStdString();
      if (code.empty()) continue;
      models.emplace_back(main_.tables().ModelFullName(code, vendor), code);
    }
  }
  const bool listed = std::any_of(models.begin(), models.end(),
                                  [&](const auto& m) { return m.second == currentModel; });
  if (!currentModel.empty() && !listed) {
    models.emplace_back(main_.tables().ModelFullName(currentModel, vendor), currentModel);
  }
  std::sort(models.begin(), models.end());
  model_->clear();
  for (const auto& [name, code] : models) model_->addItem(Q(name), Q(code));
  model_->setCurrentIndex(model_->findData(Q(currentModel)));
}

void RetDetailWindow::ShowResult(const std::string& title, int result) {
  ShowResultMessage(host_, title, 0, result, main_.tables().ErrorText(result),
                    main_.runner().lastFaultText());
}

void RetDetailWindow::GetTilt() {
  const std::string title = "Get Tilt";
  if (main_.glue().exports().getTilt == nullptr) return;
  int tilt = -1;
  const int result = main_.runner().Run(kOpGetTilt, &tilt, "", "", kUnused,
                                        subunit_->text().toInt(), address_->text().toInt(), title);
  if (result != 0) {
    ShowResult(title, result);
  } else {
    host_.ShowMessage(MessageIcon::kInformation, title,
                      "Tilt : " + FormatTenths(tilt, decimalSeparator_));
  }
  main_.FillGrids();
  ShowData();
}

void RetDetailWindow::SetTilt() {
  setTilt_.Load(address_->text().toInt(), subunit_->text().toInt(), minTilt_->text(),
                maxTilt_->text(), currentTilt_->text());
  // A refused tilt stays in the edit for the operator to correct.
  if (setTilt_.SetTilt()) ShowData();
}

void RetDetailWindow::Calibrate() {
  const std::string title = "Calibrate";
  if (!host_.Ask(title,
                 "Site coverage will change while the calibrate command is executing.\n"
                 "Are you sure you want to proceed?")) {
    return;
  }
  const int result = main_.RunAndFill(kOpCalibrate, "", "", kUnused, subunit_->text().toInt(),
                                      address_->text().toInt(), title);
  ShowResult(title, result);
  ShowData();
}

void RetDetailWindow::DownloadSoftware() {
  const std::string title = "Download Software";
  const std::string file =
      host_.ChooseOpenFile(title, "Binary files (*.bin *.hex)|*.bin;*.hex|All files (*.*)|*.*");
  if (file.empty()) return;
  if (!QFile(Q(file)).open(QIODevice::ReadOnly)) {
    host_.ShowMessage(MessageIcon::kError, title, "File does not exist!");
    return;
  }
  if (!host_.Ask(title,
                 "Download software may BREAK this device ! \n\nARE YOU SURE YOU WANT TO "
                 "DOWNLOAD SOFTWARE TO DEVICE?\n\nSoftware file name :\n\n  " +
                     file)) {
    return;
  }
  QFile again(Q(file));
  if (!again.open(QIODevice::ReadOnly)) {
    host_.ShowMessage(MessageIcon::kError, title, "File does not exist!");
    return;
  }
  const qint64 bytes = again.size();
  const int size = bytes >= 0 && bytes <= INT_MAX ? static_cast<int>(bytes) : kUnknownFileSize;
  again.close();
  const int result = main_.RunAndFill(kOpDownload, file, "", size, subunit_->text().toInt(),
                                      address_->text().toInt(), title);
  ShowResult(title, result);
  ShowData();
  if (vendorCode_ == "AN") {
    host_.ShowMessage(MessageIcon::kInformation, title,
                      "For old version software, you need to reset device's power to activate "
                      "new software.\nYou can disconnect and connect back AISG cable to reset "
                      "power.");
  }
  reject();
}

void RetDetailWindow::SelectBand() {
  writeExtended1_ = writeExtended2_ = false;
  const int version = version_->text() == "1" ? 1 : 2;
  BandEdit edit;
  edit.aisgVersion = version;
  edit.decimalSeparator = decimalSeparator_;
  edit.fieldText = bandField_;
  edit.beamWidthText = beamWidth_.edit->text().toStdString();
  edit.gainText = gain_.edit->text().toStdString();
  BandFormBase& form = version == 1 ? static_cast<BandFormBase&>(*bands1_) : *bands2_;
  form.Load(edit);
  if (host_.ExecDialog(form) != QDialog::Accepted) return;
  const BandEdit& chosen = form.edit();
  const bool changed = chosen.fieldText != bandField_;
  bandField_ = chosen.fieldText;
  bandBytes_ = chosen.bandBytes;
  writeExtended1_ = chosen.writeExtended1;
  writeExtended2_ = chosen.writeExtended2;
  band_.edit->setText(Q(chosen.bandText));
  beamWidth_.edit->setText(Q(chosen.beamWidthText));
  gain_.edit->setText(Q(chosen.gainText));
  if (!changed) return;
  // The device keeps one gain and beam width per band in band order: new
  // bands move the values to other places, so they are written together.
  for (const DataRow* r : {&band_, &beamWidth_, &gain_}) {
    r->check->setChecked(true);
    r->edit->setStyleSheet(kChanged);
  }
}

void RetDetailWindow::SelfTest() {
  main_.SelfTest();
  ShowData();
}

void RetDetailWindow::Reset() {
  main_.ResetSoftware();
  ShowData();
}

void RetDetailWindow::ClearAlarm() {
  main_.ClearAlarm();
  ShowData();
}

void RetDetailWindow::SaveSelected() {
  const std::string title = "Save Device Data";
  if (modelCheck_->isChecked() &&
      !host_.Ask(title, "Are you sure you want to change ANTENNA MODEL?")) {
    ClearMarks();
  }

  AntennaDataInput in;
  in.aisgVersion = version_->text().toInt();
  in.decimalSeparator = decimalSeparator_;
  in.sectorControlled = main_.tables().SectorControl(vendorCode_) == 1;
  in.bandText = band_.edit->text().toStdString();
  auto ticked = [](const DataRow& r) -> std::optional<std::string> {
    if (!r.check->isChecked()) return std::nullopt;
    return r.edit->text().toStdString();
  };
  in.sectorId = ticked(sector_);
  in.siteId = ticked(site_);
  in.installerId = ticked(installer_);
  in.installDate = ticked(date_);
  in.bearing = ticked(bearing_);
  in.mechanicalTilt = ticked(mechTilt_);
  in.antennaSerial = ticked(antennaSerial_);
  in.gain = ticked(gain_);
  in.beamWidth = ticked(beamWidth_);
  in.band = band_.check->isChecked();
  in.bandBytes = bandBytes_;
  in.writeExtended1 = writeExtended1_;
  in.writeExtended2 = writeExtended2_;
  const bool modelTicked = modelCheck_->isChecked();
  if (modelTicked) in.model = model_->currentData().toString().toStdString();
  const bool anyTicked =
      modelTicked || std::any_of(rows_.begin(), rows_.end(),
                                 [](const DataRow& r) { return r.check->isChecked(); });

  AntennaDataBuild build = BuildAntennaData(in);
  if (!build.ok) {
    // The operator's input stays for correcting.
    host_.ShowMessage(MessageIcon::kError, title, build.message);
    return;
  }
  if (address_->text().isEmpty()) {
    host_.ShowMessage(MessageIcon::kError, "RET Setting", "Get address failed!");
    return;
  }
  const int address = address_->text().toInt();
  const int subunit =
      Field("Subunit").empty() ? subunit_->text().toInt() : std::atoi(Field("Subunit").c_str());
  const GlueExports& ex = main_.glue().exports();

  if (modelTicked && ex.configRET != nullptr) {
    const std::string folder = AcfFolder(vendorCode_);
    std::string path = folder.empty() ? "" : folder + "/" + *in.model + ".acf";
    int result = 0;
    if (path.empty() || !QFile(Q(path)).open(QIODevice::ReadOnly)) {
      result = kAcfMissingResult;
    } else {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      result = ex.configRET(address, subunit, path.data());
      QApplication::restoreOverrideCursor();
    }
    if (result != 0) {
      ShowResult(title, result);
      DropField(build.record, kFieldAntennaModel);
    }
  }

  if (ex.setDeviceData != nullptr && !build.record.fields.empty() && anyTicked) {
    ALDGLUE_DEVICE_DATA_REQUEST request{};
    request.kind = static_cast<int>(std::strtol(Field("Device Type").c_str(), nullptr, 16));
    request.address = address;
    request.subunit = subunit;
    request.fields = build.record.fields.c_str();
    request.data = build.record.data;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = ex.setDeviceData(request);
    QApplication::restoreOverrideCursor();
    ShowResult(title, result);
    if (result == 0 && build.record.fields.find(kFieldAntennaModel) != std::string::npos) {
      host_.ShowMessage(MessageIcon::kInformation, title,
                        "A new Antenna Model has been saved.\nPlease verify that the Frequency "
                        "Band, Beam Width and\nAntenna Gain displayed for the new model is "
                        "correct.");
    }
  }
  main_.FillGrids();
  ShowData();
  ClearMarks();
}

void RetDetailWindow::ClearMarks() {
  for (const DataRow& r : rows_) {
    r.check->setChecked(false);
    r.edit->setStyleSheet("");
  }
  modelCheck_->setChecked(false);
}

void RetDetailWindow::done(int result) {
  ClearMarks();
  QDialog::done(result);
}

}  // namespace aldpanel
