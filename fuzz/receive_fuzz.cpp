// Whatever arrives on the line after a command: the receive path cuts a
// frame out of it and every answer parser looks at the result. The input
// picks a command, its address and arguments, then supplies the answer (see
// fuzz_line.h); a handful of exchanges per input keeps one run short.
#include <cstdint>
#include <cstring>

#include "aldlink/hdlc/aisghdlc.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/fuzz_line.h"
#include "support/clock.h"

namespace {

constexpr int kMaxCommands = 8;

enum Command {
  kSNRM,
  kDISC,
  kRR,
  kInfo,
  kXidParams,
  kXidUserParams,
  kXidScan,
  kXidAddress,
  kXidReset,
  kRawSend,
  kReadOnly,
  kCommandCount
};

void CopyRun(const fuzz::Bytes& run, char* to, size_t capacity) {
  std::memset(to, 0, capacity);
  const size_t n = run.size() < capacity ? run.size() : capacity;
  if (n > 0) std::memcpy(to, run.data(), n);
}

// Calls every parser over the frame just read, with buffers of the size the
// callers give them (a whole frame's worth).
void ParseEverything(AISGHDLC& link, int address) {
  char buffer[256];
  int answerAddress = 0;
  int version = 0;
  int length = 0;
  link.GetSNRM(address);
  link.GetDISC(address);
  link.GetRR(address);
  // An accepted XID answer names a station and a generation, and its
  // parameters lie inside the frame.
  auto checkXid = [&](int result) {
    if (result != 0) return;
    // Flags, address, control, format, group, group length and FCS take 9
    // of at most 256 bytes.
    if (version < 1 || version > 2 || length < 0 || length > 256 - 9) __builtin_trap();
  };
  checkXid(link.GetXIDParams(answerAddress, version, buffer, length));
  checkXid(link.GetXIDUserParams(answerAddress, version, buffer, length));
  checkXid(link.GetXIDScan(answerAddress, version, buffer, length));
  checkXid(link.GetXIDAddress(answerAddress, version, buffer, length));
  if (link.GetInfo(address, 1, buffer) == 0 && !link.IsReadINFO()) __builtin_trap();
  if (link.GetInfo(address, 2, buffer) == 0 && !link.IsReadINFO()) __builtin_trap();
  link.GetHdlcCtrlCode();
  const int size = link.GetFrameSize();
  if (size < 0 || size > 80) __builtin_trap();
  link.IsSendINFO();
  link.IsSendSupervisoryFormat();
  link.IsReadINFO();
  link.IsReadSupervisoryFormat();
  link.IsReadRR();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietStdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  ald::ScopedVirtualClock clock;
  fuzz::FuzzLine line(data, size, in, 4 * kMaxCommands);
  AISGHDLC link;
  link.EnableRS485();

  char args[512];
  char mask[512];
  for (int i = 0; i < kMaxCommands && !in.Empty(); ++i) {
    const unsigned command = in.Pick(kCommandCount);
    const int address = in.Byte();
    switch (command) {
      case kSNRM:
        link.SetSNRM(address);
        break;
      case kDISC:
        link.SetDISC(address);
        break;
      case kRR:
        link.SetRR(address);
        break;
      case kInfo: {
        const fuzz::Bytes info = in.Bytes(255);
        CopyRun(info, args, sizeof args);
        link.SetInfo(address, args, static_cast<int>(info.size()));
        break;
      }
      case kXidParams: {
        const fuzz::Bytes params = in.Bytes(255);
        CopyRun(params, args, sizeof args);
        link.SetXIDParams(address, args, static_cast<int>(params.size()));
        break;
      }
      case kXidUserParams: {
        const fuzz::Bytes params = in.Bytes(255);
        CopyRun(params, args, sizeof args);
        link.SetXIDUserParams(address, args, static_cast<int>(params.size()));
        break;
      }
      case kXidScan: {
        const fuzz::Bytes uid = in.Bytes(160);
        CopyRun(uid, args, sizeof args);
        CopyRun(in.Bytes(160), mask, sizeof mask);
        link.SetXIDScan(address, args, mask, static_cast<int>(uid.size()));
        break;
      }
      case kXidAddress: {
        const fuzz::Bytes uid = in.Bytes(255);
        CopyRun(uid, args, sizeof args);
        link.SetXIDAddress(address, args, static_cast<int>(uid.size()));
        break;
      }
      case kXidReset:
        link.SetXIDReset(address);
        break;
      case kRawSend: {
        const fuzz::Bytes frame = in.Bytes(260);
        CopyRun(frame, args, sizeof args);
        if (link.UartSend(args, static_cast<int>(frame.size())) == 0) link.UartRead();
        break;
      }
      case kReadOnly: {
        // Bytes left over from an earlier answer, or silence.
        char out[256];
        const int got = link.UartRead(out);
        if (got < 0 || got > 256) __builtin_trap();
        break;
      }
    }
    ParseEverything(link, address);
  }
  link.DisableRS485();
  return 0;
}
