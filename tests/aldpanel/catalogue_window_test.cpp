// The antenna model catalogue and the two settings windows, opened from the
// main window's Tools menu and driven through the test host, against the
// real interface library on the simulated demo site (virtual clock).
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <map>
#include <memory>

#include "aldpanel/adapterconfigureform.h"
#include "aldpanel/addmodelform.h"
#include "aldpanel/addvendorform.h"
#include "aldpanel/configuremodelform.h"
#include "aldpanel/systemconfigureform.h"
#include "tests/aldpanel/fixture.h"

using namespace aldpanel;
using namespace aldpanel::test;

namespace {

GlueExports g_real;

int RecScanMain(int depth, int assign) {
  Log("scanMain " + std::to_string(depth) + " " + std::to_string(assign));
  return g_real.scanMain(depth, assign);
}

// The adapter as the tests want it: what its reads give and what its
// settings answer; every call logged.
int g_powerRead = 0;
int g_pinRead = 0;
int g_powerAnswer = 0;
int g_pinAnswer = 0;
int FakeGetPower() {
  Log("getPowerValue");
  return g_powerRead;
}
int FakeGetPin() {
  Log("getPinValue");
  return g_pinRead;
}
int FakeSetPower(int v) {
  Log("setPowerValue " + std::to_string(v));
  return g_powerAnswer;
}
int FakeSetPin(int v) {
  Log("setPinValue " + std::to_string(v));
  return g_pinAnswer;
}

// Every file under `dir` with its contents: a refusal must leave it equal.
std::map<QString, QString> Snapshot(const QString& dir) {
  std::map<QString, QString> files;
  QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    QString path = it.next();
    files[path] = QFileInfo(path).isDir() ? "<dir>" : ReadFile(path);
  }
  return files;
}

template <typename T>
T* Find(QWidget& parent, const char* name) {
  return parent.findChild<T*>(name);
}

}  // namespace

class CatalogueWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  GlueLibrary& glue_ = SharedGlue();
  GlueExports realExports_;
  TestHost host_;
  std::unique_ptr<MainWindow> window_;
  QString source_;  // a model file outside the catalogue

  QString Path(const QString& relative) const { return dir_->filePath(relative); }

  void Trigger(const char* action) {
    QAction* a = window_->findChild<QAction*>(action);
    QVERIFY2(a != nullptr, action);
    QVERIFY(a->isEnabled());
    a->trigger();
  }

  // Opens Antenna Model Management and runs `body` on it while it is up.
  void WithCatalogue(const std::function<void(ConfigureModelForm&)>& body,
                     const std::function<int(QDialog&)>& nested = nullptr) {
    host_.onDialog = [&](QDialog& d) {
      if (auto* form = qobject_cast<ConfigureModelForm*>(&d)) {
        body(*form);
        return int(QDialog::Accepted);
      }
      return nested ? nested(d) : int(QDialog::Rejected);
    };
    Trigger("MenuAntennaModel");
    host_.onDialog = nullptr;
  }

  // Adds a model through the Add Antenna Model dialog: browses `file`, then
  // sets the edits that are not null, and clicks Add.
  void AddModel(ConfigureModelForm& form, const QString& file, const char* aisg,
                const char* fullName = nullptr, const char* version = nullptr) {
    host_.files = {file.toStdString()};
    host_.onDialog = [&](QDialog& d) {
      auto* add = qobject_cast<AddModelForm*>(&d);
      if (add == nullptr) return int(QDialog::Rejected);
      add->browseButton()->click();
      if (aisg != nullptr) add->aisgName()->setText(aisg);
      if (fullName != nullptr) add->modelName()->setText(fullName);
      if (version != nullptr) add->version()->setText(version);
      add->addButton()->click();
      return add->result();
    };
    form.addModelButton()->click();
  }

  void SelectVendor(ConfigureModelForm& form, const QString& code) {
    for (int i = 0; i < form.vendorList()->count(); ++i) {
      if (form.vendorList()->item(i)->data(Qt::UserRole).toString() == code) {
        form.vendorList()->setCurrentRow(i);
      }
    }
    QCOMPARE(QString::fromStdString(form.SelectedVendor()), code);
  }

 private slots:
  void initTestCase() {
    QVERIFY2(std::getenv("ALDLINK_SIM") != nullptr, "the tests need ALDLINK_SIM");
    std::vector<std::string> messages = LoadSharedGlue();
    QVERIFY2(messages.empty(), messages.empty() ? "" : messages.front().c_str());
    realExports_ = glue_.exports();
  }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    WriteStandardData(dir_->path());
    QDir work(dir_->path());
    work.mkpath("acf/RET/KA");
    work.mkpath("acf/RET/EM");
    work.mkpath("data/model_name_pool");
    WriteFile(Path("data/model_name_pool/KA_model_full_name.tbl"), "KA-1=Kay Panel One\n");
    WriteFile(Path("acf/RET/KA/KA-1.acf"), "one");
    WriteFile(Path("acf/RET/KA/KA-1.ver"), "1.0\n");
    WriteFile(Path("acf/RET/EM/EA-1865-16.acf"), "em");
    source_ = Path("outside/Kay Panel Two.acf");
    work.mkpath("outside");
    QVERIFY(WriteFile(source_, QByteArray("\x00\x01\r\n\x1a\xff", 6)));
    ClearLog();
    host_.Reset();
    glue_.mutableExports() = realExports_;
    GlueExports& ex = glue_.mutableExports();
    g_real = ex;
    ex.scanMain = RecScanMain;
    window_ = std::make_unique<MainWindow>(MakeContext(dir_->path(), host_));
  }

  void cleanup() { window_.reset(); }

  void catalogueListsVendorsAndModelsInItsGrid() {
    WithCatalogue([&](ConfigureModelForm& form) {
      QCOMPARE(form.windowTitle(), QString("Antenna Model Management"));
      QStringList names;
      for (int i = 0; i < form.vendorList()->count(); ++i)
        names << form.vendorList()->item(i)->text();
      // A vendor without a full name is listed under its code.
      QCOMPARE(names, QStringList({"EM", "Kay Antennas Ltd"}));
      QTableWidget* grid = form.modelGrid();
      QCOMPARE(grid->columnCount(), 5);
      QCOMPARE(grid->horizontalHeaderItem(1)->text(), QString("AISG Model Name"));
      // The usual widths at least; wider where a caption or cell needs it.
      for (int c = 0; c < kModelGridColumns; ++c)
        QVERIFY(grid->columnWidth(c) >= kModelGridWidths[c]);
      QCOMPARE(grid->rowHeight(0), 24);
      QCOMPARE(grid->rowCount(), 10);
      QCOMPARE(Column(grid, 0, 1), QStringList({"EA 1865 16 dBi"}));
      SelectVendor(form, "KA");
      QCOMPARE(Column(grid, 1, 1), QStringList({"KA-1"}));
      QCOMPARE(grid->item(0, 0)->text(), QString("Kay Panel One"));
      QCOMPARE(grid->item(0, 2)->text(), QString("1.0"));
      QCOMPARE(grid->item(0, 4)->text(), QString("3 Bytes"));
      QVERIFY(!grid->item(0, 3)->text().isEmpty());
    });
    QVERIFY(Logged("dialog ConfigureModelForm"));
  }

  void vendorsAreAddedOnceAndOnlyEmptyOnesDeleted() {
    std::deque<QString> codes;
    auto addVendor = [&](QDialog& d) {
      auto* add = qobject_cast<AddVendorForm*>(&d);
      if (add == nullptr) return int(QDialog::Rejected);
      add->vendorCode()->setText(codes.front());
      codes.pop_front();
      add->addButton()->click();
      return add->result();
    };
    WithCatalogue(
        [&](ConfigureModelForm& form) {
          codes = {"cs", "CS", "..", "/"};
          form.addVendorButton()->click();
          QVERIFY2(Logged("message information [Add Vendor] Add vendor success."), Dump().c_str());
          QVERIFY(QFileInfo(Path("acf/RET/CS")).isDir());
          QCOMPARE(QString::fromStdString(form.SelectedVendor()), QString("CS"));
          for (int i = 0; i < 3; ++i) form.addVendorButton()->click();
          QVERIFY(Logged("message error [Add Vendor] This vendor already exists!"));
          QCOMPARE(CountOf("message error [Add Vendor]"), 3);
          QCOMPARE(QDir(Path("acf")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                   QStringList({"RET"}));
          QCOMPARE(form.vendorList()->count(), 3);

          // A vendor that still holds a model keeps its folder and model.
          SelectVendor(form, "KA");
          ClearLog();
          form.deleteVendorButton()->click();
          QVERIFY(Logged(
              "ask [Delete Vendor] Are you sure you want to delete this vendor ( Kay Antennas Ltd "
              ")?"));
          QVERIFY2(Logged("message error [Delete Vendor] Delete vendor failed.\nThe vendor still "
                          "holds antenna models."),
                   Dump().c_str());
          QCOMPARE(ReadFile(Path("acf/RET/KA/KA-1.acf")), QString("one"));

          SelectVendor(form, "CS");
          host_.answers = {false};
          form.deleteVendorButton()->click();
          QVERIFY(QFileInfo(Path("acf/RET/CS")).isDir());
          form.deleteVendorButton()->click();
          QVERIFY(Logged("message information [Delete Vendor] Delete vendor success."));
          QVERIFY(!QFileInfo::exists(Path("acf/RET/CS")));
          QCOMPARE(form.vendorList()->count(), 2);
        },
        addVendor);
  }

  void modelAddUpdateAndDeleteRoundTrip() {
    WithCatalogue([&](ConfigureModelForm& form) {
      SelectVendor(form, "KA");
      AddModel(form, source_, "KA-2", nullptr, "2.1");
      QVERIFY(
          Logged("open [Select Config File] ACF files (*.acf *.bin)|*.acf;*.bin|All files "
                 "(*.*)|*.*"));
      QVERIFY2(Logged("message information [Add Antenna Model] Add antenna model success."),
               Dump().c_str());
      QCOMPARE(QFile(Path("acf/RET/KA/KA-2.acf")).size(), 6);
      QFile copy(Path("acf/RET/KA/KA-2.acf"));
      QVERIFY(copy.open(QIODevice::ReadOnly));
      QCOMPARE(copy.readAll(), QByteArray("\x00\x01\r\n\x1a\xff", 6));
      QCOMPARE(ReadFile(Path("acf/RET/KA/KA-2.ver")), QString("2.1\n"));
      QCOMPARE(ReadFile(Path("data/model_name_pool/KA_model_full_name.tbl")),
               QString("KA-1=Kay Panel One\nKA-2=Kay Panel Two\n"));
      QCOMPARE(Column(form.modelGrid(), 0, 2), QStringList({"Kay Panel One", "Kay Panel Two"}));

      // Browsing the same file again finds its AISG model name in the
      // table; the update asks first, and Cancel leaves both files.
      WriteFile(Path("outside/Kay Panel Two.acf"), "new");
      ClearLog();
      host_.answers = {false};
      AddModel(form, source_, nullptr, nullptr, "");
      QVERIFY(
          Logged("ask [Add Antenna Model] This model exists. Are you sure you want to update "
                 "this model?"));
      QCOMPARE(CountOf("message"), 0);
      QCOMPARE(QFile(Path("acf/RET/KA/KA-2.acf")).size(), 6);
      QCOMPARE(ReadFile(Path("acf/RET/KA/KA-2.ver")), QString("2.1\n"));
      AddModel(form, source_, nullptr, nullptr, "");
      QCOMPARE(ReadFile(Path("acf/RET/KA/KA-2.acf")), QString("new"));
      QVERIFY(!QFileInfo::exists(Path("acf/RET/KA/KA-2.ver")));

      // Delete: the files and the pool line go, the other model stays.
      form.modelGrid()->setCurrentCell(1, 0);
      ClearLog();
      form.deleteModelButton()->click();
      QVERIFY(
          Logged("ask [Delete Antenna Model] Are you sure you want to delete this antenna "
                 "model ( Kay Panel Two )?"));
      QVERIFY(!QFileInfo::exists(Path("acf/RET/KA/KA-2.acf")));
      QCOMPARE(ReadFile(Path("data/model_name_pool/KA_model_full_name.tbl")),
               QString("KA-1=Kay Panel One\n"));
      QCOMPARE(form.models().size(), size_t(1));
    });
  }

  void refusedModelsTouchNoFile() {
    WithCatalogue([&](ConfigureModelForm& form) {
      SelectVendor(form, "KA");
      const std::map<QString, QString> before = Snapshot(dir_->path());
      struct Case {
        QString file;
        const char* aisg;
        const char* fullName;
        const char* message;
      };
      const Case cases[] = {
          {source_, "ABCDEFGHIJKLMNOP", nullptr,
           "The antenna model name is too long. (maximum: 15 characters)."},
          {source_, "", nullptr, "AISG Model Name can not be empty."},
          {source_, "../../../x", nullptr, nullptr},
          {source_, "KA-1", "Another Panel",
           "This AISG Model Name is already used for\n another Antenna Model (Kay Panel One )."},
          {source_, "EA-1865-16", "Another Panel", nullptr},
          {Path("outside/model.txt"), "KA-9", "Nine", "Only support .bin and .acf file"},
          {Path("outside/missing.acf"), "KA-9", "Nine", "The selected Config File does not exist."},
          {source_, "KA-9", "Bad=Name", nullptr},
      };
      WriteFile(Path("outside/model.txt"), "text");
      const std::map<QString, QString> withText = Snapshot(dir_->path());
      for (const Case& c : cases) {
        ClearLog();
        AddModel(form, c.file, c.aisg, c.fullName);
        QCOMPARE(CountOf("message error [Add Antenna Model]"), 1);
        if (c.message != nullptr) {
          QVERIFY2(Logged(std::string("message error [Add Antenna Model] ") + c.message),
                   Dump().c_str());
        }
        QVERIFY2(Snapshot(dir_->path()) == withText, c.aisg);
      }
      QCOMPARE(before.size() + 1, withText.size());

      // A copy that fails half way (a source that opens but cannot be
      // read) leaves no model file, no temporary file and no table line.
      if (QFile::link("/proc/self/mem", Path("outside/unreadable.acf"))) {
        const std::map<QString, QString> withLink = Snapshot(dir_->path());
        ClearLog();
        AddModel(form, Path("outside/unreadable.acf"), "KA-MEM", "Mem Panel");
        QVERIFY2(Logged("message error [Add Antenna Model] Add antenna model failed."),
                 Dump().c_str());
        QVERIFY(Snapshot(dir_->path()) == withLink);
      }
    });
  }

  void scanLengthAndAddressingReachTheNextScan() {
    auto drive = [&](const std::function<void(AdapterConfigureForm&)>& body) {
      host_.onDialog = [&](QDialog& d) {
        auto* form = qobject_cast<AdapterConfigureForm*>(&d);
        if (form == nullptr) return int(QDialog::Rejected);
        body(*form);
        return form->result();
      };
      Trigger("MenuSystemSetting");
      host_.onDialog = nullptr;
    };
    drive([&](AdapterConfigureForm& form) {
      QCOMPARE(form.windowTitle(), QString("System Setting"));
      QCOMPARE(form.objectName(), QString("AdapterConfigureForm"));
      // Only the depths the library runs.
      QCOMPARE(form.scanLength()->count(), 17);
      QCOMPARE(form.scanLength()->itemText(16), QString("17"));
      QCOMPARE(form.scanLength()->currentText(), QString("4"));
      QVERIFY(!form.keepAddresses()->isChecked());
      form.scanLength()->setCurrentText("17");
      form.keepAddresses()->setChecked(true);
      form.setButton()->click();
    });
    QVERIFY2(Logged("message information [System Setting] Setting success."), Dump().c_str());
    QString config = ReadFile(Path("mirelk.conf"));
    QVERIFY2(config.contains("DEFAULT_DEPTH=17\n") && config.contains("DEFAULT_ASSIGN=0\n"),
             qPrintable(config));
    host_.answers = {true};
    window_->ScanDevice();
    QVERIFY2(Logged("scanMain 17 0"), Dump().c_str());
    QVERIFY2(FilledRows(window_->retGrid(), kRetAddressColumn) > 0, Dump().c_str());

    // Shown as set; Reset to default gives depth 4 with address assignment.
    ClearLog();
    drive([&](AdapterConfigureForm& form) {
      QCOMPARE(form.scanLength()->currentText(), QString("17"));
      QVERIFY(form.keepAddresses()->isChecked());
      form.resetButton()->click();
    });
    QVERIFY(Logged("message information [System Setting] Load default setting success."));
    config = ReadFile(Path("mirelk.conf"));
    QVERIFY(config.contains("DEFAULT_DEPTH=4\n") && config.contains("DEFAULT_ASSIGN=1\n"));
    QCOMPARE(window_->runner().scanDepth(), 4);
    QCOMPARE(window_->runner().addressAssign(), 1);

    // Cancel changes nothing; a depth the library would cut is shown cut.
    window_->runner().SetScanArguments(19, 1);
    drive([&](AdapterConfigureForm& form) {
      QCOMPARE(form.scanLength()->currentText(), QString("17"));
      form.scanLength()->setCurrentText("9");
      form.findChild<QPushButton*>("ButtonCancel")->click();
    });
    QCOMPARE(window_->runner().scanDepth(), 19);
    QCOMPARE(ReadFile(Path("mirelk.conf")), config);

    // A configuration that cannot be rewritten is a failure, not a success.
    QDir(Path("tmp")).removeRecursively();
    ClearLog();
    drive([&](AdapterConfigureForm& form) { form.setButton()->click(); });
    QVERIFY2(Logged("message error [System Setting] Setting failed."), Dump().c_str());
    QCOMPARE(CountOf("message information"), 0);
  }

  void adapterStatesUnreadAreUnknownAndOnlyRejectedSettingsReported() {
    GlueExports& ex = glue_.mutableExports();
    ex.getPowerValue = FakeGetPower;
    ex.getPinValue = FakeGetPin;
    ex.setPowerValue = FakeSetPower;
    ex.setPinValue = FakeSetPin;
    auto drive = [&](const std::function<void(SystemConfigureForm&)>& body) {
      host_.onDialog = [&](QDialog& d) {
        auto* form = qobject_cast<SystemConfigureForm*>(&d);
        if (form == nullptr) return int(QDialog::Rejected);
        body(*form);
        return form->result();
      };
      Trigger("MenuAdapterSetting");
      host_.onDialog = nullptr;
    };

    // Read as on and off; the pin rejected with a code of its own: only
    // that code's message.
    g_powerRead = 1;
    g_pinRead = 0;
    g_pinAnswer = 14;
    drive([&](SystemConfigureForm& form) {
      QCOMPARE(form.windowTitle(), QString("Adapter Setting"));
      QCOMPARE(form.objectName(), QString("SystemConfigureForm"));
      QCOMPARE(form.powerBox()->checkState(), Qt::Checked);
      QCOMPARE(form.pinBox()->checkState(), Qt::Unchecked);
      form.pinBox()->click();
      form.setButton()->click();
    });
    QVERIFY(Logged("setPowerValue 1") && Logged("setPinValue 1"));
    QCOMPARE(CountOf("message"), 1);
    QVERIFY2(Logged("message error [Adapter Setting] Not calibrated"), Dump().c_str());

    // -1 from either gives the general failure once.
    ClearLog();
    g_pinAnswer = 0;
    g_powerAnswer = -1;
    drive([&](SystemConfigureForm& form) { form.setButton()->click(); });
    QCOMPARE(CountOf("message"), 1);
    QVERIFY(Logged("message error [Adapter Setting] The settings failed!"));

    // Reads that failed show unknown; Set asks before switching such a
    // state, and switches nothing the operator declined.
    ClearLog();
    g_powerAnswer = 0;
    g_powerRead = -1;
    g_pinRead = 7;
    drive([&](SystemConfigureForm& form) {
      QCOMPARE(form.powerBox()->checkState(), Qt::PartiallyChecked);
      QCOMPARE(form.pinBox()->checkState(), Qt::PartiallyChecked);
      host_.answers = {false, false};
      form.setButton()->click();
      QCOMPARE(CountOf("ask [Adapter Setting]"), 2);
      QCOMPARE(CountOf("setP"), 0);
      QCOMPARE(CountOf("message"), 0);
      // A box the operator clicks is chosen and set without a question.
      form.powerBox()->click();
      QCOMPARE(form.powerBox()->checkState(), Qt::Checked);
      form.powerBox()->click();
      QCOMPARE(form.powerBox()->checkState(), Qt::Unchecked);
      ClearLog();
      host_.answers = {false};
      form.setButton()->click();
    });
    QCOMPARE(CountOf("ask [Adapter Setting]"), 1);
    QVERIFY(Logged("setPowerValue 0"));
    QCOMPARE(CountOf("setPinValue"), 0);
    QVERIFY(Logged("message information [Adapter Setting] Setting success."));

    // Reset to default switches both off.
    ClearLog();
    drive([&](SystemConfigureForm& form) { form.resetButton()->click(); });
    QVERIFY(Logged("setPowerValue 0") && Logged("setPinValue 0"));
    QVERIFY(Logged("message information [Adapter Setting] Load default setting success."));
  }

  // Last: the simulated adapter keeps what the window set for the rest of
  // the process; the test puts back what it found.
  void adapterSettingReachesTheSimulatedAdapter() {
    const GlueExports& real = realExports_;
    const int powerBefore = real.getPowerValue();
    const int pinBefore = real.getPinValue();
    QVERIFY(powerBefore == 0 || powerBefore == 1);
    QVERIFY(pinBefore == 0 || pinBefore == 1);
    std::pair<Qt::CheckState, Qt::CheckState> shown;
    host_.onDialog = [&](QDialog& d) {
      auto* form = qobject_cast<SystemConfigureForm*>(&d);
      if (form == nullptr) return int(QDialog::Rejected);
      shown = {form->powerBox()->checkState(), form->pinBox()->checkState()};
      form->powerBox()->setChecked(powerBefore == 0);
      form->pinBox()->setChecked(pinBefore == 0);
      form->setButton()->click();
      return form->result();
    };
    Trigger("MenuAdapterSetting");
    host_.onDialog = nullptr;
    QCOMPARE(shown.first, powerBefore == 1 ? Qt::Checked : Qt::Unchecked);
    QCOMPARE(shown.second, pinBefore == 1 ? Qt::Checked : Qt::Unchecked);
    QVERIFY2(Logged("message information [Adapter Setting] Setting success."), Dump().c_str());
    QCOMPARE(real.getPowerValue(), 1 - powerBefore);
    QCOMPARE(real.getPinValue(), 1 - pinBefore);
    QCOMPARE(real.setPowerValue(powerBefore), 0);
    QCOMPARE(real.setPinValue(pinBefore), 0);
  }
};

QTEST_MAIN(CatalogueWindowTest)
#include "catalogue_window_test.moc"
