// The RET detail window: everything the device table holds about one RET
// subunit, the antenna installation data the operator may change and write
// in one go, and the subunit's actions (tilt, calibration, software
// download, self test, reset, alarm clearing). It rereads the table at
// every showing and after every action, so it never shows stale edits.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace aldpanel {

class Aisg1xBandForm;
class Aisg2xBandForm;
class MainWindow;
class PanelHost;
class SetTiltDialog;

class RetDetailWindow : public QDialog {
  Q_OBJECT
 public:
  RetDetailWindow(MainWindow& main, PanelHost& host, char decimalSeparator, SetTiltDialog& setTilt,
                  QWidget* parent = nullptr);

  // Takes the subunit and shows its data (without showing the window).
  void Load(int address, int subunit);
  // Load, then show the window modally.
  void Open(int address, int subunit);
  // Fills the controls from the device table.
  void ShowData();

  void GetTilt();
  void SetTilt();
  void Calibrate();
  void DownloadSoftware();
  void SaveSelected();
  void SelectBand();
  void SelfTest();
  void Reset();
  void ClearAlarm();

  // The controls by object name, for the tests and the screenshot.
  QLineEdit* edit(const char* objectName) const;
  QCheckBox* check(const char* objectName) const;
  QPushButton* button(const char* objectName) const;
  QComboBox* modelList() const { return model_; }
  Aisg1xBandForm* bandForm1() const { return bands1_; }
  Aisg2xBandForm* bandForm2() const { return bands2_; }
  QGroupBox* retGroup() const { return retGroup_; }
  // The band bytes Save Selected writes for Frequency Band, and whether the
  // extended words go too.
  const std::array<uint8_t, 6>& bandBytes() const { return bandBytes_; }

 protected:
  void done(int result) override;

 private:
  struct DataRow {
    QCheckBox* check = nullptr;
    QLineEdit* edit = nullptr;
  };
  std::string Field(const char* name) const;
  bool HasField(const char* name) const;
  void FillModelList(const std::string& vendor, const std::string& currentModel);
  std::string AcfFolder(const std::string& vendor) const;
  void ClearMarks();
  void ShowResult(const std::string& title, int result);

  MainWindow& main_;
  PanelHost& host_;
  char decimalSeparator_;
  SetTiltDialog& setTilt_;

  QLabel* address_;
  QLabel* subunit_;
  QLabel* version_;
  QGroupBox* retGroup_;
  QLineEdit* status_;
  QLineEdit* retModel_;
  QLineEdit* retSerial_;
  QLineEdit* vendor_;
  QLineEdit* hardware_;
  QLineEdit* software_;
  QLineEdit* minTilt_;
  QLineEdit* maxTilt_;
  QLineEdit* currentTilt_;
  DataRow sector_;
  DataRow site_;
  DataRow installer_;
  DataRow date_;
  DataRow bearing_;
  DataRow mechTilt_;
  DataRow antennaSerial_;
  DataRow band_;
  DataRow beamWidth_;
  DataRow gain_;
  QCheckBox* modelCheck_;
  QComboBox* model_;
  std::vector<DataRow> rows_;
  Aisg1xBandForm* bands1_ = nullptr;
  Aisg2xBandForm* bands2_ = nullptr;

  std::string vendorCode_;
  std::string bandField_;
  std::array<uint8_t, 6> bandBytes_{};
  bool writeExtended1_ = false;
  bool writeExtended2_ = false;
};

}  // namespace aldpanel
