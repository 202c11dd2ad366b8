// One simulated antenna line device as the bus and its link layer see it:
// identity, address, fault settings and the layer-7 entry points.
//
// The link layer (secondary station, XID, addressing, collisions) is the
// bus's business; what a device does with a layer-7 message is the device
// model's. This header is the whole contract between the two.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ald::sim {

// Faults a test or a site file can set on one device.
struct SimFaults {
  // Link layer.
  bool silent = false;         // never answers anything
  int silentFrames = 0;        // ignores the next N frames addressed to it
  int frmrFrames = 0;          // answers the next N frames with FRMR
  int wrongAddress = -1;       // >= 0: answers under this address instead of its own
  int badFcsFrames = 0;        // the next N answers carry a broken FCS
  int zeroByteFrames = 0;      // the next N answers are a single 0x00 byte
  int rnrFrames = 0;           // answers the next N polls with RNR (busy)
  int rnrInfoFrames = 0;       // refuses the next N I-frames with RNR, without taking them
  bool trailingBytes = false;  // garbage after the closing flag of each answer
  bool gluedFrame = false;     // a second frame glued after each answer
  // Layer 7.
  std::vector<uint8_t> failReasons;  // non-empty: procedures answer FAIL with these codes
  bool longTexts = false;            // text answers longer than the fields they fill
  // Layer 7, malformed answers (device model; for the controller's bad-input tests).
  int lengthFieldDelta = 0;         // added to the length field of every answer, data unchanged
  int padAnswersTo = 0;             // > 0: answer data padded with zero bytes to this length
  int missingBytes = 0;             // the last N result bytes of every answer are left out
  bool unknownFieldIds = false;     // device data answers carry an identifier no device knows
  bool bareFail = false;            // FAIL answers carry no reason codes
  int returnCode = -1;              // >= 0: every answer carries this return code
  bool wrongProcedureCode = false;  // answers carry another procedure code than the request
};

class SimDevice {
 public:
  virtual ~SimDevice() = default;

  // Identity, fixed by the site file.
  int generation = 2;       // 1 = AISG 1.x, 2 = AISG 2.0
  int deviceType = 1;       // AISG device type code
  std::string uniqueId;     // vendor code (2 ASCII characters) then serial number, at most 19 bytes
  int aisgVersion = 2;      // AISG version parameter of scan answers
  int release3gpp = 6;      // XID parameter 5
  int protocolVersion = 2;  // XID parameter 20 (AISG protocol version)
  int subVersion = 0;       // XID parameter 21 (extended sub-version)

  // Link state, kept by the bus.
  int address = 0;         // current HDLC address, 0 = none
  bool connected = false;  // SNRM seen, not disconnected since
  int nr = 0;              // V(R): next N(S) expected from the primary
  int ns = 0;              // V(S): N(S) of the next I-frame sent
  SimFaults faults;

  std::string VendorCode() const { return uniqueId.substr(0, 2); }

  // A layer-7 message arrived in a new I-frame. Writes the answer's
  // information field into `out` and returns its length, or returns 0 when
  // the answer is not ready yet (the device then answers RR to polls until
  // PendingAnswer has it).
  virtual int HandleMessage(const uint8_t* info, int length, int64_t nowUs, uint8_t* out,
                            int capacity) = 0;

  // What the device sends when polled: a delayed answer (tilt moving,
  // calibration, download end) once ready at `nowUs`, or else a message of
  // its own (an alarm indication); 0 when it has nothing to send.
  virtual int PendingAnswer(int64_t nowUs, uint8_t* out, int capacity) = 0;

  // The link to the controller was closed (DISC, address reset or change,
  // XID reset): whatever the controller set up over it ends.
  virtual void LinkClosed() {}

  // True when the device restarted (reset, software download) and the bus
  // should drop its link state; the device model may have changed
  // `generation`. Cleared by the bus.
  bool restartPending = false;
  // Until this time the device is restarting and answers nothing.
  int64_t restartUntilUs = 0;
};

}  // namespace ald::sim
