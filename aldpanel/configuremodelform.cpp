#include "aldpanel/configuremodelform.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "aldpanel/addmodelform.h"
#include "aldpanel/addvendorform.h"
#include "aldpanel/panelhost.h"

namespace aldpanel {
namespace {

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAccessibleName(caption);
  return b;
}

}  // namespace

ConfigureModelForm::ConfigureModelForm(const std::string& workDir, const std::string& tempDir,
                                       PanelHost& host, QWidget* parent)
    : QDialog(parent), catalogue_(workDir, tempDir), host_(host) {
  setObjectName("ConfigureModelForm");
  setWindowTitle("Antenna Model Management");
  setAccessibleName("Antenna Model Management");
  setModal(true);

  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  auto* vendorLabel = new QLabel("&Vendor", this);
  vendors_ = new QListWidget(this);
  vendors_->setObjectName("ListBoxVendor");
  vendors_->setAccessibleName("Vendor");
  vendors_->setFixedWidth(170);
  vendorLabel->setBuddy(vendors_);
  addVendor_ = Button(this, "ButtonAddVendor", "Add Vendor");
  deleteVendor_ = Button(this, "ButtonDeleteVendor", "Delete Vendor");
  left->addWidget(vendorLabel);
  left->addWidget(vendors_, 1);
  left->addWidget(addVendor_);
  left->addWidget(deleteVendor_);
  layout->addLayout(left);

  auto* right = new QVBoxLayout;
  modelGroup_ = new QGroupBox("Antenna Model List", this);
  modelGroup_->setObjectName("GroupBoxModelList");
  auto* groupLayout = new QVBoxLayout(modelGroup_);
  grid_ = new QTableWidget(kModelGridMinRows, kModelGridColumns, modelGroup_);
  grid_->setObjectName("StringGridModel");
  grid_->setAccessibleName("Antenna Model List");
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(kModelGridRowHeight);
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  for (int c = 0; c < kModelGridColumns; ++c) {
    grid_->setHorizontalHeaderItem(c, new QTableWidgetItem(kModelGridCaptions[c]));
    grid_->setColumnWidth(c, kModelGridWidths[c]);
  }
  grid_->horizontalHeader()->setHighlightSections(false);
  grid_->setMinimumHeight(kModelGridMinRows * kModelGridRowHeight +
                          grid_->horizontalHeader()->sizeHint().height() + 2 * grid_->frameWidth() +
                          2);
  groupLayout->addWidget(grid_);
  auto* modelButtons = new QHBoxLayout;
  addModel_ = Button(modelGroup_, "ButtonAdd", "Add");
  deleteModel_ = Button(modelGroup_, "ButtonDelete", "Delete");
  modelButtons->addStretch();
  modelButtons->addWidget(addModel_);
  modelButtons->addWidget(deleteModel_);
  groupLayout->addLayout(modelButtons);
  right->addWidget(modelGroup_, 1);
  auto* bottom = new QHBoxLayout;
  auto* close = Button(this, "ButtonClose", "Close");
  bottom->addStretch();
  bottom->addWidget(close);
  right->addLayout(bottom);
  layout->addLayout(right, 1);

  connect(vendors_, &QListWidget::currentRowChanged, this, [this] { FillModels(); });
  connect(addVendor_, &QPushButton::clicked, this, &ConfigureModelForm::AddVendor);
  connect(deleteVendor_, &QPushButton::clicked, this, &ConfigureModelForm::DeleteVendor);
  connect(addModel_, &QPushButton::clicked, this, &ConfigureModelForm::AddModel);
  connect(deleteModel_, &QPushButton::clicked, this, &ConfigureModelForm::DeleteModel);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  FillVendors();
}

std::string ConfigureModelForm::SelectedVendor() const {
  QListWidgetItem* item = vendors_->currentItem();
  return item == nullptr ? std::string() : item->data(Qt::UserRole).toString().toStdString();
}

void ConfigureModelForm::FillVendors(const std::string& code) {
  std::vector<VendorEntry> vendors;
  bool ok = catalogue_.ListVendors(&vendors);
  {
    QSignalBlocker block(vendors_);
    vendors_->clear();
    for (const VendorEntry& v : vendors) {
      auto* item = new QListWidgetItem(QString::fromStdString(v.fullName), vendors_);
      item->setData(Qt::UserRole, QString::fromStdString(v.code));
      if (v.fullName != v.code) item->setToolTip(QString::fromStdString(v.code));
    }
    int row = vendors.empty() ? -1 : 0;
    for (size_t i = 0; i < vendors.size(); ++i) {
      if (vendors[i].code == code) row = static_cast<int>(i);
    }
    vendors_->setCurrentRow(row);
  }
  if (!ok)
    host_.ShowMessage(MessageIcon::kError, "Antenna Model Management", "Unable to open directory");
  FillModels();
}

void ConfigureModelForm::FillModels() {
  std::string vendor = SelectedVendor();
  models_ = vendor.empty() ? std::vector<ModelRow>() : catalogue_.ListModels(vendor);
  grid_->clearContents();
  grid_->setRowCount(std::max<int>(kModelGridMinRows, static_cast<int>(models_.size())));
  for (size_t r = 0; r < models_.size(); ++r) {
    const ModelRow& m = models_[r];
    const std::string* cells[kModelGridColumns] = {&m.fullName, &m.aisgName, &m.version, &m.date,
                                                   &m.size};
    for (int c = 0; c < kModelGridColumns; ++c) {
      auto* item = new QTableWidgetItem(QString::fromStdString(*cells[c]));
      if (c == kModelGridColumns - 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      grid_->setItem(static_cast<int>(r), c, item);
    }
  }
  // The columns keep their usual widths but grow to show a long model name
  // or a date in a wide font whole.
  for (int c = 0; c < kModelGridColumns; ++c) {
    grid_->resizeColumnToContents(c);
    grid_->setColumnWidth(c, std::max(kModelGridWidths[c], grid_->columnWidth(c)));
  }
  // The whole grid in view, ten rows and every column, without scrolling.
  int width = 0;
  for (int c = 0; c < kModelGridColumns; ++c) width += grid_->columnWidth(c);
  grid_->setMinimumWidth(width + 2 * grid_->frameWidth() + 2);
  if (isVisible()) adjustSize();
  addModel_->setEnabled(!vendor.empty());
  deleteVendor_->setEnabled(!vendor.empty());
  deleteModel_->setEnabled(!models_.empty());
}

void ConfigureModelForm::AddVendor() {
  AddVendorForm form(catalogue_, host_, this);
  if (host_.ExecDialog(form) == QDialog::Accepted && !form.added().empty()) {
    FillVendors(form.added());
  }
}

void ConfigureModelForm::DeleteVendor() {
  const std::string title = "Delete Vendor";
  QListWidgetItem* item = vendors_->currentItem();
  if (item == nullptr) return;
  std::string code = SelectedVendor();
  std::string name = item->text().toStdString();
  if (!host_.Ask(title, "Are you sure you want to delete this vendor ( " + name + " )?")) return;
  std::string why;
  switch (catalogue_.DeleteVendor(code, &why)) {
    case DeleteVendorResult::kDeleted:
      host_.ShowMessage(MessageIcon::kInformation, title, "Delete vendor success.");
      FillVendors();
      return;
    case DeleteVendorResult::kNotEmpty:
      host_.ShowMessage(MessageIcon::kError, title,
                        "Delete vendor failed.\nThe vendor still holds antenna models.");
      return;
    case DeleteVendorResult::kBadCode:
    case DeleteVendorResult::kFailed:
      host_.ShowMessage(MessageIcon::kError, title,
                        "Delete vendor failed." + (why.empty() ? "" : "\n" + why));
      FillVendors(code);
      return;
  }
}

void ConfigureModelForm::AddModel() {
  std::string vendor = SelectedVendor();
  if (vendor.empty()) return;
  AddModelForm form(catalogue_, host_, vendor, vendors_->currentItem()->text().toStdString(), this);
  host_.ExecDialog(form);
  // Also after a failure: a copy may have replaced a file before its table
  // line failed.
  FillModels();
}

void ConfigureModelForm::DeleteModel() {
  const std::string title = "Delete Antenna Model";
  int row = grid_->currentRow();
  std::string vendor = SelectedVendor();
  if (vendor.empty() || row < 0 || row >= static_cast<int>(models_.size())) return;
  const ModelRow model = models_[static_cast<size_t>(row)];
  if (!host_.Ask(title, "Are you sure you want to delete this antenna model ( " + model.fullName +
                            " )?")) {
    return;
  }
  if (!catalogue_.DeleteModel(vendor, model.aisgName)) {
    host_.ShowMessage(MessageIcon::kError, title,
                      "Delete antenna model (" + model.fullName + ") failed!");
  }
  FillModels();
}

}  // namespace aldpanel
