// The set tilt dialog: the tilt range of one RET subunit and the tilt to
// set. The RET detail window fills it and runs its action without showing
// it.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace aldpanel {

class MainWindow;
class PanelHost;

class SetTiltDialog : public QDialog {
  Q_OBJECT
 public:
  SetTiltDialog(MainWindow& main, PanelHost& host, char decimalSeparator,
                QWidget* parent = nullptr);

  // Fills the fields: tilts in degrees as shown ("" when never read).
  void Load(int address, int subunit, const QString& minTilt, const QString& maxTilt,
            const QString& currentTilt);
  // Load, then show the dialog modally.
  void Open(int address, int subunit, const QString& minTilt, const QString& maxTilt,
            const QString& currentTilt);
  // The "Set tilt" action. True when it is done with the dialog (closed it);
  // false when the dialog stays open for the operator to correct the tilt.
  bool SetTilt();

  QLineEdit* currentTilt() const { return current_; }
  QLineEdit* minTilt() const { return min_; }
  QLineEdit* maxTilt() const { return max_; }

 private:
  MainWindow& main_;
  PanelHost& host_;
  char decimalSeparator_;
  QLineEdit* address_;
  QLineEdit* min_;
  QLineEdit* max_;
  QLineEdit* current_;
  QLabel* subunit_;
};

}  // namespace aldpanel
