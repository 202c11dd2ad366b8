// The window that sums up a scan: how many RET and TMA devices and units
// were found.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;

namespace aldpanel {

class ScanResultDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ScanResultDialog(QWidget* parent = nullptr);
  // Caption and lines (see ScanSummaryLines).
  void SetResult(const QString& title, const std::vector<std::string>& lines);
  QString text() const;

 private:
  QLabel* text_;
};

}  // namespace aldpanel
