// Device data fields of the simulated devices: the field table, value
// layouts per generation, and the reads and writes of the device data
// procedures.
#include <algorithm>
#include <cstring>

#include "sim/sim_ald.h"

namespace ald::sim {

namespace {

constexpr FieldInfo kFields[] = {
    {0x01, 15, 15, FieldKind::kText, true, true},   {0x02, 17, 17, FieldKind::kText, true, true},
    {0x03, 2, 2, FieldKind::kU16, true, true},      {0x04, 3, 8, FieldKind::kBeamwidth, true, true},
    {0x05, 3, 4, FieldKind::kGains, true, true},    {0x06, 2, 2, FieldKind::kS16, true, false},
    {0x07, 2, 2, FieldKind::kS16, true, false},     {0x08, 2, 2, FieldKind::kU16, true, true},
    {0x09, 2, 2, FieldKind::kU16, true, true},      {0x11, 15, 15, FieldKind::kText, false, true},
    {0x12, 17, 17, FieldKind::kText, false, true},  {0x13, 1, 1, FieldKind::kU8, false, true},
    {0x14, 4, 4, FieldKind::kBand, false, true},    {0x15, 4, 4, FieldKind::kBand, false, true},
    {0x16, 1, 1, FieldKind::kU8, false, true},      {0x17, 1, 1, FieldKind::kU8, false, true},
    {0x18, 1, 1, FieldKind::kU8, false, true},      {0x21, 6, 6, FieldKind::kText, true, true},
    {0x22, 5, 5, FieldKind::kText, true, true},     {0x23, 12, 32, FieldKind::kText, true, true},
    {0x24, 4, 32, FieldKind::kText, true, true},    {0x25, 2, 2, FieldKind::kU16, true, true},
    {0x26, 1, 2, FieldKind::kMechTilt, true, true},
};

// The identifier that the unknown-identifier fault puts into answers.
constexpr uint8_t kForeignId = 0x0C;
// Most identifier and value bytes one device data answer carries.
constexpr int kMaxReadBytes = 240;
// What the over-long-text fault appends to text values.
constexpr char kLongTail[] = "-OVERLONG-TEXT";

std::string PlainText(const std::vector<uint8_t>& value) {
  std::string text;
  size_t i = 0;
  while (i < value.size() && value[i] == 0) ++i;
  for (; i < value.size() && value[i] >= 0x20 && value[i] <= 0x7E; ++i) {
    text.push_back(static_cast<char>(value[i]));
  }
  return text;
}

}  // namespace

const FieldInfo* FindField(uint8_t id) {
  for (const FieldInfo& f : kFields) {
    if (f.id == id) return &f;
  }
  return nullptr;
}

std::vector<uint8_t> TextValue(const std::string& text, int length) {
  std::vector<uint8_t> value(static_cast<size_t>(std::max(length, 0)), 0);
  const size_t n = std::min(text.size(), value.size());
  std::memcpy(value.data() + value.size() - n, text.data(), n);
  return value;
}

std::vector<uint8_t> ConvertFieldValue(const FieldInfo& f, const std::vector<uint8_t>& value,
                                       int fromGeneration, int toGeneration) {
  const size_t to = static_cast<size_t>(FieldLength(f, toGeneration));
  if (FieldLength(f, fromGeneration) == static_cast<int>(to) && value.size() == to) return value;
  std::vector<uint8_t> out(to, 0);
  switch (f.kind) {
    case FieldKind::kText:
      return TextValue(PlainText(value), static_cast<int>(to));
    case FieldKind::kBeamwidth:
      // Three one-byte beamwidths against four 16-bit ones.
      if (to == 8) {
        for (size_t i = 0; i < 3 && i < value.size(); ++i) out[2 * i] = value[i];
      } else {
        for (size_t i = 0; i < to && 2 * i < value.size(); ++i) {
          const int v = value[2 * i] | (2 * i + 1 < value.size() ? value[2 * i + 1] << 8 : 0);
          out[i] = static_cast<uint8_t>(std::min(v, 255));
        }
      }
      return out;
    case FieldKind::kMechTilt: {
      int v = 0;
      if (value.size() == 1) v = static_cast<int8_t>(value[0]);
      if (value.size() >= 2) v = static_cast<int16_t>(value[0] | value[1] << 8);
      if (to == 1) {
        out[0] = static_cast<uint8_t>(static_cast<int8_t>(std::clamp(v, -128, 127)));
      } else {
        out[0] = static_cast<uint8_t>(v & 0xFF);
        out[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
      }
      return out;
    }
    default:
      std::copy_n(value.begin(), std::min(value.size(), to), out.begin());
      return out;
  }
}

std::vector<uint8_t>* AldSubunit::Field(uint8_t id) {
  for (auto& [fid, value] : fields) {
    if (fid == id) return &value;
  }
  return nullptr;
}

const std::vector<uint8_t>* AldSubunit::Field(uint8_t id) const {
  for (const auto& [fid, value] : fields) {
    if (fid == id) return &value;
  }
  return nullptr;
}

void AldSubunit::SetField(uint8_t id, std::vector<uint8_t> value) {
  if (std::vector<uint8_t>* v = Field(id)) {
    *v = std::move(value);
  } else {
    fields.emplace_back(id, std::move(value));
  }
}

void SimAld::ChangeGeneration(int newGeneration) {
  if (newGeneration == generation || (newGeneration != 1 && newGeneration != 2)) return;
  for (AldSubunit& s : subunits) {
    for (auto& [id, value] : s.fields) {
      if (const FieldInfo* f = FindField(id)) {
        value = ConvertFieldValue(*f, value, generation, newGeneration);
      }
    }
  }
  generation = newGeneration;
  aisgVersion = newGeneration;
  protocolVersion = newGeneration;
}

// Tilt range and TMA gain range are answered from the live settings, so
// that the device data never contradicts what the set procedures accept.
void SimAld::DerivedField(const AldSubunit& s, const FieldInfo& f, Answer& a) const {
  switch (f.id) {
    case 0x06:
      a.Add16(s.maxTilt);
      return;
    case 0x07:
      a.Add16(s.minTilt);
      return;
    case 0x16:
      a.Add(static_cast<uint8_t>(s.maxGain));
      return;
    case 0x17:
      a.Add(static_cast<uint8_t>(s.minGain));
      return;
    case 0x18:
      a.Add(static_cast<uint8_t>(s.gainStep));
      return;
    default:
      break;
  }
  const int length = FieldLength(f, generation);
  const std::vector<uint8_t>* v = s.Field(f.id);
  for (int i = 0; i < length; ++i) {
    a.Add(v && i < static_cast<int>(v->size()) ? (*v)[static_cast<size_t>(i)] : 0);
  }
  if (f.kind == FieldKind::kText && faults.longTexts) {
    for (const char* c = kLongTail; *c; ++c) a.Add(static_cast<uint8_t>(*c));
  }
}

void SimAld::ReadDeviceData(const AldSubunit& s, const uint8_t* ids, int count, Answer& a) const {
  if (count < 1 || (generation == 2 && count != 1)) {
    a.Fail(Code(Refusal::kFormatError));
    return;
  }
  int total = 0;
  for (int i = 0; i < count; ++i) {
    const FieldInfo* f = FindField(ids[i]);
    if (!f || (IsRet() && !f->ret) || (IsTma() && !f->tma)) {
      a.Fail(Code(Refusal::kUnknownParameter));
      return;
    }
    total += 1 + FieldLength(*f, generation);
  }
  // A list that no answer frame could carry.
  if (total > kMaxReadBytes) {
    a.Fail(Code(Refusal::kFormatError));
    return;
  }
  for (int i = 0; i < count; ++i) {
    const FieldInfo* f = FindField(ids[i]);
    a.Add(faults.unknownFieldIds && i == 0 ? kForeignId : f->id);
    DerivedField(s, *f, a);
  }
}

void SimAld::WriteDeviceData(AldSubunit& s, const uint8_t* data, int length, Answer& a) {
  // Check every field of the message before storing any of them: a write
  // is taken whole or not at all.
  int pos = 0;
  int fieldsSeen = 0;
  while (pos < length) {
    const FieldInfo* f = FindField(data[pos]);
    if (!f || (IsRet() && !f->ret) || (IsTma() && !f->tma)) {
      a.Fail(Code(Refusal::kUnknownParameter));
      return;
    }
    if (std::find(readOnlyFields.begin(), readOnlyFields.end(), f->id) != readOnlyFields.end()) {
      a.Fail(Code(Refusal::kReadOnly));
      return;
    }
    const int n = FieldLength(*f, generation);
    if (pos + 1 + n > length) {
      a.Fail(Code(Refusal::kFormatError));
      return;
    }
    const uint8_t* v = data + pos + 1;
    if (f->id == 0x25 && (v[0] | v[1] << 8) > 3600) {
      a.Fail(Code(Refusal::kOutOfRange));
      return;
    }
    if (f->id == 0x26 && generation == 2) {
      const int tilt = static_cast<int16_t>(v[0] | v[1] << 8);
      if (tilt < -900 || tilt > 900) {
        a.Fail(Code(Refusal::kOutOfRange));
        return;
      }
    }
    pos += 1 + n;
    ++fieldsSeen;
    // AISG 2.0 writes one field per message.
    if (generation == 2 && pos != length) {
      a.Fail(Code(Refusal::kFormatError));
      return;
    }
  }
  if (fieldsSeen == 0) {
    a.Fail(Code(Refusal::kFormatError));
    return;
  }
  pos = 0;
  while (pos < length) {
    const FieldInfo* f = FindField(data[pos]);
    const int n = FieldLength(*f, generation);
    s.SetField(f->id, std::vector<uint8_t>(data + pos + 1, data + pos + 1 + n));
    pos += 1 + n;
  }
}

}  // namespace ald::sim
