#include "tests/download/download_test_util.h"

#include <dirent.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace dltest {

using proctest::Command;

TempDir::TempDir() {
  std::string pattern = ::testing::TempDir() + "dltestXXXXXX";
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) ADD_FAILURE() << "cannot make a temporary directory";
  dir_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) {
  std::ofstream out(Path(name), std::ios::binary);
  out << content;
  return Path(name);
}

std::string TempDir::Write(const std::string& name, const Bytes& content) {
  return Write(name, std::string(content.begin(), content.end()));
}

int OpenDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] != '.') ++n;
  }
  closedir(d);
  return n - 1;  // the directory's own descriptor
}

Bytes Image(int n) {
  Bytes b(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
  return b;
}

DownloadDevice::DownloadDevice(proctest::ScriptedLine& line, uint8_t address)
    : line_(line), address_(address) {
  line_.responder = [this](const Command& c) -> Bytes {
    if (c.address != address_) return {};
    if (c.control == proctest::kSNRM || c.control == proctest::kDISC) {
      ns_ = nr_ = 0;
      return proctest::UA(address_);
    }
    if (c.IsRR()) {
      if (endWaiting_) {
        ++endPolls_;
        if (endAnswerAfterPolls >= 0 && endPolls_ > endAnswerAfterPolls) {
          endWaiting_ = false;
          Bytes frame = proctest::IFrame(address_, ns_, nr_, endAnswer_);
          ns_ = (ns_ + 1) % 8;
          return frame;
        }
      }
      return proctest::RR(address_, nr_);
    }
    if (!c.IsInfo()) return {};
    const int index = static_cast<int>(messages.size());
    messages.push_back(c.info);
    if (silent && silent(c.info, index)) return {};
    nr_ = (nr_ + 1) % 8;
    Bytes answer = Answer(c.info, index);
    const bool gen1 = !c.info.empty() && c.info[0] == 1;
    const uint8_t code = c.info.size() > (gen1 ? 1u : 0u) ? c.info[gen1 ? 1 : 0] : 0;
    if ((code == 0x22 || code == 0x42) && endAnswerAfterPolls != 0) {
      endWaiting_ = true;
      endPolls_ = 0;
      endAnswer_ = answer;
      return proctest::RR(address_, nr_);
    }
    Bytes frame = proctest::IFrame(address_, ns_, nr_, answer);
    ns_ = (ns_ + 1) % 8;
    return frame;
  };
}

Bytes DownloadDevice::Answer(const Bytes& message, int index) {
  if (hook) {
    Bytes a = hook(message, index);
    if (!a.empty()) return a;
  }
  const bool gen1 = !message.empty() && message[0] == 1;
  const size_t at = gen1 ? 1 : 0;
  if (message.size() < at + 3) return proctest::Message2(0, {0x0B});
  const uint8_t code = message[at];
  Bytes data{0x00};
  if (code == 0x20 && message.size() >= at + 5) {
    data.push_back(message[at + 3]);
    data.push_back(message[at + 4]);
  }
  if (code == 0x21 && message.size() >= at + 4) data.push_back(message[at + 3]);
  return gen1 ? proctest::Message1(code, data) : proctest::Message2(code, data);
}

std::vector<Bytes> DownloadDevice::OfCode(uint8_t code, int generation) const {
  std::vector<Bytes> out;
  const size_t at = generation == 1 ? 1 : 0;
  for (const Bytes& m : messages) {
    if (m.size() > at && m[at] == code && (generation == 2 || m[0] == 1)) out.push_back(m);
  }
  return out;
}

Bytes DownloadDevice::Received(int generation) const {
  Bytes out;
  const uint8_t code = generation == 1 ? 0x21 : 0x41;
  const size_t header = generation == 1 ? 5 : 3;
  for (const Bytes& m : OfCode(code, generation)) {
    if (m.size() > header) out.insert(out.end(), m.begin() + header, m.end());
  }
  return out;
}

std::vector<std::string> Lines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

int CountLines(const std::string& out, const std::string& line) {
  int n = 0;
  for (const std::string& l : Lines(out)) n += l == line ? 1 : 0;
  return n;
}

int CountPrefix(const std::string& out, const std::string& prefix) {
  int n = 0;
  for (const std::string& l : Lines(out)) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

}  // namespace dltest
