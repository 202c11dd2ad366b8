// "Add Antenna Model": copies a configuration file the operator chose into
// the catalogue under an AISG model name, with the model's full name in the
// vendor's table and its version text beside the file.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

namespace aldpanel {

class Catalogue;
class PanelHost;

class AddModelForm : public QDialog {
  Q_OBJECT
 public:
  AddModelForm(const Catalogue& catalogue, PanelHost& host, std::string vendorCode,
               const std::string& vendorName, QWidget* parent = nullptr);

  QLineEdit* configFile() const { return file_; }
  QLineEdit* modelName() const { return model_; }
  QLineEdit* aisgName() const { return aisg_; }
  QLineEdit* version() const { return version_; }
  QLineEdit* vendorName() const { return vendor_; }
  QPushButton* browseButton() const { return browse_; }
  QPushButton* addButton() const { return add_; }

 public slots:
  void Browse();
  // Checks the entries, copies the file, writes the table line and the
  // version; accepts the dialog when the model was added.
  void Add();

 protected:
  void done(int result) override;

 private:
  void Fail(const std::string& text);

  const Catalogue& catalogue_;
  PanelHost& host_;
  std::string vendorCode_;
  QLineEdit* file_;
  QLineEdit* model_;
  QLineEdit* aisg_;
  QLineEdit* version_;
  QLineEdit* vendor_;
  QPushButton* browse_;
  QPushButton* add_;
};

}  // namespace aldpanel
