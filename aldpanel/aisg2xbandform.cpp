#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "aldpanel/bandforms.h"

namespace aldpanel {

namespace {

// One row of the operating band table: UTRA name (" -" where the band has
// none; the letters of the TDD band groups for 33 to 40), E-UTRA band
// number, uplink and downlink ranges in MHz. The frequency figure comes from
// the band decoder so that the dialog and the band text never disagree.
struct BandRow {
  const char* utra;
  int band;
  const char* uplink;
  const char* downlink;
};

constexpr BandRow kRows[] = {
    {"I", 1, "1920 - 1980", "2110 - 2170"},
    {"II", 2, "1850 - 1910", "1930 - 1990"},
    {"III", 3, "1710 - 1785", "1805 - 1880"},
    {"IV", 4, "1710 - 1755", "2110 - 2155"},
    {"V", 5, "824 - 849", "869 - 894"},
    {"VI", 6, "830 - 840", "875 - 885"},
    {"VII", 7, "2500 - 2570", "2620 - 2690"},
    {"VIII", 8, "880 - 915", "925 - 960"},
    {"IX", 9, "1749.9 - 1784.9", "1844.9 - 1879.9"},
    {"X", 10, "1710 - 1770", "2110 - 2170"},
    {"XI", 11, "1427.9 - 1447.9", "1475.9 - 1495.9"},
    {"XII", 12, "699 - 716", "729 - 746"},
    {"XIII", 13, "777 - 787", "746 - 756"},
    {"XIV", 14, "788 - 798", "758 - 768"},
    {" -", 15, "reserved", "reserved"},
    {" -", 16, "reserved", "reserved"},
    {" -", 17, "704 - 716", "734 - 746"},
    {" -", 18, "815 - 830", "860 - 875"},
    {"XIX", 19, "830 - 845", "875 - 890"},
    {"XX", 20, "832 - 862", "791 - 821"},
    {"XXI", 21, "1447.9 - 1462.9", "1495.9 - 1510.9"},
    {"XXII", 22, "3410 - 3490", "3510 - 3590"},
    {" -", 23, "2000 - 2020", "2180 - 2200"},
    {" -", 24, "1626.5 - 1660.5", "1525 - 1559"},
    {"XXV", 25, "1850 - 1915", "1930 - 1995"},
    {"XXVI", 26, "814 - 849", "859 - 894"},
    {" -", 27, "807 - 824", "852 - 869"},
    {" -", 28, "703 - 748", "758 - 803"},
    {" -", 29, "n/a (downlink only)", "717 - 728"},
    {"a)", 33, "1900 - 1920", "1900 - 1920"},
    {"a)", 34, "2010 - 2025", "2010 - 2025"},
    {"b)", 35, "1850 - 1910", "1850 - 1910"},
    {"b)", 36, "1930 - 1990", "1930 - 1990"},
    {"c)", 37, "1910 - 1930", "1910 - 1930"},
    {"d)", 38, "2570 - 2620", "2570 - 2620"},
    {"f)", 39, "1880 - 1920", "1880 - 1920"},
    {"e)", 40, "2300 - 2400", "2300 - 2400"},
    {" -", 41, "2496 - 2690", "2496 - 2690"},
    {" -", 42, "3400 - 3600", "3400 - 3600"},
    {" -", 43, "3600 - 3800", "3600 - 3800"},
    {" -", 44, "703 - 803", "703 - 803"},
};

// The table is shown in two halves side by side so that it fits a laptop
// screen: bands 1 to 22 on the left, 23 to 44 on the right.
constexpr int kFirstOfRightHalf = 23;

// Bands 15 and 16 are reserved: no bit of the band words stands for them.
bool HasBit(int band) {
  return Aisg2BitOfBand(band) >= 0;
}

QLabel* Caption(const QString& text, QWidget* parent, bool bold = true) {
  auto* label = new QLabel(text, parent);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  return label;
}

QGridLayout* NewHalf(QWidget* parent) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(14);
  grid->setVerticalSpacing(2);
  // Column captions: UTRA and E-UTRA under "Operating Band", both ranges
  // over "(MHz)", the frequency figure last.
  grid->addWidget(Caption("Operating", parent), 0, 0, 1, 2, Qt::AlignHCenter);
  grid->addWidget(Caption("Band", parent), 1, 0, 1, 2, Qt::AlignHCenter);
  grid->addWidget(Caption("UTRA ", parent), 2, 0);
  grid->addWidget(Caption("E-UTRA ", parent), 2, 1);
  grid->addWidget(Caption("UL Frequencies", parent), 0, 2, 2, 1, Qt::AlignHCenter);
  grid->addWidget(Caption("DL Frequencies", parent), 0, 3, 2, 1, Qt::AlignHCenter);
  grid->addWidget(Caption("(MHz)", parent), 2, 2, 1, 2, Qt::AlignHCenter);
  grid->addWidget(Caption("Frequency", parent), 0, 4, 3, 1, Qt::AlignHCenter);
  auto* rule = new QFrame(parent);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  grid->addWidget(rule, 3, 0, 1, 5);
  return grid;
}

}  // namespace

Aisg2xBandForm::Aisg2xBandForm(BandFormKind kind, QWidget* parent)
    : BandFormBase(kind, kind == BandFormKind::kRet ? "AISG2xBandForm" : "AISG2xBandTMAForm",
                   parent) {
  auto* layout = new QVBoxLayout(this);
  auto* halves = new QHBoxLayout;
  QGridLayout* left = NewHalf(this);
  QGridLayout* right = NewHalf(this);
  int leftRow = 4;
  int rightRow = 4;
  for (const BandRow& row : kRows) {
    QGridLayout* grid = row.band < kFirstOfRightHalf ? left : right;
    int& r = row.band < kFirstOfRightHalf ? leftRow : rightRow;
    const QString number = QString::number(row.band);
    auto* box = new QCheckBox(number, this);
    box->setObjectName("CheckBox" + number);
    box->setAccessibleName("Band " + number);
    boxes_[row.band] = box;
    const std::string_view figure = Aisg2BandText(row.band);
    std::vector<QWidget*>& texts = rowTexts_[row.band];
    texts = {
        Caption(row.utra, this, false), Caption(row.uplink, this, false),
        Caption(row.downlink, this, false),
        Caption(QString::fromUtf8(figure.data(), static_cast<int>(figure.size())), this, false)};
    grid->addWidget(texts[0], r, 0);
    grid->addWidget(box, r, 1);
    grid->addWidget(texts[1], r, 2, Qt::AlignHCenter);
    grid->addWidget(texts[2], r, 3, Qt::AlignHCenter);
    grid->addWidget(texts[3], r, 4, Qt::AlignHCenter);
    if (!HasBit(row.band)) {
      EnableBand(row.band, false);
      box->setToolTip("Reserved band: the device has no bit for it");
    }
    ++r;
  }
  left->setRowStretch(leftRow, 1);
  right->setRowStretch(rightRow, 1);
  halves->addLayout(left);
  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::VLine);
  divider->setFrameShadow(QFrame::Sunken);
  halves->addSpacing(8);
  halves->addWidget(divider);
  halves->addSpacing(8);
  halves->addLayout(right);
  layout->addLayout(halves);
  // Bits 14 and 15 of the first word: the device uses the first and the
  // second extended word. They are the device's own and never shown.
  ext1_ = new QCheckBox(this);
  ext1_->setObjectName("CheckBoxExt1");
  ext1_->hide();
  ext2_ = new QCheckBox(this);
  ext2_->setObjectName("CheckBoxExt2");
  ext2_->hide();
  AddButtons(layout);
}

void Aisg2xBandForm::Load(const BandEdit& edit) {
  edit_ = edit;
  const BandWords words = ParseBandField(edit.fieldText).value_or(BandWords{});
  const bool usesExt1 = (words[0] >> 14) & 1;
  const bool usesExt2 = (words[0] >> 15) & 1;
  ext1_->setChecked(usesExt1);
  ext2_->setChecked(usesExt2);
  for (auto& [band, box] : boxes_) {
    const int bit = Aisg2BitOfBand(band);
    box->setChecked(bit >= 0 && ((words[bit / 16] >> (bit % 16)) & 1));
    bool enabled = bit >= 0;
    if (band >= 17 && band <= 29) enabled = enabled && usesExt1;
    if (band >= 33 && band <= 44) enabled = enabled && usesExt2;
    EnableBand(band, enabled);
  }
}

void Aisg2xBandForm::EnableBand(int band, bool enabled) {
  // The whole row greys out, so that the bands the device cannot take stand
  // apart at a glance.
  boxes_.at(band)->setEnabled(enabled);
  for (QWidget* text : rowTexts_[band]) text->setEnabled(enabled);
}

std::vector<int> Aisg2xBandForm::TickedBits() const {
  std::vector<int> bits;
  // A disabled box still counts with its tick: the bands of an extended word
  // the device does not mark as used are kept as the device reported them.
  for (const auto& [band, box] : boxes_) {
    const int bit = Aisg2BitOfBand(band);
    if (bit >= 0 && box->isChecked()) bits.push_back(bit);
  }
  if (ext1_->isChecked()) bits.push_back(14);
  if (ext2_->isChecked()) bits.push_back(15);
  return bits;
}

}  // namespace aldpanel
