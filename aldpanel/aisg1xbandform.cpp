#include <QCheckBox>
#include <QVBoxLayout>

#include "aldpanel/bandforms.h"

namespace aldpanel {

Aisg1xBandForm::Aisg1xBandForm(BandFormKind kind, QWidget* parent)
    : BandFormBase(kind, kind == BandFormKind::kRet ? "AISG1xBandForm" : "AISG1xBandTMAForm",
                   parent) {
  auto* layout = new QVBoxLayout(this);
  for (const char* caption : kAisg1BandText) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(QString("CheckBox") + caption);
    box->setAccessibleName(caption);
    layout->addWidget(box);
    boxes_[std::stoi(caption)] = box;
  }
  AddButtons(layout);
}

void Aisg1xBandForm::Load(const BandEdit& edit) {
  edit_ = edit;
  const BandWords words = ParseBandField(edit.fieldText).value_or(BandWords{});
  for (auto& [key, box] : boxes_) {
    const int bit = Aisg1BitOfKey(key);
    box->setChecked(bit >= 0 && ((words[0] >> bit) & 1));
  }
}

std::vector<int> Aisg1xBandForm::TickedBits() const {
  std::vector<int> bits;
  for (const auto& [key, box] : boxes_) {
    if (box->isChecked()) bits.push_back(Aisg1BitOfKey(key));
  }
  return bits;
}

}  // namespace aldpanel
