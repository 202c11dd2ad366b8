// RET procedures: tilt, calibration, configuration data upload and the
// per-antenna forms of multi-antenna units.
#include "aldlink/procedures/retep.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "aldlink/procedures/procedure_util.h"
#include "support/clock.h"

using namespace ald::procedures;

namespace {

constexpr char kCalibrate = 0x31;
constexpr char kSendConfig = 0x32;
constexpr char kSetTilt = 0x33;
constexpr char kGetTilt = 0x34;
constexpr char kAntCalibrate = static_cast<char>(0x80);
constexpr char kAntSetTilt = static_cast<char>(0x81);
constexpr char kAntGetTilt = static_cast<char>(0x82);
constexpr char kAntSetDeviceData = static_cast<char>(0x83);
constexpr char kAntClearAlarms = static_cast<char>(0x86);
constexpr char kAntGetAlarms = static_cast<char>(0x87);
constexpr char kAntGetCount = static_cast<char>(0x88);
constexpr char kAntSendConfig = static_cast<char>(0x89);

// Device type of a multi-antenna RET, which picks the antenna form of the
// device data read.
constexpr int kMultiRetType = 17;

// Configuration pieces: 70 bytes with the antenna form or AISG 1.x, 71 when
// AISG 2.0 sends to the whole unit. A ".hex" piece is twice as many digits.
constexpr int kPieceWithAntenna = 70;
constexpr int kPieceWholeUnit = 71;
constexpr int kMaxHexPiece = 2 * kPieceWholeUnit;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Value of one hexadecimal digit (already checked by IsHexDigit).
int DigitValue(char c) {
  if (c < 'A') return c - 0x30;
  return (c & ~0x20) - 0x37;
}

void ClearAnswer(AISGDeviceParams* p) {
  std::memset(p->devRcuCodes, 0, sizeof p->devRcuCodes);
  p->devRcuCodesSize = 0;
}

// Tilt as sent on the bus: low byte, then high byte. Values beyond 16 bits
// would reach the device as a different tilt, so they are refused.
bool TiltBytes(int tilt, char (&out)[2]) {
  if (tilt < -32768 || tilt > 32767) return false;
  out[0] = static_cast<char>(tilt & 0xFF);
  out[1] = static_cast<char>((tilt >> 8) & 0xFF);
  return true;
}

// The tilt of a read answer (return code, low byte, high byte as signed).
int TiltOf(const AISGDeviceParams* p) {
  return p->devRcuCodes[1] + 256 * static_cast<signed char>(p->devRcuCodes[2]);
}

}  // namespace

int RETEP::MultiAntenna(int address, int antenna, char code, char* data, int length,
                        AISGDeviceParams* p) {
  return DeviceProcedure(address, 2, antenna, code, data, length, p);
}

int RETEP::AISG20Procedure(int address, char code, char* data, int length, AISGDeviceParams* p) {
  return DeviceProcedure(address, 2, 0, code, data, length, p);
}

int RETEP::Calibrate(int address, int generation, AISGDeviceParams* p) {
  return GlobalProcedure(address, generation, kCalibrate, nullptr, 0, p);
}

int RETEP::SetTilt(int address, int generation, int tilt, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  char data[2];
  if (!TiltBytes(tilt, data)) {
    ClearAnswer(p);
    return kInvalid;
  }
  return GlobalProcedure(address, generation, kSetTilt, data, sizeof data, p);
}

int RETEP::GetTilt(int address, int generation, AISGDeviceParams* p) {
  int result = GlobalProcedure(address, generation, kGetTilt, nullptr, 0, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize != 3) return kBadResponse;
  p->retCurrentTilt = TiltOf(p);
  printf("\np->retCurrentTilt:%d, (deg/10): %.1f\n", p->retCurrentTilt, p->retCurrentTilt * 0.1);
  return kOk;
}

bool RETEP::CheckConfigurationFile(const char* fileName) {
  const char* name = fileName != nullptr ? fileName : "";
  if (name[0] == 0) {
    printf("Configuration file : no file name\n");
    return false;
  }
  errno = 0;
  File file(std::fopen(name, "rbe"));
  if (!file) {
    printf("Configuration file %s: cannot be opened: %s\n", name, std::strerror(errno));
    return false;
  }
  struct stat st {};
  if (fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
    printf("Configuration file %s: not a regular file\n", name);
    return false;
  }
  if (st.st_size == 0) {
    printf("Configuration file %s: empty\n", name);
    return false;
  }
  // The upload takes a name with ".hex" for digit pairs; check the whole
  // text as it will read it, so that no piece is sent before a bad one.
  const bool hex = std::strstr(name, ".hex") != nullptr;
  char chunk[4096];
  long long total = 0;
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    for (size_t i = 0; hex && i < n; ++i) {
      if (!IsHexDigit(chunk[i])) {
        printf("Configuration file %s: not hexadecimal digit pairs (byte %lld is 0x%02x)\n", name,
               total + static_cast<long long>(i), static_cast<unsigned char>(chunk[i]));
        return false;
      }
    }
    total += static_cast<long long>(n);
  }
  if (std::ferror(file.get()) || total != st.st_size) {
    printf("Configuration file %s: cannot be read to its end\n", name);
    return false;
  }
  if (hex && total % 2 != 0) {
    printf("Configuration file %s: odd number of hexadecimal digits\n", name);
    return false;
  }
  return true;
}

int RETEP::SendConfigurationData(int address, int generation, char* fileName, AISGDeviceParams* p) {
  return SendConfigurationData(address, generation, 0, fileName, p);
}

// The file is read a piece at a time into a fixed buffer and closed on every
// way out. Pieces that were accepted before a failure stay with the device.
int RETEP::SendConfigurationData(int address, int generation, int antenna, char* fileName,
                                 AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  ClearAnswer(p);
  const char* name = fileName != nullptr ? fileName : "";
  printf("%s input file, strlen !!\n", name);

  File file(name[0] != 0 ? std::fopen(name, "rb") : nullptr);
  if (!file) {
    printf("%s file not found !!\n", name);
    return kInvalid;
  }

  char code;
  int pieceSize;
  if (generation == 1) {
    code = kSendConfig;
    pieceSize = kPieceWithAntenna;
  } else if (generation == 2 && antenna > 0) {
    code = kAntSendConfig;
    pieceSize = kPieceWithAntenna;
  } else if (generation == 2) {
    code = kSendConfig;
    pieceSize = kPieceWholeUnit;
  } else {
    return kInvalid;
  }
  const bool hex = std::strstr(name, ".hex") != nullptr;
  if (hex) pieceSize *= 2;

  char text[kMaxHexPiece];
  char piece[kPieceWholeUnit];
  int pieces = 0;
  for (;;) {
    const int n = static_cast<int>(std::fread(text, 1, pieceSize, file.get()));
    // A piece that could not be read whole is not sent at all.
    if (std::ferror(file.get())) {
      printf("%s file read error !!\n", name);
      return kInvalid;
    }
    if (n == 0) break;
    char* data = text;
    int length = n;
    if (hex) {
      bool digits = n % 2 == 0;
      for (int i = 0; digits && i < n; ++i) digits = IsHexDigit(text[i]);
      if (!digits) {
        printf("%s file format error !!\n", name);
        return kInvalid;
      }
      length = n / 2;
      for (int i = 0; i < length; ++i) {
        piece[i] =
            static_cast<char>((16 * DigitValue(text[2 * i]) + DigitValue(text[2 * i + 1])) & 0xFF);
      }
      data = piece;
    }
    int result = DeviceProcedure(address, generation, antenna, code, data, length, p);
    if (result != kOk) return result;
    ++pieces;
  }
  // An empty file would leave the device's configuration as it was while the
  // caller believes it loaded.
  if (pieces == 0) {
    printf("%s file is empty !!\n", name);
    return kInvalid;
  }
  return kOk;
}

int RETEP::AntennaCalibrate(int address, int antenna, AISGDeviceParams* p) {
  return MultiAntenna(address, antenna, kAntCalibrate, nullptr, 0, p);
}

int RETEP::AntennaSetTilt(int address, int antenna, int tilt, AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  char data[2];
  if (!TiltBytes(tilt, data)) {
    ClearAnswer(p);
    return kInvalid;
  }
  return MultiAntenna(address, antenna, kAntSetTilt, data, sizeof data, p);
}

int RETEP::AntennaGetTilt(int address, int antenna, AISGDeviceParams* p) {
  int result = MultiAntenna(address, antenna, kAntGetTilt, nullptr, 0, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize != 3) return kBadResponse;
  p->retCurrentTilt = TiltOf(p);
  printf("p->retCurrentTilt:%d, (deg/10): %.1f\n", p->retCurrentTilt, p->retCurrentTilt * 0.1);
  return kOk;
}

int RETEP::AntennaSetDeviceData(int address, int antenna, char* data, int length,
                                AISGDeviceParams* p) {
  int result = MultiAntenna(address, antenna, kAntSetDeviceData, data, length, p);
  // The device stores the field before it takes the next request.
  ald::GetClock().SleepMs(100);
  return result;
}

int RETEP::AntennaGetDeviceData(int address, int antenna, char* ids, int count,
                                AISGDeviceParams* p) {
  return GetDeviceData(address, 2, antenna, kMultiRetType, ids, count, p);
}

int RETEP::AntennaClearAlarms(int address, int antenna, AISGDeviceParams* p) {
  return MultiAntenna(address, antenna, kAntClearAlarms, nullptr, 0, p);
}

int RETEP::AntennaGetAlarmStatus(int address, int antenna, AISGDeviceParams* p) {
  return MultiAntenna(address, antenna, kAntGetAlarms, nullptr, 0, p);
}

int RETEP::AntennaSendConfigurationData(int address, int antenna, char* fileName,
                                        AISGDeviceParams* p) {
  return SendConfigurationData(address, 2, antenna, fileName, p);
}

int RETEP::AntennaGetNumOfAntennas(int address, AISGDeviceParams* p) {
  int result = AISG20Procedure(address, kAntGetCount, nullptr, 0, p);
  if (result != kOk) return result;
  if (p->devRcuCodesSize != 2) return kBadResponse;
  p->devTotalSubUnits = p->devRcuCodes[1];
  printf("p->devTotalSubUnits=%d\n", p->devTotalSubUnits);
  return kOk;
}
