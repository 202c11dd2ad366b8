// The layer-7 side of a simulated antenna line device: a RET (single or
// multi-antenna) or a TMA (one or more subunits) that answers the elementary
// procedures of either generation the way a field device does, including
// the time a tilt movement, a calibration, a self test or the end of a
// software download takes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "aldlink/procedures/returncodes.h"
#include "sim/sim_device.h"

namespace ald::sim {

// Return codes of an answer (both generations number these alike).
constexpr uint8_t kRetOk = ald::rc::aisg2::kOk;
constexpr uint8_t kRetFail = ald::rc::aisg2::kFail;

// Why a device refuses a procedure. The number it puts after FAIL depends
// on its generation: AISG 2.0 and AISG 1.x number several reasons
// differently (ReasonCode).
enum class Refusal : uint8_t {
  kMotorJam,
  kBusy,
  kDeviceDisabled,  // AISG 1.x only
  kNotCalibrated,
  kOutOfRange,
  kBlockSequence,    // AISG 1.x download blocks
  kSegmentSequence,  // AISG 1.x download segments
  kUnknownProcedure,
  kUnsupportedProcedure,  // a procedure of another device type
  kReadOnly,
  kUnknownParameter,
  kInvalidFileContent,
  kFormatError,
  kProcedureSequence,
};
// The return code of `why` in the list of `generation` (1 = AISG 1.x; the
// AISG 1.x TMA list is not public yet, so both AISG 1.x device types answer
// with the RET list).
uint8_t ReasonCode(int generation, Refusal why);

// Procedure codes the devices know.
namespace code {
constexpr uint8_t kGetDeviceType = 0x02;  // AISG 1.x
constexpr uint8_t kReset = 0x03;
constexpr uint8_t kGetAlarms = 0x04;
constexpr uint8_t kGetInfo = 0x05;
constexpr uint8_t kClearAlarms = 0x06;
constexpr uint8_t kEnable = 0x08;   // AISG 1.x
constexpr uint8_t kDisable = 0x09;  // AISG 1.x
constexpr uint8_t kSelfTest = 0x0A;
constexpr uint8_t kGetBitRates = 0x0D;  // AISG 1.x
constexpr uint8_t kSetDeviceData = 0x0E;
constexpr uint8_t kGetDeviceData = 0x0F;
constexpr uint8_t kReadUserData = 0x10;    // AISG 2.0
constexpr uint8_t kWriteUserData = 0x11;   // AISG 2.0
constexpr uint8_t kAlarmSubscribe = 0x12;  // AISG 2.0
constexpr uint8_t kBlockHeader = 0x20;     // AISG 1.x download
constexpr uint8_t kSegment1 = 0x21;
constexpr uint8_t kDownloadEnd1 = 0x22;
constexpr uint8_t kDownloadStart1 = 0x2E;
constexpr uint8_t kCalibrate = 0x31;
constexpr uint8_t kSendConfig = 0x32;
constexpr uint8_t kSetTilt = 0x33;
constexpr uint8_t kGetTilt = 0x34;
constexpr uint8_t kDownloadStart = 0x40;  // AISG 2.0 and HEX form; AISG 1.x TMA: set mode
constexpr uint8_t kSegment = 0x41;        // AISG 1.x TMA: get mode
constexpr uint8_t kDownloadEnd = 0x42;    // AISG 1.x TMA: set gain
constexpr uint8_t kTmaGetGain1 = 0x43;
constexpr uint8_t kTmaSetMode = 0x70;
constexpr uint8_t kTmaGetMode = 0x71;
constexpr uint8_t kTmaSetGain = 0x72;
constexpr uint8_t kTmaGetGain = 0x73;
constexpr uint8_t kTmaSetDeviceData = 0x74;
constexpr uint8_t kTmaGetDeviceData = 0x75;
constexpr uint8_t kTmaClearAlarms = 0x77;
constexpr uint8_t kTmaGetAlarms = 0x78;
constexpr uint8_t kTmaGetSubunits = 0x79;
constexpr uint8_t kTmaGetFunctions = 0x7A;
constexpr uint8_t kTmaGetNonLinearGains = 0x7B;
constexpr uint8_t kAntCalibrate = 0x80;
constexpr uint8_t kAntSetTilt = 0x81;
constexpr uint8_t kAntGetTilt = 0x82;
constexpr uint8_t kAntSetDeviceData = 0x83;
constexpr uint8_t kAntGetDeviceData = 0x84;
constexpr uint8_t kAntClearAlarms = 0x86;
constexpr uint8_t kAntGetAlarms = 0x87;
constexpr uint8_t kAntGetCount = 0x88;
constexpr uint8_t kAntSendConfig = 0x89;
constexpr uint8_t kAlarmIndication = 0x07;     // AISG 2.0, sent by the device
constexpr uint8_t kAntAlarmIndication = 0x85;  // per antenna
constexpr uint8_t kTmaAlarmIndication = 0x76;  // per TMA subunit
constexpr uint8_t kVendorSpecific2 = 0x90;
constexpr uint8_t kVendorSpecific1 = 0xFF;
}  // namespace code

// Per-subunit procedures of AISG 2.0 and the number of data bytes that
// follow their subunit byte: -1 variable, -2 not a per-subunit procedure.
int SubunitDataLength(uint8_t procedureCode);

// Device data fields: identifier, value length per generation, encoding.
enum class FieldKind { kText, kU16, kBeamwidth, kGains, kS16, kMechTilt, kU8, kBand };
struct FieldInfo {
  uint8_t id;
  uint8_t length1;  // AISG 1.x value length
  uint8_t length2;  // AISG 2.0 value length
  FieldKind kind;
  bool ret;  // a RET stores it
  bool tma;  // a TMA stores it
};
// The field of `id`, or nullptr for an identifier no device knows.
const FieldInfo* FindField(uint8_t id);
inline int FieldLength(const FieldInfo& f, int generation) {
  return generation == 1 ? f.length1 : f.length2;
}
// Re-encodes a stored value from one generation's layout to the other's
// (texts keep their characters right-aligned, numbers their value).
std::vector<uint8_t> ConvertFieldValue(const FieldInfo& f, const std::vector<uint8_t>& value,
                                       int fromGeneration, int toGeneration);
// A text value as a device stores it: right-aligned, zero bytes in front.
std::vector<uint8_t> TextValue(const std::string& text, int length);

// One antenna of a RET or one TMA subunit.
struct AldSubunit {
  // Device data that is stored as written: identifier → value bytes in the
  // layout of the device's current generation. Tilt range (0x06, 0x07) and
  // TMA gain range (0x16 to 0x18) are derived from the members below.
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> fields;
  std::vector<uint8_t> alarms;  // active alarm codes, in order of raising

  // RET.
  int tilt = 0;  // tenths of a degree
  int minTilt = 0;
  int maxTilt = 100;
  bool calibrated = true;
  bool jammed = false;             // the actuator does not move: tilt and calibration fail
  int64_t configurationBytes = 0;  // configuration data received so far

  // TMA.
  int mode = 0;  // 0 normal, 1 bypass
  int gain = 0;  // quarter decibels
  int minGain = 0;
  int maxGain = 0;
  int gainStep = 1;
  uint8_t functions = 1;  // bit 0: bypass supported
  std::vector<uint8_t> nonLinearGains;

  std::vector<uint8_t>* Field(uint8_t id);
  const std::vector<uint8_t>* Field(uint8_t id) const;
  void SetField(uint8_t id, std::vector<uint8_t> value);
};

class SimAld : public SimDevice {
 public:
  // Identity texts of the information procedure.
  std::string productNumber;
  std::string serialNumber;
  std::string hardwareVersion;
  std::string softwareVersion;
  std::string bitRates = "9600";  // AISG 1.x bit rates answer

  std::vector<AldSubunit> subunits{1};
  std::vector<uint8_t> userData = std::vector<uint8_t>(256, 0);  // AISG 2.0 user data area
  std::vector<uint8_t> readOnlyFields{0x06, 0x07, 0x13, 0x16, 0x17, 0x18};

  // Timing of the procedures that take time.
  int tiltSpeed = 10;                  // tenths of a degree per second
  int64_t calibrationUs = 20'000'000;  // a full sweep of the actuator
  int64_t selfTestUs = 2'000'000;
  int64_t downloadEndUs = 3'000'000;  // checking and storing a new image
  int64_t restartUs = 1'500'000;      // silent after a reset or a download

  // What a completed software download changes (0 / empty: nothing).
  int generationAfterDownload = 0;
  std::string softwareVersionAfterDownload;

  bool enabled = true;  // AISG 1.x: refused while disabled; a restart disables
  // AISG 2.0: alarms that change are indicated on the next poll, until the
  // link closes or the device restarts.
  bool alarmSubscribed = false;

  bool IsRet() const { return deviceType == 1 || deviceType == 17; }
  bool IsTma() const { return deviceType == 2 || deviceType == 16; }

  // A reset (and a completed download, through PendingAnswer) returns its
  // answer with restartPending already set: the bus sends that answer, then
  // restarts the station.
  int HandleMessage(const uint8_t* info, int length, int64_t nowUs, uint8_t* out,
                    int capacity) override;
  int PendingAnswer(int64_t nowUs, uint8_t* out, int capacity) override;
  void LinkClosed() override;
  // Alarm changes waiting for a poll to be indicated.
  int QueuedIndications() const { return indicationCount_; }

  // A delayed answer is on its way.
  bool Busy() const { return pending_.active; }
  // Bytes of software image received by the download in progress (or the last one).
  int64_t DownloadedBytes() const { return download_.total; }
  // Switches the generation, re-encoding the stored device data.
  void ChangeGeneration(int newGeneration);

 private:
  // One answer being built: procedure code, optional echoed subunit, return
  // code and result data.
  struct Answer {
    uint8_t lead = 1;  // AISG 1.x leading byte (echoed)
    uint8_t code = 0;
    bool echoSubunit = false;
    uint8_t subunit = 0;
    uint8_t ret = kRetOk;
    std::array<uint8_t, 512> data{};
    int size = 0;
    void Add(uint8_t b) {
      if (size < static_cast<int>(data.size())) data[size++] = b;
    }
    void Add16(int v) {
      Add(static_cast<uint8_t>(v & 0xFF));
      Add(static_cast<uint8_t>((v >> 8) & 0xFF));
    }
    void Fail(uint8_t reason) {
      ret = kRetFail;
      size = 0;
      Add(reason);
    }
  };
  struct Request {
    int generation = 2;
    uint8_t code = 0;
    const uint8_t* data = nullptr;
    int length = 0;
  };
  enum class Work { kNone, kTilt, kCalibrate, kSelfTest, kDownloadEnd };
  struct Pending {
    bool active = false;
    Work work = Work::kNone;
    int64_t readyUs = 0;
    int subunit = 0;  // index
    int target = 0;   // tilt
    bool restartAfter = false;
    Answer answer;
  };
  struct Download {
    bool active = false;
    bool blocks = false;  // AISG 1.x block form seen
    int nextBlock = 0;
    int blockLength = 0;  // of the current block, 0 when no header yet
    int blockReceived = 0;
    int nextSegment = 0;
    int64_t total = 0;
  };

  // Returns false when the answer is delayed (pending_ holds it).
  bool Dispatch(const Request& r, int64_t nowUs, Answer& a);
  bool DispatchRet(const Request& r, int64_t nowUs, Answer& a);
  bool DispatchTma(const Request& r, Answer& a);
  bool DispatchDownload(const Request& r, int64_t nowUs, Answer& a);
  // Splits off the subunit byte of a per-subunit request with `fixed` data
  // bytes after it (-1: variable). Sets `index`; false after setting a FAIL.
  bool TakeSubunit(const Request& r, int fixed, Answer& a, int& index, const uint8_t*& data,
                   int& length);
  void ReadDeviceData(const AldSubunit& s, const uint8_t* ids, int count, Answer& a) const;
  void WriteDeviceData(AldSubunit& s, const uint8_t* data, int length, Answer& a);
  void DerivedField(const AldSubunit& s, const FieldInfo& f, Answer& a) const;
  void StartTilt(int index, int target, int64_t nowUs, Answer& a);
  void StartCalibration(int index, int64_t nowUs, Answer& a);
  void Delay(Work work, int index, int64_t readyUs, const Answer& a);
  void Restart(int64_t nowUs);
  int Serialize(const Answer& a, uint8_t* out, int capacity, bool withReturnCode = true) const;
  void AllAlarms(Answer& a) const;
  // Raises `code` on subunit `s` (indicated when subscribed and new).
  void AddAlarm(AldSubunit& s, uint8_t code);
  void RemoveAlarm(AldSubunit& s, uint8_t code);
  // Clears the alarms of `s`; conditions that still hold raise theirs again.
  void ClearAlarms(AldSubunit& s);
  void Indicate(const AldSubunit& s, uint8_t code, bool raised);
  int SendIndication(uint8_t* out, int capacity);
  uint8_t Code(Refusal why) const { return ReasonCode(generation, why); }

  struct Indication {
    uint8_t subunit = 0;  // 1-based
    uint8_t code = 0;
    bool raised = false;
  };
  Pending pending_;
  Download download_;
  std::array<Indication, 32> indications_{};
  int indicationCount_ = 0;
  int generationOfPending_ = 2;
};

}  // namespace ald::sim
