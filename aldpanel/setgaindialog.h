// The set gain dialog: the gain range of one TMA subunit and a list of the
// gains it takes, in which the operator chooses or types a gain. The detail
// windows fill it and run its Set Gain action without showing it.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "aldpanel/core/tmasettings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace aldpanel {

class MainWindow;

class SetGainDialog : public QDialog {
  Q_OBJECT
 public:
  explicit SetGainDialog(MainWindow& main, QWidget* parent = nullptr);

  // The subunit and its range: the texts shown and the quarters checked.
  void SetDevice(int address, int subunit);
  void SetRange(const GainRange& range);
  // The list of gains and the chosen or typed text.
  void SetGains(const std::vector<long>& quarters, const QString& current);

  // The Set Gain button: checks the gain and, when the device can take it,
  // sets it, refills the main window's grids and closes the dialog. False
  // when nothing was sent.
  bool SetGain();

  QLineEdit* minGain() const { return min_; }
  QLineEdit* maxGain() const { return max_; }
  QComboBox* currentGain() const { return current_; }
  QPushButton* setGainButton() const { return set_; }

 private:
  MainWindow& main_;
  GainRange range_;
  QLabel* address_ = nullptr;
  QLabel* subunit_ = nullptr;
  QLineEdit* min_ = nullptr;
  QLineEdit* max_ = nullptr;
  QComboBox* current_ = nullptr;
  QPushButton* set_ = nullptr;
};

}  // namespace aldpanel
