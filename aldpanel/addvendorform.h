// "Add Vendor": makes the folder of a new vendor in the antenna model
// catalogue.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

namespace aldpanel {

class Catalogue;
class PanelHost;

class AddVendorForm : public QDialog {
  Q_OBJECT
 public:
  AddVendorForm(const Catalogue& catalogue, PanelHost& host, QWidget* parent = nullptr);

  QLineEdit* vendorCode() const { return code_; }
  QPushButton* addButton() const { return add_; }
  // The code of the vendor added, "" until one is.
  const std::string& added() const { return added_; }

 public slots:
  void Add();

 private:
  const Catalogue& catalogue_;
  PanelHost& host_;
  std::string added_;
  QLineEdit* code_;
  QPushButton* add_;
};

}  // namespace aldpanel
