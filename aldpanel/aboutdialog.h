// The About window of the program's own brand.
#pragma once

#include <QDialog>

namespace aldpanel {

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace aldpanel
