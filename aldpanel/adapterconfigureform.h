// "System Setting": how deep the bus scan searches and whether it may give
// devices new addresses, kept in the configuration file and used by the
// next scan. (The class and object name are the window's historical ones:
// this is the system window, SystemConfigureForm the adapter's.)
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace aldpanel {

class OperationRunner;
class PanelHost;

// The deepest scan the device library runs: its search resolves at most
// 17 characters of a unique ID and treats any deeper request as 17, so the
// window offers no depth it would not honour.
inline constexpr int kMinScanDepth = 1;
inline constexpr int kMaxScanDepth = 17;
inline constexpr int kDefaultScanDepth = 4;

class AdapterConfigureForm : public QDialog {
  Q_OBJECT
 public:
  AdapterConfigureForm(const std::string& configPath, const std::string& tempDir, PanelHost& host,
                       OperationRunner& runner, QWidget* parent = nullptr);

  QComboBox* scanLength() const { return depth_; }
  QCheckBox* keepAddresses() const { return keep_; }
  QPushButton* setButton() const { return set_; }
  QPushButton* resetButton() const { return reset_; }

 public slots:
  void Set();
  void ResetToDefault();
  // Shows the scan arguments in memory.
  void Refresh();

 private:
  bool Write(const char* key, const std::string& value);

  std::string configPath_;
  std::string tempDir_;
  PanelHost& host_;
  OperationRunner& runner_;
  QComboBox* depth_;
  QCheckBox* keep_;
  QPushButton* set_;
  QPushButton* reset_;
};

}  // namespace aldpanel
