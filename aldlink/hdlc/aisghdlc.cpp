// Frame builders, answer parsers, checksum and transparency of the link layer.
// The transmit/receive path is in transceiver.cpp, the trace in trace.cpp.
#include "aldlink/hdlc/aisghdlc.h"

#include <cstdio>
#include <cstring>

#include "aldlink/hdlc/fcs.h"
#include "aldlink/hdlc/hdlc_internal.h"
#include "support/clock.h"

using namespace ald::hdlc;

AISGHDLC::AISGHDLC() : sendSeq(0), recvSeq(0) {
  std::memset(&sendFrame, 0, sizeof sendFrame);
  std::memset(&readFrame, 0, sizeof readFrame);
}

// ---------------------------------------------------------------------------
// Frame check sequence and transparency

unsigned int AISGHDLC::crc_ulmoraisg(unsigned char* data, unsigned int length, int mode) {
  if (mode == 1) return Fcs16(data, length);
  if (mode == 2) {
    // A block too short to carry its own FCS can never be right.
    if (length < 2 || data == nullptr) return 0xFFFFu;
    const unsigned int sent = data[length - 2] | (data[length - 1] << 8);
    return Fcs16(data, length - 2) ^ sent;
  }
  return length;
}

void AISGHDLC::EncodeCOT() {
  // Callers check LineSize first; a frame that would overflow is left as it is
  // and then refused by UartSend.
  if (sendFrame.size < 3 || LineSize(sendFrame.data, sendFrame.size) > kFrameCapacity) return;
  for (int i = 1; i < sendFrame.size - 1; ++i) {
    const unsigned char b = sendFrame.data[i];
    if (b != kFlag && b != kEscape) continue;
    std::memmove(&sendFrame.data[i + 2], &sendFrame.data[i + 1], sendFrame.size - i - 1);
    sendFrame.data[i] = kEscape;
    sendFrame.data[i + 1] = static_cast<unsigned char>(b ^ 0x20);
    ++sendFrame.size;
    ++i;  // skip the escaped byte
  }
}

void AISGHDLC::DecodeCOT() {
  int size = readFrame.size;
  if (size > kFrameCapacity) size = kFrameCapacity;
  for (int i = 1; i < size - 1; ++i) {
    if (readFrame.data[i] != kEscape) continue;
    const unsigned char next = readFrame.data[i + 1];
    if (next != 0x5E && next != 0x5D) continue;
    readFrame.data[i] = static_cast<unsigned char>(next ^ 0x20);
    std::memmove(&readFrame.data[i + 1], &readFrame.data[i + 2], size - i - 2);
    --size;
    readFrame.data[size] = 0;
  }
  readFrame.size = size;
}

// ---------------------------------------------------------------------------
// Frame builders

int AISGHDLC::BuildFrame(int address, unsigned char control, const unsigned char* info,
                         int length) {
  // Every builder replaces the last answer: an exchange that ends before its
  // read (refused or not written) must not leave an old answer to the parsers.
  std::memset(&readFrame, 0, sizeof readFrame);
  readFrame.fcs = 82;
  // A caller asking for more than the line buffer can carry gets 84 ("cannot
  // be sent") before anything reaches the wire: a frame cut short would only
  // draw a bad answer, or a wrong one if the cut hit an escape pair.
  if (length < 0 || length > kFrameCapacity - kFrameOverhead || (length > 0 && info == nullptr)) {
    std::printf("%s", kTooLongMessage);
    sendFrame.size = 0;
    return 84;
  }
  unsigned char* d = sendFrame.data;
  d[0] = kFlag;
  d[1] = static_cast<unsigned char>(address);
  d[2] = control;
  if (length > 0) std::memcpy(&d[3], info, length);
  const uint16_t fcs = Fcs16(&d[1], length + 2);
  d[3 + length] = static_cast<unsigned char>(fcs & 0xFF);
  d[4 + length] = static_cast<unsigned char>(fcs >> 8);
  d[5 + length] = kFlag;
  sendFrame.size = length + kFrameOverhead;
  sendFrame.fcs = fcs;
  sendFrame.ctrlCode = 0;
  if (LineSize(d, sendFrame.size) > kFrameCapacity) {
    std::printf("%s", kTooLongMessage);
    sendFrame.size = 0;
    return 84;
  }
  return 0;
}

int AISGHDLC::BuildXid(int address, unsigned char group, const unsigned char* params, int length) {
  if (length < 0 || length > kFrameCapacity - kFrameOverhead - 3 ||
      (length > 0 && params == nullptr)) {
    return BuildFrame(address, 0xBF, nullptr, -1);  // refused with the message
  }
  unsigned char info[kFrameCapacity];
  info[0] = 0x81;
  info[1] = group;
  info[2] = static_cast<unsigned char>(length);
  if (length > 0) std::memcpy(&info[3], params, length);
  return BuildFrame(address, 0xBF, info, length + 3);
}

int AISGHDLC::Exchange(unsigned int wait) {
  if (UartSend() != 0) return 84;
  const int result = UartRead(wait);
  PrintSend();
  PrintRead();
  return result;
}

int AISGHDLC::SetSNRM(int address) {
  if (BuildFrame(address, 0x93, nullptr, 0) != 0) return 84;
  const int result = Exchange(150);
  if (result != 84 && GetSNRM(address) == 0) sendSeq = recvSeq = 0;
  return result;
}

int AISGHDLC::SetDISC(int address) {
  if (BuildFrame(address, 0x53, nullptr, 0) != 0) return 84;
  return Exchange(150);
}

int AISGHDLC::SetRR(int address) {
  const auto control = static_cast<unsigned char>(recvSeq * 32 + 0x11);
  if (BuildFrame(address, control, nullptr, 0) != 0) return 84;
  return Exchange(200);
}

int AISGHDLC::SetInfo(int address, char* info, int length) {
  const auto control = static_cast<unsigned char>(recvSeq * 32 + 0x10 + sendSeq * 2);
  if (BuildFrame(address, control, reinterpret_cast<const unsigned char*>(info), length) != 0)
    return 84;
  const int result = Exchange(400);
  if (result == 84) return 84;
  if (readFrame.size == 0) return 89;
  if (!IsReadINFO() && !IsReadSupervisoryFormat()) return 82;
  // Only an answer whose N(R) acknowledges the frame shows that the device
  // took it (a refusal by RNR or REJ does not); otherwise the next I-frame
  // must carry this number again, as the device still expects it.
  const int nr = (readFrame.data[2] >> 5) & 7;
  if (nr == (sendSeq + 1) % 8) {
    sendSeq = (sendSeq + 1) % 8;
  } else {
    std::printf("I-frame %d not acknowledged (N(R) %d)\n", sendSeq, nr);
  }
  return 0;
}

int AISGHDLC::SetXIDParams(int address, char* params, int length) {
  if (BuildXid(address, 0x80, reinterpret_cast<const unsigned char*>(params), length) != 0)
    return 84;
  return Exchange(150);
}

int AISGHDLC::SetXIDUserParams(int address, char* params, int length) {
  if (BuildXid(address, 0xF0, reinterpret_cast<const unsigned char*>(params), length) != 0)
    return 84;
  return Exchange(150);
}

int AISGHDLC::SetXIDReset(int address) {
  char reset[2] = {7, 0};
  const int result = SetXIDUserParams(address, reset, 2);
  // Devices restart after the reset; give them time whatever they answered.
  ald::GetClock().SleepMs(3500);
  return result;
}

int AISGHDLC::SetXIDScan(int address, char* uid, char* mask, int length) {
  // Parameters: 1, length, uid; 3, length, mask.
  if (length < 0 || 2 * length + 4 > kFrameCapacity - kFrameOverhead - 3 ||
      (length > 0 && (uid == nullptr || mask == nullptr))) {
    return BuildXid(address, 0xF0, nullptr, -1);  // refused with the message: 84
  }
  unsigned char params[kFrameCapacity];
  int n = 0;
  params[n++] = 1;
  params[n++] = static_cast<unsigned char>(length);
  if (length > 0) std::memcpy(&params[n], uid, length);
  n += length;
  params[n++] = 3;
  params[n++] = static_cast<unsigned char>(length);
  if (length > 0) std::memcpy(&params[n], mask, length);
  n += length;
  if (BuildXid(address, 0xF0, params, n) != 0) return 84;
  if (UartSend() != 0) return 89;
  const int result = UartRead();
  if (result == 89) {
    PrintSend(0);
  } else {
    PrintSend(1);
    PrintRead();
  }
  return result;
}

int AISGHDLC::SetXIDAddress(int newAddress, char* uid, int length) {
  // Parameters: 1, length, uid; 2, 1, new address.
  if (length < 0 || length + 5 > kFrameCapacity - kFrameOverhead - 3 ||
      (length > 0 && uid == nullptr)) {
    return BuildXid(0xFF, 0xF0, nullptr, -1);  // refused with the message: 84
  }
  unsigned char params[kFrameCapacity];
  int n = 0;
  params[n++] = 1;
  params[n++] = static_cast<unsigned char>(length);
  if (length > 0) std::memcpy(&params[n], uid, length);
  n += length;
  params[n++] = 2;
  params[n++] = 1;
  params[n++] = static_cast<unsigned char>(newAddress);
  if (BuildXid(0xFF, 0xF0, params, n) != 0) return 84;
  return Exchange(150);
}

// ---------------------------------------------------------------------------
// Answer parsers

int AISGHDLC::GetSNRM(int address) {
  if (readFrame.size == 0) return 89;
  if (readFrame.fcs != 0) return 82;
  if (readFrame.data[1] != address || readFrame.data[2] != 0x73) return 82;
  return 0;
}

int AISGHDLC::GetDISC(int address) {
  if (readFrame.size == 0) return 89;
  if (readFrame.fcs != 0) return 82;
  if (readFrame.data[1] != address) return 82;
  if (readFrame.data[2] != 0x1F && readFrame.data[2] != 0x73) return 82;
  return 0;
}

int AISGHDLC::GetRR(int address) {
  if (readFrame.size == 0) return 89;
  if (readFrame.fcs != 0) return 82;
  if (readFrame.data[1] != address) return 82;
  if (!IsReadSupervisoryFormat() && !IsReadINFO()) return 82;
  return 0;
}

int AISGHDLC::XidVersion() {
  if (readFrame.data[2] == 0x73) return 1;
  if (readFrame.data[2] == 0xBF) return 2;
  std::printf("Cannot determine asig version!\n");
  return 0;
}

bool AISGHDLC::ReadXidGroupIs(unsigned char group) const {
  // The XID header (format, group, group length) must lie inside the
  // information field; in a shorter frame those offsets hold the FCS.
  if (readFrame.size < kFrameOverhead + 3) return false;
  return readFrame.data[3] == 0x81 && readFrame.data[4] == group;
}

void AISGHDLC::CopyXidParams(char* params, int& length) const {
  // The group length is the device's word; never copy more than arrived
  // between the group length byte and the FCS.
  int n = readFrame.data[5];
  const int arrived = readFrame.size - kFrameOverhead - 3;
  if (n > arrived) n = arrived;
  if (n < 0) n = 0;
  if (n > 0 && params != nullptr) std::memcpy(params, &readFrame.data[6], n);
  length = n;
}

int AISGHDLC::GetXIDParams(int& address, int& version, char* params, int& length) {
  if (readFrame.size == 0) return 89;
  if (readFrame.fcs != 0) return 82;
  version = XidVersion();
  if (version == 0) return 82;
  if (!ReadXidGroupIs(0x80)) return 82;
  address = readFrame.data[1];
  CopyXidParams(params, length);
  return 0;
}

int AISGHDLC::GetXIDUserParams(int& address, int& version, char* params, int& length) {
  if (readFrame.size == 0) return 89;
  if (readFrame.fcs != 0) return 82;
  if (!ReadXidGroupIs(0xF0)) return 82;
  address = readFrame.data[1];
  version = XidVersion();
  if (version == 0) return 82;
  CopyXidParams(params, length);
  return 0;
}

int AISGHDLC::GetXIDScan(int& address, int& version, char* params, int& length) {
  const int result = GetXIDUserParams(address, version, params, length);
  if (result != 0) return result;
  // The first parameter must be the unique ID, and must have arrived.
  if (length < 1 || readFrame.data[6] != 1) return 82;
  return 0;
}

int AISGHDLC::GetXIDAddress(int& address, int& version, char* params, int& length) {
  if (readFrame.size == 0) return 89;
  if (readFrame.fcs != 0) return 82;
  if (readFrame.data[2] == 0x73) {
    version = 1;
    address = readFrame.data[1];
    length = 0;  // a UA carries no parameters
    return 0;
  }
  if (readFrame.data[2] == 0xBF && ReadXidGroupIs(0xF0)) {
    version = 2;
    address = readFrame.data[1];
    CopyXidParams(params, length);
    return 0;
  }
  return 82;
}

int AISGHDLC::GetInfo(int address, int version, char* out) {
  if (readFrame.size == 0) return 89;
  if (readFrame.fcs != 0) return 82;
  if (!IsReadINFO() || readFrame.data[1] != address) return 82;
  const int size = readFrame.size;
  if (version == 1 && size > 7) {
    std::memcpy(out, &readFrame.data[4], size - 7);
    return 0;
  }
  if (version == 2 && size > 6) {
    std::memcpy(out, &readFrame.data[3], size - 6);
    return 0;
  }
  // An accepted frame has at least 6 bytes; the clamp only guards the copy.
  const int n = size > 6 ? size - 6 : 0;
  if (n > 0) std::memcpy(out, &readFrame.data[3], n);
  return 82;
}

int AISGHDLC::GetHdlcCtrlCode() {
  return readFrame.ctrlCode;
}

int AISGHDLC::GetFrameSize() {
  if (readFrame.size < 0) return 0;
  if (readFrame.size > 80) return 80;
  return readFrame.size;
}

// ---------------------------------------------------------------------------
// Classification of control bytes

unsigned char AISGHDLC::SentControl() const {
  const unsigned char* d = sendFrame.data;
  int i = 1;
  if (i < sendFrame.size && d[i] == kEscape) ++i;  // escaped address
  ++i;
  if (i + 1 < sendFrame.size && d[i] == kEscape) return static_cast<unsigned char>(d[i + 1] ^ 0x20);
  return i < sendFrame.size ? d[i] : 0;
}

bool AISGHDLC::IsSendINFO() {
  return IsInfoControl(SentControl());
}

bool AISGHDLC::IsSendSupervisoryFormat() {
  return IsSupervisoryControl(SentControl());
}

bool AISGHDLC::IsReadINFO() {
  return readFrame.fcs == 0 && IsInfoControl(readFrame.data[2]);
}

bool AISGHDLC::IsReadSupervisoryFormat() {
  return readFrame.fcs == 0 && IsSupervisoryControl(readFrame.data[2]);
}

bool AISGHDLC::IsReadRR() {
  return readFrame.fcs == 0 && (readFrame.data[2] & 0x1F) == 0x11;
}
