// The band selection dialogs (caption "Select Frequency") that the RET and
// TMA detail windows open from their "Sel" button: the AISG 1.x dialog with
// its seven bands and the AISG 2.x dialog laid out as the operating band
// table. A detail window hands the dialog a BandEdit with Load(), runs it
// through PanelHost::ExecDialog and, when it was accepted (Apply), takes the
// updated edit() back; Cancel rejects it and changes nothing.
#pragma once

#include <QDialog>
#include <map>
#include <vector>

#include "aldpanel/core/bandselect.h"

class QBoxLayout;
class QCheckBox;
class QPushButton;

namespace aldpanel {

// What both generations' dialogs share: the boxes by key, Load, Apply and
// Cancel.
class BandFormBase : public QDialog {
  Q_OBJECT
 public:
  // Unticks every box and ticks those of the bands set in the edit's field.
  virtual void Load(const BandEdit& edit) = 0;
  // The edit as loaded, and after Apply as updated.
  const BandEdit& edit() const { return edit_; }
  // A band's box by its key: the caption (800 ... 2600) on AISG 1.x, the
  // band number (1 ... 44) on AISG 2.x; nullptr when there is none.
  QCheckBox* bandBox(int key) const;
  QPushButton* applyButton() const { return apply_; }
  QPushButton* cancelButton() const { return cancel_; }
  BandFormKind kind() const { return kind_; }

 protected:
  BandFormBase(BandFormKind kind, const char* objectName, QWidget* parent);
  // Adds the Apply and Cancel row to the dialog's layout.
  void AddButtons(QBoxLayout* layout);
  // The ticked bit positions (0..47) the boxes stand for.
  virtual std::vector<int> TickedBits() const = 0;
  virtual int Generation() const = 0;

  BandEdit edit_;
  std::map<int, QCheckBox*> boxes_;  // key -> box

 private:
  void Apply();

  BandFormKind kind_;
  QPushButton* apply_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// Seven boxes "800" ... "2600": objectName "AISG1xBandForm" for a RET,
// "AISG1xBandTMAForm" for a TMA.
class Aisg1xBandForm : public BandFormBase {
  Q_OBJECT
 public:
  explicit Aisg1xBandForm(BandFormKind kind, QWidget* parent = nullptr);
  void Load(const BandEdit& edit) override;

 protected:
  std::vector<int> TickedBits() const override;
  int Generation() const override { return 1; }
};

// One box per operating band 1 to 29 and 33 to 44 beside its UTRA name,
// E-UTRA number, uplink and downlink ranges and frequency figure, and two
// hidden boxes for bits 14 and 15 of the first word (the device uses the
// first and second extended word). objectName "AISG2xBandForm" for a RET,
// "AISG2xBandTMAForm" for a TMA.
class Aisg2xBandForm : public BandFormBase {
  Q_OBJECT
 public:
  explicit Aisg2xBandForm(BandFormKind kind, QWidget* parent = nullptr);
  void Load(const BandEdit& edit) override;
  // The hidden box of the first (1) or second (2) extended word.
  QCheckBox* extendedBox(int which) const { return which == 1 ? ext1_ : ext2_; }

 protected:
  std::vector<int> TickedBits() const override;
  int Generation() const override { return 2; }

 private:
  void EnableBand(int band, bool enabled);

  QCheckBox* ext1_ = nullptr;
  QCheckBox* ext2_ = nullptr;
  std::map<int, std::vector<QWidget*>> rowTexts_;  // band -> its row's fixed texts
};

}  // namespace aldpanel
