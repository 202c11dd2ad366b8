#include "sim/link_layer.h"

#include <cstring>

#include "aldlink/hdlc/fcs.h"

namespace ald::sim {

namespace {

using hdlc::kEscape;
using hdlc::kFlag;

constexpr uint8_t kXidFormat = 0x81;
constexpr uint8_t kGroupHdlc = 0x80;
constexpr uint8_t kGroupUser = 0xF0;
constexpr int kMaxUniqueId = 19;

// XID user parameters.
constexpr uint8_t kParamUniqueId = 1;
constexpr uint8_t kParamAddress = 2;
constexpr uint8_t kParamMask = 3;
constexpr uint8_t kParamDeviceType = 4;
constexpr uint8_t kParamRelease = 5;
constexpr uint8_t kParamVendor = 6;
constexpr uint8_t kParamReset = 7;
constexpr uint8_t kParamAisgVersion = 9;
constexpr uint8_t kParamProtocolVersion = 20;
constexpr uint8_t kParamSubVersion = 21;

// HDLC parameters: information field lengths in bits, window sizes.
constexpr uint8_t kParamMaxInfoTx = 5;
constexpr uint8_t kParamMaxInfoRx = 6;
constexpr uint8_t kParamWindowTx = 7;
constexpr uint8_t kParamWindowRx = 8;

bool IsInfoFrame(uint8_t c) {
  return (c & 0x01) == 0;
}
bool IsSupervisory(uint8_t c) {
  return (c & 0x03) == 0x01;
}
int Ns(uint8_t c) {
  return (c >> 1) & 7;
}
int Nr(uint8_t c) {
  return c >> 5;
}

// The parameters of one XID group, located but not copied.
struct XidParams {
  const uint8_t* uid = nullptr;
  int uidLength = 0;
  const uint8_t* mask = nullptr;
  int maskLength = 0;
  int newAddress = -1;
  bool reset = false;
  bool versionQuery = false;
  uint8_t group = 0;
  const uint8_t* params = nullptr;
  int paramsLength = 0;
};

// False when the information field is not a well-formed XID field.
bool ParseXid(const Frame& f, XidParams& x) {
  if (f.infoLength < 3 || f.info[0] != kXidFormat) return false;
  x.group = f.info[1];
  const int groupLength = f.info[2];
  if (3 + groupLength > f.infoLength) return false;
  x.params = f.info + 3;
  x.paramsLength = groupLength;
  if (x.group != kGroupUser) return true;
  for (int i = 0; i + 2 <= groupLength;) {
    const uint8_t id = x.params[i];
    const int len = x.params[i + 1];
    const uint8_t* value = x.params + i + 2;
    if (i + 2 + len > groupLength) return false;
    switch (id) {
      case kParamUniqueId:
        x.uid = value;
        x.uidLength = len;
        break;
      case kParamMask:
        x.mask = value;
        x.maskLength = len;
        break;
      case kParamAddress:
        if (len == 1) x.newAddress = value[0];
        break;
      case kParamReset:
        x.reset = true;
        break;
      case kParamRelease:
      case kParamProtocolVersion:
      case kParamSubVersion:
        x.versionQuery = true;
        break;
      default:
        break;
    }
    i += 2 + len;
  }
  return true;
}

bool IsScan(const XidParams& x) {
  return x.uid != nullptr && x.mask != nullptr;
}
bool IsAssignment(const XidParams& x) {
  return x.uid != nullptr && x.mask == nullptr && x.newAddress >= 0;
}

bool AllZero(const uint8_t* p, int n) {
  for (int i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// Where octet `pos` of the 19-octet form of an ID (or scan pattern, or
// mask) of `length` octets comes from: the vendor code stays in front, the
// rest is right-aligned, and the gap between them (-1) holds zero. A short
// pattern is so compared on the vendor code and on the right-most
// (length - 2) octets of the ID, whatever the ID's own length.
int PaddedIndex(int length, int pos) {
  if (pos < 2) return pos < length ? pos : -1;
  const int from = pos - (kMaxUniqueId - length);
  return from >= 2 && from < length ? from : -1;
}

// Matches on every bit set in the mask. An AISG 2.0 device compares the
// pattern and its own ID in their 19-octet forms; an AISG 1.1 device only
// answers patterns of its own length, compared octet by octet.
bool ScanMatches(const SimDevice& d, const XidParams& x) {
  if (x.uidLength > kMaxUniqueId) return false;
  const std::string& id = d.uniqueId;
  const int idLength = static_cast<int>(id.size() < kMaxUniqueId ? id.size() : kMaxUniqueId);
  const auto* own = reinterpret_cast<const uint8_t*>(id.data());
  if (d.generation == 1) {
    if (x.uidLength != idLength) return false;
    for (int i = 0; i < idLength; ++i) {
      const uint8_t mask = i < x.maskLength ? x.mask[i] : 0;
      if (((own[i] ^ x.uid[i]) & mask) != 0) return false;
    }
    return true;
  }
  for (int pos = 0; pos < kMaxUniqueId; ++pos) {
    // The mask lines up with its pattern; octets it lacks compare nothing.
    const int at = PaddedIndex(x.uidLength, pos);
    const uint8_t mask = at >= 0 && at < x.maskLength ? x.mask[at] : 0;
    if (mask == 0) continue;
    const int ownAt = PaddedIndex(idLength, pos);
    const uint8_t ownOctet = ownAt >= 0 ? own[ownAt] : 0;
    if (((ownOctet ^ x.uid[at]) & mask) != 0) return false;
  }
  return true;
}

void Put(uint8_t* info, int& n, uint8_t b) {
  if (n < kMaxInfo) info[n++] = b;
}

// Little-endian value of up to four bytes.
uint32_t ValueLe(const uint8_t* p, int len) {
  uint32_t v = 0;
  for (int i = len - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

bool DecodeFrame(const uint8_t* wire, int length, uint8_t* raw, int capacity, Frame& frame) {
  if (length < 2 || wire[0] != kFlag || wire[length - 1] != kFlag) return false;
  int n = 0;
  for (int i = 1; i < length - 1; ++i) {
    uint8_t b = wire[i];
    if (b == kFlag) return false;
    if (b == kEscape) {
      if (i + 1 >= length - 1) return false;
      b = wire[++i] ^ 0x20;
    }
    if (n >= capacity) return false;
    raw[n++] = b;
  }
  if (n < 4) return false;
  const uint16_t fcs = static_cast<uint16_t>(raw[n - 2] | (raw[n - 1] << 8));
  if (hdlc::Fcs16(raw, static_cast<size_t>(n - 2)) != fcs) return false;
  frame.address = raw[0];
  frame.control = raw[1];
  frame.info = raw + 2;
  frame.infoLength = n - 4;
  return true;
}

int EncodeFrame(uint8_t address, uint8_t control, const uint8_t* info, int infoLength,
                uint8_t* wire, int capacity) {
  uint8_t raw[kMaxInfo + 4];
  if (infoLength < 0 || infoLength > kMaxInfo || capacity < 2) return -1;
  raw[0] = address;
  raw[1] = control;
  if (infoLength > 0) std::memcpy(raw + 2, info, static_cast<size_t>(infoLength));
  const uint16_t fcs = hdlc::Fcs16(raw, static_cast<size_t>(infoLength + 2));
  raw[infoLength + 2] = static_cast<uint8_t>(fcs & 0xFF);
  raw[infoLength + 3] = static_cast<uint8_t>(fcs >> 8);
  wire[0] = kFlag;
  const int n = hdlc::EscapeBytes(raw, static_cast<size_t>(infoLength + 4), wire + 1,
                                  static_cast<size_t>(capacity - 2));
  if (n < 0) return -1;
  wire[n + 1] = kFlag;
  return n + 2;
}

int FindGoodFrame(const uint8_t* bytes, int length) {
  uint8_t buf[kMaxWire];
  int16_t at[kMaxWire];
  for (int i = 0; i < length; ++i) {
    if (bytes[i] != kFlag) continue;
    for (int j = i + 1; j < length; ++j) {
      if (bytes[j] != kFlag) continue;
      // Strict reading: every escape undone.
      uint8_t raw[kMaxWire];
      Frame f;
      if (j - i > 1 && DecodeFrame(bytes + i, j - i + 1, raw, sizeof raw, f)) return j - 1;
      // Lenient reading: only the two escape pairs undone, and an undone
      // 0x7E taken as the end of a frame as well.
      int n = 0;
      for (int k = i + 1; k < j && n < kMaxWire; ++k) {
        uint8_t b = bytes[k];
        if (b == kEscape && k + 1 < j && (bytes[k + 1] == 0x5E || bytes[k + 1] == 0x5D)) {
          b = bytes[++k] ^ 0x20;
        }
        at[n] = static_cast<int16_t>(k);
        buf[n++] = b;
      }
      for (int k = 2; k <= n; ++k) {
        if (k < n && buf[k] != kFlag) continue;
        const uint16_t fcs = static_cast<uint16_t>(buf[k - 2] | (buf[k - 1] << 8));
        if (hdlc::Fcs16(buf, static_cast<size_t>(k - 2)) == fcs) return at[k - 1];
      }
    }
  }
  return -1;
}

bool ContainsGoodFrame(const uint8_t* bytes, int length) {
  return FindGoodFrame(bytes, length) >= 0;
}

void SpoilFrames(uint8_t* bytes, int length) {
  for (int round = 0; round < 64; ++round) {
    const int p = FindGoodFrame(bytes, length);
    if (p < 0) return;
    uint8_t b = static_cast<uint8_t>(bytes[p] ^ 0x01);
    if (b == kFlag || b == kEscape) b = static_cast<uint8_t>(bytes[p] ^ 0x80);
    bytes[p] = b;
  }
  // Not reached in practice; with a single flag left no frame can be read.
  bool first = true;
  for (int i = 0; i < length; ++i) {
    if (bytes[i] != kFlag) continue;
    if (!first) bytes[i] = 0x00;
    first = false;
  }
}

// ---------------------------------------------------------------------------

void SecondaryStation::Restart(bool keepAisg1Address) {
  CloseLink();
  // An AISG 1.1 device keeps its address through a restart of its software
  // (only an address reset or a power cycle takes it); an AISG 2.0 device
  // always comes back unaddressed.
  if (!(keepAisg1Address && device_.generation == 1)) device_.address = 0;
  device_.restartPending = false;
}

void SecondaryStation::CloseLink() {
  DropLink();
  device_.LinkClosed();
}

void SecondaryStation::DropLink() {
  device_.connected = false;
  device_.nr = 0;
  device_.ns = 0;
  frmrCondition_ = false;
  receivedInfo_ = false;
  outstanding_ = false;
  outLength_ = 0;
}

bool SecondaryStation::Concerns(const Frame& f) const {
  const SimDevice& d = device_;
  const bool own = d.address != 0 && f.address == d.address;
  if (!own && f.address != kAllStations) return false;
  // Without the poll bit the primary does not give us the line.
  if ((f.control & ctrl::kPollFinal) == 0) return false;
  if (f.control != ctrl::kXid) return d.address != 0;
  XidParams x;
  if (!ParseXid(f, x)) return false;
  if (x.group != kGroupUser) return d.address != 0;
  if (IsScan(x)) {
    // An AISG 2.0 device that holds an address has been found already and
    // keeps quiet, so that the devices still without one can be told apart.
    if (d.generation >= 2 && d.address != 0) return false;
    return ScanMatches(d, x);
  }
  if (IsAssignment(x)) {
    if (AllZero(x.uid, x.uidLength)) return d.address != 0 && x.newAddress == d.address;
    uint8_t id[kMaxUniqueId];
    const int n = AssignmentId(id);
    return x.uidLength == n && std::memcmp(x.uid, id, static_cast<size_t>(n)) == 0;
  }
  if (x.reset) return true;
  return d.address != 0;
}

int SecondaryStation::AssignmentId(uint8_t* out) const {
  const std::string& id = device_.uniqueId;
  const int size = static_cast<int>(id.size() < kMaxUniqueId ? id.size() : kMaxUniqueId);
  int n = 0;
  int i = 0;
  if (size >= 2 && id[0] == 'E' && id[1] == 'M') {
    // These devices know themselves without the zero bytes between the
    // vendor code and the serial number.
    out[n++] = 'E';
    out[n++] = 'M';
    i = 2;
    while (i < size && id[i] == 0) ++i;
  }
  for (; i < size; ++i) out[n++] = static_cast<uint8_t>(id[i]);
  return n;
}

int SecondaryStation::Respond(const Frame& frame, int64_t nowUs, uint8_t* wire, int capacity) {
  SimDevice& d = device_;
  if (d.restartPending) Restart(true);
  if (nowUs < d.restartUntilUs) return 0;
  if (!Concerns(frame)) return 0;
  SimFaults& faults = d.faults;
  if (faults.silent) return 0;
  if (faults.silentFrames > 0) {
    --faults.silentFrames;
    return 0;
  }
  Reply r;
  if (faults.frmrFrames > 0) {
    --faults.frmrFrames;
    MakeReply(ctrl::kFrmr, r);
    r.info[0] = frame.control;
    r.info[1] = static_cast<uint8_t>((d.nr << 5) | (d.ns << 1));
    r.info[2] = frmr::kUndefinedControl;
    r.infoLength = 3;
  } else {
    Handle(frame, nowUs, r);
  }
  if (r.none) return 0;
  return Encode(r, wire, capacity);
}

void SecondaryStation::MakeReply(uint8_t control, Reply& r) const {
  r.none = false;
  r.address = static_cast<uint8_t>(device_.address);
  r.control = control;
  r.infoLength = 0;
}

void SecondaryStation::SetFrmr(uint8_t rejectedControl, uint8_t reason, Reply& r) {
  frmrCondition_ = true;
  frmrInfo_[0] = rejectedControl;
  // Second byte: V(S) in bits 1 to 3, V(R) in bits 5 to 7; third: reasons.
  frmrInfo_[1] = static_cast<uint8_t>((device_.nr << 5) | (device_.ns << 1));
  frmrInfo_[2] = reason;
  MakeReply(ctrl::kFrmr, r);
  std::memcpy(r.info, frmrInfo_, 3);
  r.infoLength = 3;
}

void SecondaryStation::Handle(const Frame& f, int64_t nowUs, Reply& r) {
  SimDevice& d = device_;
  switch (f.control) {
    case ctrl::kSnrm:
      if (f.infoLength > 0) return SetFrmr(f.control, frmr::kInfoNotAllowed, r);
      DropLink();
      d.connected = true;
      return MakeReply(ctrl::kUa, r);
    case ctrl::kDisc:
      if (!d.connected && !frmrCondition_) return MakeReply(ctrl::kDm, r);
      MakeReply(ctrl::kUa, r);
      CloseLink();
      // An AISG 2.0 device forgets its address with its link; the UA still
      // goes out under the old one.
      if (d.generation >= 2) d.address = 0;
      return;
    case ctrl::kXid:
      return HandleXid(f, nowUs, r);
    default:
      break;
  }
  if (!d.connected) return MakeReply(ctrl::kDm, r);
  if (frmrCondition_) {
    // Until the primary resets the link every command gets the same reject.
    MakeReply(ctrl::kFrmr, r);
    std::memcpy(r.info, frmrInfo_, 3);
    r.infoLength = 3;
    return;
  }
  if (IsInfoFrame(f.control)) return HandleInfo(f, nowUs, r);
  if (IsSupervisory(f.control)) {
    const int type = (f.control >> 2) & 3;  // RR, RNR, REJ, SREJ
    if (type == 3) return SetFrmr(f.control, frmr::kUndefinedControl, r);
    if (f.infoLength > 0) return SetFrmr(f.control, frmr::kInfoNotAllowed, r);
    return HandlePoll(f, nowUs, type == 0, r);
  }
  SetFrmr(f.control, frmr::kUndefinedControl, r);
}

int SecondaryStation::TakeAck(int nr) {
  SimDevice& d = device_;
  if (outstanding_) {
    if (nr == (outNs_ + 1) % 8) {
      outstanding_ = false;
      return 1;
    }
    return nr == outNs_ ? 0 : -1;
  }
  return nr == d.ns ? 1 : -1;
}

void SecondaryStation::SendNewInfo(const uint8_t* info, int length, Reply& r) {
  SimDevice& d = device_;
  if (length > kMaxInfo) length = kMaxInfo;
  std::memcpy(out_, info, static_cast<size_t>(length));
  outLength_ = length;
  outNs_ = d.ns;
  outstanding_ = true;
  d.ns = (d.ns + 1) % 8;
  SendOutstanding(r);
}

void SecondaryStation::SendOutstanding(Reply& r) {
  const SimDevice& d = device_;
  MakeReply(static_cast<uint8_t>((d.nr << 5) | ctrl::kPollFinal | (outNs_ << 1)), r);
  std::memcpy(r.info, out_, static_cast<size_t>(outLength_));
  r.infoLength = outLength_;
}

void SecondaryStation::HandlePoll(const Frame& f, int64_t nowUs, bool allowBusy, Reply& r) {
  SimDevice& d = device_;
  const int ack = TakeAck(Nr(f.control));
  if (ack < 0) return SetFrmr(f.control, frmr::kInvalidNr, r);
  if (ack == 0) return SendOutstanding(r);
  if (allowBusy && d.faults.rnrFrames > 0) {
    --d.faults.rnrFrames;
    return MakeReply(static_cast<uint8_t>((d.nr << 5) | 0x15), r);
  }
  const int n = d.PendingAnswer(nowUs, scratch_, kMaxInfo);
  if (n > 0) return SendNewInfo(scratch_, n, r);
  MakeReply(static_cast<uint8_t>((d.nr << 5) | 0x11), r);
}

void SecondaryStation::HandleInfo(const Frame& f, int64_t nowUs, Reply& r) {
  SimDevice& d = device_;
  if (f.infoLength > kMaxInfo) return SetFrmr(f.control, frmr::kInfoTooLong, r);
  if (d.faults.rnrInfoFrames > 0) {
    // Busy: the frame is not taken, so V(R) stays and the next I-frame must
    // carry the same number.
    --d.faults.rnrInfoFrames;
    return MakeReply(static_cast<uint8_t>((d.nr << 5) | 0x15), r);
  }
  const int ns = Ns(f.control);
  if (receivedInfo_ && ns == (d.nr + 7) % 8) {
    // The primary missed our answer and repeats itself: answer again, but
    // the message has been taken already.
    return HandlePoll(f, nowUs, false, r);
  }
  if (ns != d.nr) return SetFrmr(f.control, frmr::kInvalidNs, r);
  const int ack = TakeAck(Nr(f.control));
  if (ack < 0) return SetFrmr(f.control, frmr::kInvalidNr, r);
  if (ack == 0) {
    // Our last answer never arrived and the primary has moved on: that
    // number is free again.
    outstanding_ = false;
    d.ns = outNs_;
  }
  d.nr = (d.nr + 1) % 8;
  receivedInfo_ = true;
  const int n = d.HandleMessage(f.info, f.infoLength, nowUs, scratch_, kMaxInfo);
  if (n > 0) return SendNewInfo(scratch_, n > kMaxInfo ? kMaxInfo : n, r);
  MakeReply(static_cast<uint8_t>((d.nr << 5) | 0x11), r);
}

void SecondaryStation::HandleXid(const Frame& f, int64_t nowUs, Reply& r) {
  SimDevice& d = device_;
  XidParams x;
  if (!ParseXid(f, x)) return;
  // AISG 1.x devices answer XID commands with a UA that carries the XID field.
  const uint8_t answerControl = d.generation >= 2 ? ctrl::kXid : ctrl::kUa;
  int n = 0;
  if (x.group == kGroupHdlc) {
    MakeReply(answerControl, r);
    Put(r.info, n, kXidFormat);
    Put(r.info, n, kGroupHdlc);
    Put(r.info, n, 0);
    // Echo what was offered, limited to what this device can take.
    for (int i = 0; i + 2 <= x.paramsLength;) {
      const uint8_t id = x.params[i];
      const int len = x.params[i + 1];
      if (i + 2 + len > x.paramsLength || len > 4) break;
      uint32_t value = ValueLe(x.params + i + 2, len);
      if (id == kParamMaxInfoTx || id == kParamMaxInfoRx) {
        if (value > kMaxInfo * 8u) value = kMaxInfo * 8u;
        Put(r.info, n, id);
        Put(r.info, n, 4);
        for (int k = 0; k < 4; ++k) Put(r.info, n, static_cast<uint8_t>(value >> (8 * k)));
      } else if (id == kParamWindowTx || id == kParamWindowRx) {
        Put(r.info, n, id);
        Put(r.info, n, 1);
        Put(r.info, n, 1);
      }
      i += 2 + len;
    }
    r.info[2] = static_cast<uint8_t>(n - 3);
    r.infoLength = n;
    return;
  }
  if (x.group != kGroupUser) return;

  auto putIdentity = [&](bool withVersion) {
    const std::string& id = d.uniqueId;
    const int size = static_cast<int>(id.size() < kMaxUniqueId ? id.size() : kMaxUniqueId);
    Put(r.info, n, kXidFormat);
    Put(r.info, n, kGroupUser);
    Put(r.info, n, 0);
    Put(r.info, n, kParamUniqueId);
    Put(r.info, n, static_cast<uint8_t>(size));
    for (int i = 0; i < size; ++i) Put(r.info, n, static_cast<uint8_t>(id[i]));
    Put(r.info, n, kParamDeviceType);
    Put(r.info, n, 1);
    Put(r.info, n, static_cast<uint8_t>(d.deviceType));
    Put(r.info, n, kParamVendor);
    Put(r.info, n, 2);
    Put(r.info, n, size > 0 ? static_cast<uint8_t>(id[0]) : 0);
    Put(r.info, n, size > 1 ? static_cast<uint8_t>(id[1]) : 0);
    if (withVersion) {
      Put(r.info, n, kParamAisgVersion);
      Put(r.info, n, 1);
      Put(r.info, n, static_cast<uint8_t>(d.aisgVersion));
    }
    r.info[2] = static_cast<uint8_t>(n - 3);
    r.infoLength = n;
  };

  if (IsScan(x)) {
    MakeReply(answerControl, r);
    return putIdentity(true);
  }
  if (IsAssignment(x)) {
    if (AllZero(x.uid, x.uidLength)) {
      // Address reset: acknowledged under the address being given up.
      MakeReply(ctrl::kUa, r);
      CloseLink();
      d.address = 0;
      return;
    }
    if (x.newAddress == 0 || x.newAddress == kAllStations) return;
    if (x.newAddress != d.address) CloseLink();
    d.address = x.newAddress;
    MakeReply(answerControl, r);
    if (d.generation >= 2) putIdentity(false);
    return;
  }
  if (x.reset) {
    // A broadcast reset is not answered: every device would talk at once.
    if (f.address != kAllStations) {
      MakeReply(answerControl, r);
      const uint8_t params[] = {kXidFormat, kGroupUser, 2, kParamReset, 0};
      std::memcpy(r.info, params, sizeof params);
      r.infoLength = sizeof params;
    }
    Restart(false);
    d.restartUntilUs = nowUs + kXidResetRestartUs;
    return;
  }
  if (x.versionQuery) {
    MakeReply(answerControl, r);
    Put(r.info, n, kXidFormat);
    Put(r.info, n, kGroupUser);
    Put(r.info, n, 0);
    for (int i = 0; i + 2 <= x.paramsLength;) {
      const uint8_t id = x.params[i];
      const int len = x.params[i + 1];
      if (id == kParamRelease) {
        Put(r.info, n, id);
        Put(r.info, n, 1);
        Put(r.info, n, static_cast<uint8_t>(d.release3gpp));
      } else if (id == kParamProtocolVersion) {
        Put(r.info, n, id);
        Put(r.info, n, 1);
        Put(r.info, n, static_cast<uint8_t>(d.protocolVersion));
      } else if (id == kParamSubVersion) {
        Put(r.info, n, id);
        Put(r.info, n, 2);
        Put(r.info, n, static_cast<uint8_t>(d.subVersion & 0xFF));
        Put(r.info, n, static_cast<uint8_t>((d.subVersion >> 8) & 0xFF));
      }
      i += 2 + len;
    }
    r.info[2] = static_cast<uint8_t>(n - 3);
    r.infoLength = n;
  }
}

int SecondaryStation::Encode(const Reply& r, uint8_t* wire, int capacity) {
  SimFaults& faults = device_.faults;
  if (faults.zeroByteFrames > 0) {
    --faults.zeroByteFrames;
    if (capacity < 1) return 0;
    wire[0] = 0x00;
    return 1;
  }
  const uint8_t address =
      faults.wrongAddress >= 0 ? static_cast<uint8_t>(faults.wrongAddress) : r.address;
  int n = EncodeFrame(address, r.control, r.info, r.infoLength, wire, capacity);
  if (n < 0) return 0;
  if (faults.badFcsFrames > 0) {
    --faults.badFcsFrames;
    // Re-encode with a broken FCS: build the raw bytes again and flip them.
    uint8_t raw[kMaxInfo + 4];
    raw[0] = address;
    raw[1] = r.control;
    std::memcpy(raw + 2, r.info, static_cast<size_t>(r.infoLength));
    uint16_t fcs = hdlc::Fcs16(raw, static_cast<size_t>(r.infoLength + 2));
    fcs ^= 0xA5A5;
    raw[r.infoLength + 2] = static_cast<uint8_t>(fcs & 0xFF);
    raw[r.infoLength + 3] = static_cast<uint8_t>(fcs >> 8);
    wire[0] = kFlag;
    const int m = hdlc::EscapeBytes(raw, static_cast<size_t>(r.infoLength + 4), wire + 1,
                                    static_cast<size_t>(capacity - 2));
    if (m < 0) return 0;
    wire[m + 1] = kFlag;
    n = m + 2;
  }
  if (faults.gluedFrame) {
    // A second, complete frame right behind the answer.
    const int m = EncodeFrame(address, static_cast<uint8_t>((device_.nr << 5) | 0x11), nullptr, 0,
                              wire + n, capacity - n);
    if (m > 0) n += m;
  }
  if (faults.trailingBytes && n + 2 <= capacity) {
    wire[n++] = kFlag;
    wire[n++] = 0x01;
  }
  return n;
}

}  // namespace ald::sim
