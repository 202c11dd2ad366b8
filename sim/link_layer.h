// The secondary station of one simulated device: what an AISG 1.x or AISG 2.0
// antenna line device answers to each command frame of the primary.
//
// It covers the HDLC side only: link set-up and release, sequence numbers,
// polling, frame rejects, the XID exchanges of discovery, addressing, reset,
// version and HDLC parameters, and the link-layer faults of SimFaults. What a
// layer-7 message means is the device model's business (SimDevice).
#pragma once

#include <cstdint>

#include "sim/sim_device.h"

namespace ald::sim {

// Control bytes as they appear on the line.
namespace ctrl {
constexpr uint8_t kSnrm = 0x93;
constexpr uint8_t kDisc = 0x53;
constexpr uint8_t kUa = 0x73;
constexpr uint8_t kDm = 0x1F;
constexpr uint8_t kFrmr = 0x97;
constexpr uint8_t kXid = 0xBF;
constexpr uint8_t kPollFinal = 0x10;
}  // namespace ctrl

constexpr uint8_t kAllStations = 0xFF;
// Largest information field a device accepts or sends.
constexpr int kMaxInfo = 250;
// Largest frame on the line after transparency, with room for the trailing
// and glued bytes of the fault settings.
constexpr int kMaxWire = 2 * (kMaxInfo + 4) + 2 + 32;
// A device reset by XID stays silent this long while it restarts.
constexpr int64_t kXidResetRestartUs = 1000000;

// FRMR reason bits (third byte of the FRMR information field).
namespace frmr {
constexpr uint8_t kUndefinedControl = 0x01;  // W
constexpr uint8_t kInfoNotAllowed = 0x02;    // X
constexpr uint8_t kInfoTooLong = 0x04;       // Y
constexpr uint8_t kInvalidNr = 0x08;         // Z
constexpr uint8_t kInvalidNs = 0x10;         // V
}  // namespace frmr

// One command frame after its flags, transparency and FCS have been removed.
struct Frame {
  uint8_t address = 0;
  uint8_t control = 0;
  const uint8_t* info = nullptr;
  int infoLength = 0;
};

// Decodes a frame as it crossed the line (0x7E, escaped bytes, 0x7E). `raw`
// receives the unescaped address, control, information and FCS; `frame`
// points into it. False for anything that is not one good frame.
bool DecodeFrame(const uint8_t* wire, int length, uint8_t* raw, int capacity, Frame& frame);

// Builds a whole frame for the line: flags, FCS, transparency. Returns its
// length, or -1 when it does not fit `capacity`.
int EncodeFrame(uint8_t address, uint8_t control, const uint8_t* info, int infoLength,
                uint8_t* wire, int capacity);

// True when some span between two flags of `bytes` reads as a frame with a
// good FCS, whether the receiver undoes every escape or only the two escape
// pairs, and whether or not it takes an unescaped 0x7E as the end of a frame:
// that is, when a receiver could take anything from them.
bool ContainsGoodFrame(const uint8_t* bytes, int length);

// Changes `bytes` (no longer than kMaxWire) until ContainsGoodFrame is false:
// what a collision leaves on the line never passes an FCS check.
void SpoilFrames(uint8_t* bytes, int length);

class SecondaryStation {
 public:
  explicit SecondaryStation(SimDevice& device) : device_(device) {}
  SecondaryStation(const SecondaryStation&) = delete;
  SecondaryStation& operator=(const SecondaryStation&) = delete;

  SimDevice& device() { return device_; }

  // Answers `frame`, whose last byte crossed the line at `nowUs`: writes the
  // bytes the device puts on the line into `wire` (at least kMaxWire) and
  // returns their number; 0 when the device stays silent.
  int Respond(const Frame& frame, int64_t nowUs, uint8_t* wire, int capacity);

  // Restart: no link, sequence numbers 0. A power cycle passes false. After a software restart
  // (reset, new software) an AISG 1.1 device keeps its address; an AISG 2.0 device, and any device
  // after an XID reset (keepAisg1Address false), loses it.
  void Restart(bool keepAisg1Address);

 private:
  // The answer a command calls for, before the fault settings touch it.
  struct Reply {
    bool none = true;
    uint8_t address = 0;
    uint8_t control = 0;
    int infoLength = 0;
    uint8_t info[kMaxInfo] = {};
  };

  bool Concerns(const Frame& frame) const;
  void Handle(const Frame& frame, int64_t nowUs, Reply& r);
  void HandleXid(const Frame& frame, int64_t nowUs, Reply& r);
  void HandleInfo(const Frame& frame, int64_t nowUs, Reply& r);
  void HandlePoll(const Frame& frame, int64_t nowUs, bool allowBusy, Reply& r);
  // Takes the primary's N(R): 1 when our outstanding I-frame is now
  // acknowledged or none is outstanding, 0 when it is outstanding and not
  // acknowledged, -1 when N(R) is impossible.
  int TakeAck(int nr);
  void SendNewInfo(const uint8_t* info, int length, Reply& r);
  void SendOutstanding(Reply& r);
  void SetFrmr(uint8_t rejectedControl, uint8_t reason, Reply& r);
  void MakeReply(uint8_t control, Reply& r) const;
  // Link state back to its start (SNRM); CloseLink also tells the device
  // that the link is gone.
  void DropLink();
  void CloseLink();
  // The unique ID in the form the device expects in address assignment.
  int AssignmentId(uint8_t* out) const;
  int Encode(const Reply& r, uint8_t* wire, int capacity);

  SimDevice& device_;
  bool frmrCondition_ = false;
  uint8_t frmrInfo_[3] = {};
  bool receivedInfo_ = false;  // an I-frame arrived since the link was set up
  bool outstanding_ = false;   // an I-frame was sent and is not acknowledged
  int outNs_ = 0;
  int outLength_ = 0;
  uint8_t out_[kMaxInfo] = {};
  uint8_t scratch_[kMaxInfo] = {};
};

}  // namespace ald::sim
