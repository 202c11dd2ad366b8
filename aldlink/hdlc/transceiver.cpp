// Transmit and receive path of the link layer: opens and closes the bus, puts
// a command frame on the wire and cuts one checked frame out of the answer.
#include <cstdio>
#include <cstring>

#include "aldlink/hdlc/aisghdlc.h"
#include "aldlink/hdlc/hdlc_internal.h"

using namespace ald::hdlc;

int AISGHDLC::EnableRS485() {
  // A port that did not open shows up as a failed send at the first exchange.
  OpenComPort();
  sendSeq = 0;
  recvSeq = 0;
  return 0;
}

int AISGHDLC::DisableRS485() {
  CloseComPort();
  return 0;
}

int AISGHDLC::Rs485Lookup() {
  return 1;
}

int AISGHDLC::UartSend() {
  if (sendFrame.size < 0 || LineSize(sendFrame.data, sendFrame.size) > kFrameCapacity) {
    std::printf("%s", kTooLongMessage);
    return 11;
  }
  // Bytes still queued belong to an earlier exchange (an answer that came
  // after its time-out, or more than a buffer held); read with this answer
  // they would be taken for it.
  const int stale = DiscardInput();
  if (stale > 0) std::printf("Dropped %d stale bytes from the input queue\n", stale);
  EncodeCOT();
  const int written = SendData(reinterpret_cast<const char*>(sendFrame.data), sendFrame.size);
  if (written < sendFrame.size) {
    FlushComPort();
    std::printf("Error writing in RS485!\n");
    return 11;
  }
  return 0;
}

int AISGHDLC::UartSend(char* frame, int length) {
  // A frame larger than the buffer, or none at all, cannot be sent.
  if (frame == nullptr || length <= 0 || length > kFrameCapacity) {
    std::printf("%s", kTooLongMessage);
    return 84;
  }
  std::memset(sendFrame.data, 0, sizeof sendFrame.data);
  std::memcpy(sendFrame.data, frame, length);
  sendFrame.size = length;
  if (UartSend() != 0) return 84;
  PrintSend();
  return 0;
}

int AISGHDLC::UartRead(unsigned int wait) {
  // The wait is the caller's expectation only; the port time-outs time the read.
  (void)wait;
  std::memset(readFrame.data, 0, sizeof readFrame.data);
  readFrame.ctrlCode = 0;
  readFrame.size = 0;
  readFrame.fcs = 82;

  char raw[kFrameCapacity];
  int n = RecvData(raw, kFrameCapacity);
  if (n < 0) n = 0;
  if (n > kFrameCapacity) n = kFrameCapacity;

  if (n == 1 && raw[0] == 0x00) {
    std::printf("*** Possible RS485 impedance incompatible ***\n");
    return 89;
  }
  if (n == 0) return 89;

  unsigned char* d = readFrame.data;
  std::memcpy(d, raw, n);
  int size = n;

  // Garbage before the opening flag and repeated flags. The counter rises
  // while the size falls, so at most half the bytes (rounded up) go.
  for (int dropped = 0; dropped < size && !(size >= 2 && d[0] == kFlag && d[1] != kFlag);
       ++dropped) {
    std::memmove(d, d + 1, size - 1);
    --size;
    d[size] = 0;
  }
  // Anything after the first byte-then-flag pair from the end.
  while (size > 1 && !(d[size - 2] != kFlag && d[size - 1] == kFlag)) {
    --size;
    d[size] = 0;
  }
  readFrame.size = size;
  DecodeCOT();
  size = readFrame.size;

  bool good = false;
  if (size >= kFrameOverhead && d[0] == kFlag && d[size - 1] == kFlag) {
    if (crc_ulmoraisg(&d[1], size - 2, 2) == 0) {
      good = true;
    } else {
      // A good frame followed by the start of another answer or by noise: the
      // first flag that closes a frame with a right FCS. Only frames of full
      // length count, as in the check above; a shorter one would be accepted
      // without address, control or FCS of its own.
      for (int i = kFrameOverhead - 1; i < size - 1; ++i) {
        if (d[i] == kFlag && crc_ulmoraisg(&d[1], i - 1, 2) == 0) {
          std::memset(&d[i + 1], 0, size - i - 1);
          size = i + 1;
          readFrame.size = size;
          good = true;
          break;
        }
      }
    }
  }

  if (!good) {
    // The trace then shows what actually arrived.
    std::memset(d, 0, sizeof readFrame.data);
    std::memcpy(d, raw, n);
    readFrame.size = n;
    readFrame.fcs = 82;
    readFrame.ctrlCode = 0;
    return 82;
  }

  readFrame.fcs = 0;
  readFrame.ctrlCode = d[2];
  if (IsInfoControl(d[2]) && ((d[2] >> 1) & 7) == recvSeq) recvSeq = (recvSeq + 1) % 8;
  return 0;
}

int AISGHDLC::UartRead() {
  return UartRead(150);
}

int AISGHDLC::UartRead(char* out) {
  UartRead();
  if (out != nullptr && readFrame.size > 0) std::memcpy(out, readFrame.data, readFrame.size);
  return readFrame.size;
}
