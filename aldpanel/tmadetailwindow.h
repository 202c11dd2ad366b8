// The TMA detail window: everything the device table holds about one TMA
// subunit, its mode and gain with the actions that read and set them, the
// antenna installation data the device keeps, and the maintenance actions.
// Made in a reduced form it is the "Set Mode / Gain" window of the main
// window's Set Mode/Gain button: only the mode and gain controls.
//
// The window rereads the device table at every showing and after every
// action, so it never shows a value the device does not hold.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "aldpanel/core/tmasettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace aldpanel {

class MainWindow;
class SetGainDialog;

class TmaDetailWindow : public QDialog {
  Q_OBJECT
 public:
  // `reduced`: the mode and gain window.
  TmaDetailWindow(MainWindow& main, bool reduced, QWidget* parent = nullptr);
  ~TmaDetailWindow() override;

  void SetDevice(int address, int subunit);
  // Fills every control from the main window's copy of the device table.
  void ShowData();

  // The actions of the buttons.
  void GetMode();
  void SetMode();
  void GetGain();
  void SetGain();
  void SelfTest();
  void Reset();
  void ClearAlarm();
  void DownloadSoftware();
  void SaveSelected();
  void SelectBand();

  // The Antenna Data items, in the order of the group.
  enum Item {
    kSectorId,
    kSiteId,
    kInstallerId,
    kInstallDate,
    kBearing,
    kMechTilt,
    kAntennaSerial,
    kFreqBand,
    kBeamWidth,
    kAntennaGain,
    kAntennaModel,
    kItemCount
  };

  // For tests and the screenshot.
  QGroupBox* tmaGroup() const { return tmaGroup_; }
  QGroupBox* antennaGroup() const { return antennaGroup_; }
  QLineEdit* status() const { return status_; }
  QLineEdit* rxLower() const { return rx_[0]; }
  QLineEdit* rxUpper() const { return rx_[1]; }
  QLineEdit* txLower() const { return tx_[0]; }
  QLineEdit* txUpper() const { return tx_[1]; }
  QLineEdit* minGain() const { return minGain_; }
  QLineEdit* maxGain() const { return maxGain_; }
  QLineEdit* resolution() const { return resolution_; }
  QCheckBox* bypassBox() const { return bypass_; }
  QCheckBox* vswrBox() const { return vswr_; }
  QComboBox* modeList() const { return mode_; }
  QComboBox* gainList() const { return gain_; }
  QLineEdit* edit(Item item) const { return edits_[item]; }
  QCheckBox* check(Item item) const { return checks_[item]; }
  SetGainDialog* setGainDialog() const { return setGain_; }
  QString addressText() const;
  QString subunitText() const;
  QString aisgVersionText() const;
  // The band field as read, for the band dialogs.
  const std::string& bandField() const { return bandField_; }

 protected:
  void done(int result) override;

 private:
  QLineEdit* ReadOnlyEdit(const char* name, const QString& accessible);
  std::string Field(const char* name, bool* present = nullptr) const;
  void UncheckAll();
  void ShowModeResult(const std::string& title, int mode);

  MainWindow& main_;
  bool reduced_;
  QLabel* address_ = nullptr;
  QLabel* subunit_ = nullptr;
  QLabel* version_ = nullptr;
  QGroupBox* tmaGroup_ = nullptr;
  QGroupBox* antennaGroup_ = nullptr;
  QWidget* info_ = nullptr;
  QWidget* actions_ = nullptr;
  QLineEdit* status_ = nullptr;
  QLineEdit* model_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QLineEdit* vendor_ = nullptr;
  QLineEdit* hardware_ = nullptr;
  QLineEdit* software_ = nullptr;
  QLineEdit* rx_[2] = {nullptr, nullptr};
  QLineEdit* tx_[2] = {nullptr, nullptr};
  QLineEdit* minGain_ = nullptr;
  QLineEdit* maxGain_ = nullptr;
  QLineEdit* resolution_ = nullptr;
  QCheckBox* bypass_ = nullptr;
  QCheckBox* vswr_ = nullptr;
  QComboBox* mode_ = nullptr;
  QComboBox* gain_ = nullptr;
  QLineEdit* edits_[kItemCount] = {};
  QCheckBox* checks_[kItemCount] = {};
  SetGainDialog* setGain_ = nullptr;
  GainRange range_;
  std::string vendorCode_;
  std::string bandField_;
  // The first band word the band dialog chose (nothing chosen yet: the
  // device's own).
  std::vector<unsigned char> chosenBand_;
  std::string chosenField_;
};

}  // namespace aldpanel
