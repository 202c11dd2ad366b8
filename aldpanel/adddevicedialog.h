// The dialog that finds and registers one device by its vendor code and
// serial number.
#pragma once

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace aldpanel {

class AddDeviceDialog : public QDialog {
  Q_OBJECT
 public:
  // `add` runs the operation for (vendor code, serial number) and returns
  // true when the device was added (the dialog then closes).
  using AddFunction = std::function<bool(const QString& vendorCode, const QString& serial)>;
  AddDeviceDialog(AddFunction add, QWidget* parent = nullptr);

  QLineEdit* vendorCode() const { return vendor_; }
  QLineEdit* serialNumber() const { return serial_; }
  QPushButton* addButton() const { return add_; }

 protected:
  void done(int result) override;

 private:
  AddFunction run_;
  QLineEdit* vendor_;
  QLineEdit* serial_;
  QPushButton* add_;
};

}  // namespace aldpanel
