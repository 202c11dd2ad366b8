// "Antenna Model Management": the vendors of the antenna model catalogue
// and, for the selected vendor, its antenna models with their AISG model
// names, versions, dates and sizes; adds and deletes vendors and models.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "aldpanel/core/catalogue.h"

class QGroupBox;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace aldpanel {

class PanelHost;

inline constexpr int kModelGridColumns = 5;
inline constexpr int kModelGridMinRows = 10;
inline constexpr int kModelGridRowHeight = 24;
inline constexpr const char* kModelGridCaptions[kModelGridColumns] = {
    "Antenna Model", "AISG Model Name", "Version", "Date", "Size"};
inline constexpr int kModelGridWidths[kModelGridColumns] = {157, 110, 58, 143, 80};

class ConfigureModelForm : public QDialog {
  Q_OBJECT
 public:
  ConfigureModelForm(const std::string& workDir, const std::string& tempDir, PanelHost& host,
                     QWidget* parent = nullptr);

  QListWidget* vendorList() const { return vendors_; }
  QTableWidget* modelGrid() const { return grid_; }
  QPushButton* addVendorButton() const { return addVendor_; }
  QPushButton* deleteVendorButton() const { return deleteVendor_; }
  QPushButton* addModelButton() const { return addModel_; }
  QPushButton* deleteModelButton() const { return deleteModel_; }
  // The code of the selected vendor, "" when none is.
  std::string SelectedVendor() const;
  const std::vector<ModelRow>& models() const { return models_; }

 public slots:
  // Reads the vendor folders again and selects `code` (the first vendor
  // when it is not there).
  void FillVendors(const std::string& code = "");
  void FillModels();
  void AddVendor();
  void DeleteVendor();
  void AddModel();
  void DeleteModel();

 private:
  Catalogue catalogue_;
  PanelHost& host_;
  std::vector<ModelRow> models_;
  QListWidget* vendors_;
  QGroupBox* modelGroup_;
  QTableWidget* grid_;
  QPushButton* addVendor_;
  QPushButton* deleteVendor_;
  QPushButton* addModel_;
  QPushButton* deleteModel_;
};

}  // namespace aldpanel
