// Link-level operations of the procedure engine: bus open/close, link
// set-up with SNRM, RR polls, I-frames with retries, waiting for a layer-7
// answer, disconnect and HDLC parameter negotiation.
#include <cstdio>
#include <cstring>

#include "aldlink/procedures/aisgdeviceep.h"
#include "aldlink/procedures/procedure_util.h"
#include "support/clock.h"

using namespace ald::procedures;

namespace {

constexpr int kCtrlUA = 0x73;
constexpr int kCtrlFRMR = 0x97;
// An RR without the final bit: the device is no longer in normal response
// mode and wants a new SNRM.
constexpr int kCtrlLinkLost = 0x01;

struct PollLimits {
  int pauseMs;
  int maxPolls;
  int maxMisses;
};

// Long-running procedures answer RR while they work, so they are polled
// slowly and long; everything else is expected at once.
PollLimits LimitsFor(unsigned char code) {
  switch (code) {
    case 0x0A:  // self test
      return {500, 20, 5};
    case 0x22:
    case 0x42:  // download end
      return {500, 30, 5};
    case 0x31:
    case 0x80:  // calibrate
      return {500, 300, 5};
    case 0x33:
    case 0x81:  // set tilt
    case 0x90:
    case 0xFF:  // vendor-specific
      return {500, 240, 5};
    default:
      return {0, 20, 10};
  }
}

}  // namespace

int AISGDEVICEEP::OpenConnection() {
  EnableRS485();
  return 0;
}

int AISGDEVICEEP::StopConnection() {
  DisableRS485();
  return 0;
}

// A builder that could not send leaves the previous answer in readFrame;
// its result must win over a parser that would look at that stale answer.
int AISGDEVICEEP::SetSNRM(int address) {
  int result = kNoAnswer;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt == 1 && GetHdlcCtrlCode() == kCtrlFRMR) {
      // The device rejected the SNRM: clear its link state first.
      if (AISGHDLC::SetDISC(address) != kInvalid) GetDISC(address);
      ald::GetClock().SleepMs(1000);
    }
    int sent = AISGHDLC::SetSNRM(address);
    result = sent != 0 ? sent : GetSNRM(address);
    if (result == kOk) break;
  }
  if (result != kOk) return result;

  // Normal response mode is confirmed only by an answer to a poll.
  for (int poll = 0; poll < 3; ++poll) {
    int sent = AISGHDLC::SetRR(address);
    result = sent != 0 ? sent : GetRR(address);
    if (result == kOk) break;
    if (sent != 0) continue;
    if (GetHdlcCtrlCode() == kCtrlUA) {
      result = kOk;
      break;
    }
    if (GetHdlcCtrlCode() == kCtrlLinkLost) {
      for (int again = 0; again < 2; ++again) {
        sent = AISGHDLC::SetSNRM(address);
        result = sent != 0 ? sent : GetSNRM(address);
        if (result == kOk) break;
      }
      break;
    }
  }
  return result;
}

int AISGDEVICEEP::SetRR(int address) {
  int sent = AISGHDLC::SetRR(address);
  return sent != 0 ? sent : GetRR(address);
}

int AISGDEVICEEP::SetDISC(int address) {
  int sent = AISGHDLC::SetDISC(address);
  return sent != 0 ? sent : GetDISC(address);
}

int AISGDEVICEEP::SetXIDReset(int address) {
  return AISGHDLC::SetXIDReset(address);
}

int AISGDEVICEEP::SendInfo(int address, char* info, int length) {
  return SendInfo(address, info, length, 0);
}

int AISGDEVICEEP::SendInfo(int address, char* info, int length, int reconnect) {
  int result = kNoAnswer;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt == 2 && reconnect != 0) SetSNRM(address);
    result = SetInfo(address, info, length);
    if (result == kOk) return kOk;
  }
  return result;
}

int AISGDEVICEEP::Polling(int address, int version, char procedure, char* out) {
  const PollLimits limits = LimitsFor(static_cast<unsigned char>(procedure));

  // The device may have answered the I-frame itself.
  if (AISGHDLC::GetInfo(address, version, out) == kOk && out[0] == procedure) return kOk;

  int result = kNoAnswer;
  int polls = 0;
  int misses = 0;
  while (misses < limits.maxMisses) {
    int sent = AISGHDLC::SetRR(address);
    if (sent != 0 && sent != kBadResponse && sent != kNoAnswer) {
      // Nothing went out; readFrame still holds an older answer.
      result = sent;
      ++misses;
    } else {
      result = AISGHDLC::GetInfo(address, version, out);
      if (result == kOk) {
        if (out[0] == procedure) return kOk;
        misses = 0;  // the device answered something else
      }
      if (IsReadRR()) {
        misses = 0;
      } else if (IsReadSupervisoryFormat()) {
        misses = 0;  // busy or rejecting: give it a second
        ald::GetClock().SleepMs(1000);
      } else if (GetHdlcCtrlCode() == kCtrlLinkLost) {
        sent = AISGHDLC::SetSNRM(address);
        result = sent != 0 ? sent : GetSNRM(address);
        if (result != kOk) AISGHDLC::SetSNRM(address);
      } else {
        ++misses;
      }
    }
    if (limits.pauseMs > 0) ald::GetClock().SleepMs(limits.pauseMs);
    if (++polls >= limits.maxPolls) return result;
  }
  return result;
}

int AISGDEVICEEP::GetHdlcParams(int address, AISGDeviceParams* params) {
  if (params == nullptr) return kInvalid;
  char offer[18] = {0x05, 0x04, 0x50, 0x02, 0x00, 0x00, 0x06, 0x04, 0x50,
                    0x02, 0x00, 0x00, 0x07, 0x01, 0x01, 0x08, 0x01, 0x01};
  int sent = SetXIDParams(address, offer, sizeof offer);
  if (sent != 0) return sent;

  // The parser copies as many bytes as the group length claims; give it a
  // whole frame's worth and keep only what the frame really carried.
  char buffer[256] = {};
  int answerAddress = 0;
  int version = 0;
  int length = 0;
  int result = GetXIDParams(answerAddress, version, buffer, length);
  if (result != kOk) return result;
  // Flags, address, control, format, group, group length and FCS surround
  // the parameters.
  int carried = readFrame.size - 9;
  if (carried < 0) carried = 0;
  if (length < 0) length = 0;
  if (length > carried) length = carried;
  if (length > static_cast<int>(sizeof params->devRcuCodes)) length = sizeof params->devRcuCodes;

  params->devAddress = answerAddress;
  params->devAisgVersion = version;
  std::memset(params->devRcuCodes, 0, sizeof params->devRcuCodes);
  std::memcpy(params->devRcuCodes, buffer, length);
  params->devRcuCodesSize = length;
  PrintDeviceInfo(32, params);

  const unsigned char* b = params->devRcuCodes;
  int i = 0;
  while (i < length) {
    int id = b[i];
    if (i + 1 >= length) return kBadResponse;  // identifier without a length
    int n = b[i + 1];
    if (i + 2 + n > length) return kBadResponse;  // value runs past the answer
    const unsigned char* v = b + i + 2;
    if (id == 5 || id == 6) {
      if (n > 4) return kBadResponse;
      unsigned value = 0;
      for (int k = n - 1; k >= 0; --k) value = (value << 8) | v[k];
      if (id == 5) {
        printf("Max info field length - transmit(bits): %u, (%u octets)\n", value, value / 8);
      } else {
        printf("Max info field length - receive (bits): %u, (%u octets)\n", value, value / 8);
      }
    } else if (id == 7 || id == 8) {
      if (n > 1) return kBadResponse;
      unsigned value = n == 1 ? v[0] : 0;
      if (id == 7) {
        printf("Windows size - transmit: %u\n", value);
      } else {
        printf("Windows size - receive : %u\n", value);
      }
    } else {
      return kBadResponse;
    }
    i += 2 + n;
  }
  return kOk;
}
