// Software download: a binary image in blocks and segments (AISG 1.x) or in
// segments alone (AISG 2.0), and an Intel HEX file sent record by record.
//
// The file is read piece by piece into fixed buffers and is held by a handle
// that closes it on every way out of the call. A file that cannot deliver
// what it promised (fewer bytes than its size, a malformed HEX record, no
// end-of-file record) stops the download before the end procedure: ending
// it would make the device take a truncated or corrupted image.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "aldlink/procedures/aisgdeviceep.h"
#include "aldlink/procedures/download_progress.h"
#include "aldlink/procedures/procedure_util.h"
#include "support/clock.h"

using namespace ald::procedures;

namespace {

// Procedure codes.
constexpr char kStart1 = 0x2E;
constexpr char kBlockHeader1 = 0x20;
constexpr char kSegment1 = 0x21;
constexpr char kEnd1 = 0x22;
constexpr char kStart2 = 0x40;
constexpr char kSegment2 = 0x41;
constexpr char kEnd2 = 0x42;

// Standard sizes: 256 segments of 69 bytes make one block, so the one-byte
// segment number never repeats within a block.
constexpr int kStandardBlockSize = 17664;
constexpr int kStandardSegmentSize = 69;
constexpr int kSegmentSize2 = 71;
// An AISG 1.x segment message is the leading byte, code, length, segment
// number and the data; it must fit the engine's 250-byte information field.
constexpr int kMaxSegmentSize1 = 245;
// Block numbers and lengths travel in two bytes.
constexpr int kMaxBlockSize = 0xFFFF;
constexpr long long kMaxBlocks = 0x10000;

constexpr int kAttempts = 3;
constexpr int kRetryPauseMs = 1000;
constexpr int kAfterStartPauseMs = 3000;

// A HEX record is read into a word buffer of 256 characters: at most 255
// characters, ":" and 254 digits, 127 bytes.
constexpr int kWordBuffer = 256;
constexpr int kMaxRecordBytes = (kWordBuffer - 2) / 2;
// Byte count, two address bytes, record type and checksum.
constexpr int kRecordOverhead = 5;
constexpr int kHexFormatError = -1;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading and takes its size; an empty handle when
// the name is missing, the file does not exist, cannot be opened or is not
// a regular file (a directory opens on some systems but cannot be read).
File OpenSoftwareFile(const char* name, long long& size) {
  size = 0;
  if (name == nullptr) return nullptr;
  File file(std::fopen(name, "rbe"));
  if (!file) return nullptr;
  struct stat st {};
  if (fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  size = st.st_size;
  return file;
}

const char* Stars() {
  return "************************************************************\n";
}

enum class WordRead { kWord, kEnd, kTooLong, kError };

// The next white-space separated word into `word` (kWordBuffer bytes, zero
// terminated), its length in `length`. A word that does not fit is not cut:
// it is refused, because a cut record would be sent as a different one.
WordRead ReadWord(std::FILE* file, char* word, int& length) {
  length = 0;
  int c;
  do {
    c = std::fgetc(file);
  } while (c != EOF && std::isspace(c));
  while (c != EOF && !std::isspace(c)) {
    if (length == kWordBuffer - 1) return WordRead::kTooLong;
    word[length++] = static_cast<char>(c);
    c = std::fgetc(file);
  }
  word[length] = 0;
  if (std::ferror(file)) return WordRead::kError;
  return length > 0 ? WordRead::kWord : WordRead::kEnd;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Checks one record word (":" already seen) and converts its digits into
// `bytes`; returns the byte count, or 0 after writing what is wrong.
int ConvertRecord(const char* word, int length, int record, unsigned char* bytes) {
  const int digits = length - 1;
  if (digits % 2 != 0) {
    printf("File format error: odd number of digits in record %d\n", record);
    return 0;
  }
  const int n = digits / 2;
  for (int i = 0; i < n; ++i) {
    const int high = HexDigit(word[1 + 2 * i]);
    const int low = HexDigit(word[2 + 2 * i]);
    if (high < 0 || low < 0) {
      printf("File format error: not a hexadecimal digit in record %d\n", record);
      return 0;
    }
    bytes[i] = static_cast<unsigned char>(high * 16 + low);
  }
  if (n < kRecordOverhead || bytes[0] != n - kRecordOverhead) {
    printf("File format error: length of record %d does not match its byte count\n", record);
    return 0;
  }
  unsigned sum = 0;
  for (int i = 0; i < n; ++i) sum += bytes[i];
  if ((sum & 0xFF) != 0) {
    printf("File format error: checksum of record %d\n", record);
    return 0;
  }
  return n;
}

bool IsEndOfFileRecord(const char* word) {
  static const char kEnd[] = ":00000001FF";
  for (int i = 0; kEnd[i] != 0; ++i) {
    if (std::toupper(static_cast<unsigned char>(word[i])) != kEnd[i]) return false;
  }
  return true;
}

bool NameEndsInHex(const char* name) {
  const size_t n = std::strlen(name);
  if (n < 4) return false;
  const char* end = name + n - 4;
  return end[0] == '.' && std::tolower(static_cast<unsigned char>(end[1])) == 'h' &&
         std::tolower(static_cast<unsigned char>(end[2])) == 'e' &&
         std::tolower(static_cast<unsigned char>(end[3])) == 'x';
}

// A byte an Intel HEX text may hold: record marks, digits and blanks.
bool IsHexTextByte(unsigned char c) {
  return c == ':' || HexDigit(static_cast<char>(c)) >= 0 || std::isspace(c);
}

// Checks every record of an Intel HEX text from its start, as the HEX
// download will read it; false after the trace line naming the fault.
bool CheckHexRecords(const char* name, std::FILE* file) {
  char word[kWordBuffer];
  unsigned char bytes[kMaxRecordBytes];
  int length = 0;
  int dataRecords = 0;
  for (int record = 1;; ++record) {
    const WordRead read = ReadWord(file, word, length);
    if (read == WordRead::kError) {
      printf("Software file %s: cannot be read\n", name);
      return false;
    }
    if (read == WordRead::kTooLong) {
      printf("Software file %s: Intel HEX record %d is longer than %d characters\n", name, record,
             kWordBuffer - 1);
      return false;
    }
    if (read == WordRead::kEnd) {
      printf("Software file %s: Intel HEX without end-of-file record (cut short?)\n", name);
      return false;
    }
    if (word[0] != ':') {
      printf("Software file %s: not Intel HEX: record %d does not begin with ':'\n", name, record);
      return false;
    }
    const int n = ConvertRecord(word, length, record, bytes);
    if (n == 0) {
      printf("Software file %s: malformed Intel HEX record %d\n", name, record);
      return false;
    }
    const int type = bytes[3];
    if (IsEndOfFileRecord(word)) break;
    if (type > 5) {
      printf("Software file %s: Intel HEX record %d has the unknown type %02X\n", name, record,
             static_cast<unsigned>(type));
      return false;
    }
    if (type == 1) {
      // Anything but the plain end record would be sent as data.
      printf("Software file %s: Intel HEX record %d is an end record other than :00000001FF\n",
             name, record);
      return false;
    }
    if (type == 0 && bytes[0] > 0) ++dataRecords;
  }
  if (ReadWord(file, word, length) != WordRead::kEnd) {
    // They would never be sent, and the image would be loaded without them.
    printf("Software file %s: text after the Intel HEX end-of-file record\n", name);
    return false;
  }
  if (dataRecords == 0) {
    printf("Software file %s: Intel HEX without data records\n", name);
    return false;
  }
  return true;
}

}  // namespace

int AISGDEVICEEP::CheckSoftwareFile(const char* fileName) {
  const char* name = fileName != nullptr ? fileName : "";
  if (name[0] == 0) {
    printf("Software file : no file name\n");
    return kSoftwareFileUnusable;
  }
  errno = 0;
  File file(std::fopen(name, "rbe"));
  if (!file) {
    printf("Software file %s: cannot be opened: %s\n", name, std::strerror(errno));
    return kSoftwareFileUnusable;
  }
  struct stat st {};
  if (fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
    printf("Software file %s: not a regular file\n", name);
    return kSoftwareFileUnusable;
  }
  if (st.st_size == 0) {
    printf("Software file %s: empty\n", name);
    return kSoftwareFileUnusable;
  }
  if (st.st_size > INT_MAX) {
    printf("Software file %s: too large\n", name);
    return kSoftwareFileUnusable;
  }

  // The whole file once: it must be readable to its end, and its bytes say
  // whether it is HEX text.
  unsigned char chunk[4096];
  bool hexText = true;
  int first = -1;
  long long total = 0;
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    for (size_t i = 0; i < n; ++i) {
      if (first < 0 && !std::isspace(chunk[i])) first = chunk[i];
      if (!IsHexTextByte(chunk[i])) hexText = false;
    }
    total += static_cast<long long>(n);
  }
  if (std::ferror(file.get()) || total != st.st_size) {
    printf("Software file %s: cannot be read to its end\n", name);
    return kSoftwareFileUnusable;
  }
  if (!(hexText && first == ':') && !NameEndsInHex(name)) return kSoftwareFileBinary;
  std::rewind(file.get());
  return CheckHexRecords(name, file.get()) ? kSoftwareFileHex : kSoftwareFileUnusable;
}

int AISGDEVICEEP::BinSoftwareDownload(int address, int generation, int blockSize, int segmentSize,
                                      char* fileName, AISGDeviceParams* p) {
  ald::Clock& clock = ald::GetClock();
  const std::time_t started = clock.CalendarTime();
  if (p == nullptr) return kInvalid;

  char startCode, segmentCode, endCode;
  if (generation == 1) {
    // Each block's segments must add up to the length its header announces.
    if (blockSize <= 0 || blockSize > kMaxBlockSize || segmentSize <= 0 ||
        segmentSize > kMaxSegmentSize1 || blockSize % segmentSize != 0) {
      return kInvalid;
    }
    startCode = kStart1;
    segmentCode = kSegment1;
    endCode = kEnd1;
  } else if (generation == 2) {
    segmentSize = kSegmentSize2;
    startCode = kStart2;
    segmentCode = kSegment2;
    endCode = kEnd2;
  } else {
    return kInvalid;
  }

  long long size = 0;
  File file = OpenSoftwareFile(fileName, size);
  if (!file) {
    printf("1. Cannot open file.\n");
    return kInvalid;
  }
  // An empty image would leave the device without software once ended.
  if (size == 0) {
    printf("Software file is empty.\n");
    return kInvalid;
  }
  const long long blockCount = generation == 1 ? (size + blockSize - 1) / blockSize : 1;
  if (size > INT_MAX || blockCount > kMaxBlocks) {
    printf("Software file is too large.\n");
    return kInvalid;
  }
  const int segmentsPerBlock = generation == 1
                                   ? blockSize / segmentSize
                                   : static_cast<int>((size + segmentSize - 1) / segmentSize);
  printf("File size       : [%d]\n", static_cast<int>(size));
  printf("Number of blocks: [%d]\n", static_cast<int>(blockCount));

  ald::ReportDownloadProgress(0, size);
  int result = GlobalProcedure(address, generation, startCode, nullptr, 0, p);
  if (result != kOk) return result;
  clock.SleepMs(kAfterStartPauseMs);

  // Segment number (AISG 1.x) and data.
  char message[1 + kMaxSegmentSize1];
  const int dataOffset = generation == 1 ? 1 : 0;
  long long position = 0;
  for (int block = 0; block < blockCount; ++block) {
    if (generation == 1) {
      const long long left = size - position;
      if (left <= 0) break;
      const int blockLength = left < blockSize ? static_cast<int>(left) : blockSize;
      printf("block #: %d, block size: %d\n", block, blockLength);
      char header[4] = {static_cast<char>(block & 0xFF), static_cast<char>((block >> 8) & 0xFF),
                        static_cast<char>(blockLength & 0xFF),
                        static_cast<char>((blockLength >> 8) & 0xFF)};
      for (int attempt = 0; attempt < kAttempts; ++attempt) {
        result = GlobalProcedure(address, 1, kBlockHeader1, header, sizeof header, p);
        if (result == kOk) break;
        clock.SleepMs(kRetryPauseMs);
      }
      if (result != kOk) return result;
    }

    for (int segment = 0; segment < segmentsPerBlock && position < size; ++segment) {
      // Never more than the size measured at the start, so that the block
      // lengths already announced stay true if the file grows meanwhile.
      const long long left = size - position;
      const int wanted = left < segmentSize ? static_cast<int>(left) : segmentSize;
      const int got = static_cast<int>(std::fread(message + dataOffset, 1, wanted, file.get()));
      if (got != wanted) {
        // The file shrank or could not be read: what is left of the image
        // is not what the device was told to expect.
        printf("Cannot read file.\n");
        return kInvalid;
      }
      position += got;
      if (generation == 1) message[0] = static_cast<char>(segment & 0xFF);
      for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (generation == 1) {
          printf("block #: %d, segment #: %d, datasize: %d\n", block, segment, got + 1);
          result = GlobalProcedure(address, 1, segmentCode, message, got + 1, p);
        } else {
          result = GlobalProcedure(address, 2, segmentCode, message, got, p);
          printf("block #: %d, segment #: %d, datasize: %d\n", block, segment, got + 1);
        }
        if (result == kOk) break;
        clock.SleepMs(kRetryPauseMs);
      }
      if (result != kOk) return result;
      ald::ReportDownloadProgress(position, size);
    }
  }
  file.reset();

  result = GlobalProcedure(address, generation, endCode, nullptr, 0, p);
  if (result == kOk && generation == 2) {
    // The device restarts with the new image; its first polls may go
    // unanswered, which says nothing about the download.
    for (int i = 0; i < kAttempts; ++i) {
      if (SetRR(address) == kOk) break;
    }
  } else {
    printf("DownloadEnd=%d\n", result);
  }
  printf("%s", Stars());
  printf("Download Software Done\n");
  printf("Runtime: %.3f\n", std::difftime(clock.CalendarTime(), started));
  printf("%s", Stars());
  return result;
}

int AISGDEVICEEP::SoftwareDownload(int address, int generation, char* /*name*/, char* fileName,
                                   AISGDeviceParams* p) {
  return BinSoftwareDownload(address, generation, kStandardBlockSize, kStandardSegmentSize,
                             fileName, p);
}

int AISGDEVICEEP::HexSoftwareDownload(int address, int generation, char* fileName,
                                      AISGDeviceParams* p) {
  if (p == nullptr) return kInvalid;
  long long size = 0;
  File file = OpenSoftwareFile(fileName, size);
  if (!file) {
    printf("Cannot open file.\n");
    return kFail;
  }
  if (size == 0) {
    printf("Software file is empty.\n");
    return kFail;
  }
  // Progress counts the file's characters taken, records and line ends.
  ald::ReportDownloadProgress(0, size);
  if (GlobalProcedure(address, generation, kStart2, nullptr, 0, p) != kOk) return kFail;
  ald::Clock& clock = ald::GetClock();
  clock.SleepMs(kAfterStartPauseMs);

  // Records are checked and sent one at a time, as they are read; a bad
  // record stops the download with the records before it sent.
  char word[kWordBuffer];
  unsigned char bytes[kMaxRecordBytes];
  int length = 0;
  for (int record = 1;; ++record) {
    const WordRead read = ReadWord(file.get(), word, length);
    if (read == WordRead::kError) {
      printf("Cannot read file.\n");
      return kFail;
    }
    if (read == WordRead::kTooLong) {
      printf("File format error: record %d is longer than %d characters\n", record,
             kWordBuffer - 1);
      return kHexFormatError;
    }
    if (read == WordRead::kEnd) {
      // Without its end-of-file record the file may have been cut short.
      printf("File format error: no end-of-file record\n");
      return kHexFormatError;
    }
    if (word[0] != ':') {
      printf("File format error");
      return kHexFormatError;
    }
    const int n = ConvertRecord(word, length, record, bytes);
    if (n == 0) return kHexFormatError;
    if (IsEndOfFileRecord(word)) break;

    int result = kOk;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      result =
          GlobalProcedure(address, generation, kSegment2, reinterpret_cast<char*>(bytes), n, p);
      if (result == kOk) break;
      clock.SleepMs(kRetryPauseMs);
    }
    if (result != kOk) return result;
    ald::ReportDownloadProgress(std::ftell(file.get()), size);
  }
  file.reset();
  ald::ReportDownloadProgress(size, size);
  return GlobalProcedure(address, generation, kEnd2, nullptr, 0, p);
}
