// The readers of the files that go to a device: software images (binary,
// Intel HEX), RET configuration files (raw or hexadecimal digits) and the
// comma-separated file list of a device's software download.
//
// Input: three header bytes, then the file.
//   byte 0: bits 0-2 what is read (below), bit 3 the generation (set: 1),
//           bit 4 a RET antenna number for configuration files;
//   byte 1: the block and segment size (small binary images), the antenna
//           number, or the vendor code of a listed download;
//   byte 2: bit 7 set refuses requests on the line: from request
//           bits 0-4, bits 5-6 pick 1, 2 or 3 FAIL answers or one silence.
// What is read: 0 binary image with the standard sizes, 1 AISG 1.x binary
// image with small sizes, 2 Intel HEX, 3 raw configuration, 4 ".hex"
// configuration, 5 a device download of a file list (the input up to a
// zero byte is the list, the rest the one image there is).
//
// The device on the line accepts everything, so what it took is compared
// with the file: a download that reports success must have delivered the
// file exactly, and one that met no refusal must succeed whenever the file
// is good.
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "aldlink/devices/aisgdevice.h"
#include "aldlink/procedures/aisgdeviceep.h"
#include "aldlink/procedures/retep.h"
#include "fuzz/support/file_line.h"
#include "fuzz/support/file_scratch.h"
#include "support/clock.h"

namespace {

using fuzz::Message;

constexpr int kOk = 0;

struct Setup {
  int what = 0;
  int generation = 2;
  int antenna = 0;
  uint8_t sizes = 0;
  bool refuse = false;
  int refuseFrom = 0;
  int refuseCount = 0;
  bool silent = false;
};

Setup ReadSetup(const uint8_t* data) {
  Setup s;
  s.what = (data[0] & 7) % 6;
  s.generation = (data[0] & 8) != 0 ? 1 : 2;
  s.sizes = data[1];
  if ((data[0] & 16) != 0) s.antenna = 1 + (data[1] & 3);
  s.refuse = (data[2] & 0x80) != 0;
  s.refuseFrom = data[2] & 0x1F;
  const int kind = (data[2] >> 5) & 3;
  s.refuseCount = kind == 3 ? 1 : kind + 1;
  s.silent = kind == 3;
  return s;
}

std::string Path(const char* name) {
  return fuzz::ScratchDir() + "/" + name;
}

// The requests the device took (not refused) with procedure `code`, without
// their leading byte (AISG 1.x), code and length field.
std::vector<Message> Taken(const fuzz::FileLine& line, uint8_t code, int generation) {
  std::vector<Message> out;
  const size_t at = generation == 1 ? 1 : 0;
  const auto& requests = line.Requests();
  for (size_t i = 0; i < requests.size(); ++i) {
    const Message& m = requests[i];
    if (line.Refused(static_cast<int>(i)) || m.size() < at + 3 || m[at] != code) continue;
    if (generation == 1 && m[0] != 1) continue;
    const size_t length = m[at + 1] | (m[at + 2] << 8);
    if (length != m.size() - at - 3) fuzz::Broken("length field differs from the message");
    out.emplace_back(m.begin() + static_cast<long>(at + 3), m.end());
  }
  return out;
}

// --- Binary images ---------------------------------------------------------------

void CheckBinary(const fuzz::FileLine& line, const std::string& file, int generation, int blockSize,
                 int segmentSize, int result, bool refused) {
  if (!refused && !file.empty() && result != kOk) fuzz::Broken("a good image was not loaded");
  if (file.empty() && result == kOk) fuzz::Broken("an empty image was loaded");
  if (result != kOk) return;
  std::string image;
  if (generation == 2) {
    for (const Message& m : Taken(line, 0x41, 2)) {
      if (m.empty() || m.size() > 71) fuzz::Broken("AISG 2.0 segment size");
      image.append(m.begin(), m.end());
    }
  } else {
    // Headers and segments in the order the device took them: every block
    // announced with its number and length, its segments numbered from 0
    // and adding up to that length.
    int block = -1;
    int announced = 0;
    int received = 0;
    int segment = 0;
    const auto& requests = line.Requests();
    for (size_t i = 0; i < requests.size(); ++i) {
      const Message& m = requests[i];
      if (line.Refused(static_cast<int>(i)) || m.size() < 4 || m[0] != 1) continue;
      if (m[1] == 0x20) {
        if (block >= 0 && received != announced) fuzz::Broken("block shorter than announced");
        if (m.size() != 8 || m[4] + 256 * m[5] != block + 1) fuzz::Broken("block header");
        block = m[4] + 256 * m[5];
        announced = m[6] + 256 * m[7];
        if (announced == 0 || announced > blockSize) fuzz::Broken("block length");
        received = 0;
        segment = 0;
      } else if (m[1] == 0x21) {
        if (block < 0 || m.size() < 6) fuzz::Broken("segment outside a block");
        if (m[4] != (segment & 0xFF)) fuzz::Broken("segment number");
        const int bytes = static_cast<int>(m.size()) - 5;
        if (bytes > segmentSize) fuzz::Broken("segment larger than the segment size");
        image.append(m.begin() + 5, m.end());
        received += bytes;
        ++segment;
      }
    }
    if (block >= 0 && received != announced) fuzz::Broken("last block shorter than announced");
  }
  if (image != file) fuzz::Broken("the device took another image than the file");
}

// --- Intel HEX ---------------------------------------------------------------------

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The records a good file holds before its end-of-file record, or false
// when the file is not one to load: every word a record (":" and digit
// pairs, at most 255 characters, the byte count matching, the checksum
// adding to zero) and an end-of-file record somewhere.
bool ExpectedRecords(const std::string& file, std::vector<Message>& records) {
  size_t i = 0;
  for (;;) {
    while (i < file.size() && std::isspace(static_cast<unsigned char>(file[i]))) ++i;
    if (i >= file.size()) return false;
    size_t end = i;
    while (end < file.size() && !std::isspace(static_cast<unsigned char>(file[end]))) ++end;
    const std::string word = file.substr(i, end - i);
    i = end;
    if (word.size() > 255 || word[0] != ':' || word.size() % 2 == 0) return false;
    Message bytes;
    unsigned sum = 0;
    for (size_t k = 1; k < word.size(); k += 2) {
      const int high = Digit(word[k]);
      const int low = Digit(word[k + 1]);
      if (high < 0 || low < 0) return false;
      bytes.push_back(static_cast<uint8_t>(high * 16 + low));
      sum += bytes.back();
    }
    if (bytes.size() < 5 || bytes[0] != bytes.size() - 5 || (sum & 0xFF) != 0) return false;
    if (bytes.size() == 5 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 1) return true;
    records.push_back(bytes);
  }
}

void CheckHex(const fuzz::FileLine& line, const std::string& file, int generation, int result,
              bool refused) {
  std::vector<Message> expected;
  const bool good = ExpectedRecords(file, expected);
  if (!good && result == kOk) fuzz::Broken("a damaged HEX file was loaded");
  if (good && !refused && result != kOk) fuzz::Broken("a good HEX file was not loaded");
  if (result != kOk) return;
  if (Taken(line, 0x41, generation) != expected) fuzz::Broken("HEX records sent differ");
}

// --- Configuration files -----------------------------------------------------------------

void CheckConfiguration(const fuzz::FileLine& line, const std::string& file, bool hex,
                        int generation, int antenna, int result, bool refused) {
  std::string expected = file;
  bool good = !file.empty();
  if (hex) {
    expected.clear();
    good = good && file.size() % 2 == 0;
    for (size_t i = 0; good && i < file.size(); i += 2) {
      const int high = Digit(file[i]);
      const int low = Digit(file[i + 1]);
      good = high >= 0 && low >= 0;
      expected.push_back(static_cast<char>(high * 16 + low));
    }
  }
  if (!good && result == kOk) fuzz::Broken("a bad configuration file was loaded");
  if (good && !refused && result != kOk) fuzz::Broken("a good configuration file was not loaded");
  if (result != kOk) return;
  const bool withAntenna = generation == 2 && antenna > 0;
  const uint8_t code = withAntenna ? 0x89 : 0x32;
  const size_t piece = generation == 2 && !withAntenna ? 71 : 70;
  std::string sent;
  for (const Message& m : Taken(line, code, generation)) {
    const size_t skip = withAntenna ? 1 : 0;
    if (m.size() <= skip || m.size() - skip > piece) fuzz::Broken("configuration piece size");
    if (withAntenna && m[0] != antenna) fuzz::Broken("configuration for another antenna");
    sent.append(m.begin() + static_cast<long>(skip), m.end());
  }
  if (sent != expected) fuzz::Broken("the device took another configuration than the file");
}

// --- A device download of a file list -------------------------------------------------------

void DownloadList(const Setup& s, const uint8_t* data, size_t size) {
  size_t split = 0;
  while (split < size && data[split] != 0) ++split;
  // The list names files in the scratch folder only: every name is taken
  // from there, empty pieces stay empty.
  const std::string dir = fuzz::ScratchDir() + "/";
  std::string list;
  bool atStart = true;
  for (size_t i = 0; i < split; ++i) {
    const char c = static_cast<char>(data[i]);
    if (atStart && c != ',') list += dir;
    atStart = c == ',';
    list += c == '/' ? '_' : c;
  }
  const size_t imageAt = split < size ? split + 1 : size;
  fuzz::WriteWholeFile(Path("img"), data + imageAt, size - imageAt);

  static const char* const kVendors[] = {"KA", "AN", "AR", "EM"};
  std::string uid = kVendors[s.sizes & 3];
  uid += "00000001";
  AISGDevice device(s.generation == 1 ? 1 : 17, s.generation, 3, uid.data(),
                    static_cast<int>(uid.size()));
  std::vector<char> text(list.begin(), list.end());
  text.push_back(0);
  device.DownloadSoftware(text.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietTrace();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const Setup s = ReadSetup(data);
  const uint8_t* body = data + 3;
  const size_t bodySize = size - 3;
  const std::string file(reinterpret_cast<const char*>(body), bodySize);

  ald::ScopedVirtualClock clock;
  fuzz::FileLine line;
  if (s.refuse) line.Refuse(s.refuseFrom, s.refuseCount, s.silent);

  if (s.what == 5) {
    DownloadList(s, body, bodySize);
    return 0;
  }

  AISGDeviceParams p{};
  const int address = 1;
  if (s.what <= 2) {
    AISGDEVICEEP ep;
    if (ep.OpenConnection() != kOk) fuzz::Broken("the port did not open");
    if (s.what == 2) {
      std::string path = Path("image.hex");
      fuzz::WriteWholeFile(path, body, bodySize);
      const int result = ep.HexSoftwareDownload(address, s.generation, path.data(), &p);
      CheckHex(line, file, s.generation, result, s.refuse);
    } else {
      std::string path = Path("image.bin");
      fuzz::WriteWholeFile(path, body, bodySize);
      int generation = s.generation;
      int blockSize = 17664;
      int segmentSize = 69;
      int result;
      if (s.what == 1) {
        generation = 1;
        segmentSize = 1 + (s.sizes & 15);
        blockSize = segmentSize * (1 + (s.sizes >> 4));
        result = ep.BinSoftwareDownload(address, 1, blockSize, segmentSize, path.data(), &p);
      } else {
        result = ep.SoftwareDownload(address, generation, nullptr, path.data(), &p);
      }
      CheckBinary(line, file, generation, blockSize, segmentSize, result, s.refuse);
    }
    ep.StopConnection();
    return 0;
  }

  const bool hex = s.what == 4;
  std::string path = Path(hex ? "config.hex" : "config.bin");
  fuzz::WriteWholeFile(path, body, bodySize);
  RETEP ep;
  if (ep.OpenConnection() != kOk) fuzz::Broken("the port did not open");
  const int result = ep.SendConfigurationData(address, s.generation, s.antenna, path.data(), &p);
  CheckConfiguration(line, file, hex, s.generation, s.antenna, result, s.refuse);
  ep.StopConnection();
  return 0;
}
