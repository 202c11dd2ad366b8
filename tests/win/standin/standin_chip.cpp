#include "standin_chip.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace standin {

namespace {

const char* StatePath() {
  const char* path = std::getenv("CP210X_STANDIN_STATE");
  return (path != nullptr && path[0] != '\0') ? path : nullptr;
}

unsigned Hex(const std::string& text) {
  return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
}

}  // namespace

int Chip::Count() const {
  if (parts.empty()) return 0;
  int n = 1;
  for (char c : parts) n += c == ',' ? 1 : 0;
  return n;
}

int Chip::PartOf(int index) const {
  std::stringstream in(parts);
  std::string item;
  for (int i = 0; std::getline(in, item, ','); ++i) {
    if (i == index) return std::atoi(item.c_str());
  }
  return -1;
}

bool Chip::Fails(const char* role) const {
  std::stringstream in(fail);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item == role) return true;
  }
  return false;
}

bool Load(Chip& chip) {
  const char* path = StatePath();
  if (path == nullptr) return false;
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "parts")
      chip.parts = value;
    else if (key == "vid")
      chip.vid = Hex(value);
    else if (key == "pid")
      chip.pid = Hex(value);
    else if (key == "serial")
      chip.serial = value;
    else if (key == "mode")
      chip.mode = Hex(value);
    else if (key == "reset")
      chip.reset = Hex(value);
    else if (key == "suspend")
      chip.suspend = Hex(value);
    else if (key == "fxn")
      chip.fxn = Hex(value);
    else if (key == "latch")
      chip.latch = Hex(value);
    else if (key == "fail")
      chip.fail = value;
    else if (key == "open")
      chip.open = std::atoi(value.c_str());
    else if (key == "opens")
      chip.opens = std::atoi(value.c_str());
    else if (key == "resets")
      chip.resets = std::atoi(value.c_str());
  }
  return true;
}

void Save(const Chip& chip) {
  const char* path = StatePath();
  if (path == nullptr) return;
  std::ofstream out(path, std::ios::trunc);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer,
                "parts=%s\nvid=%04x\npid=%04x\nserial=%s\nmode=%04x\nreset=%04x\nsuspend=%04x\n"
                "fxn=%02x\nlatch=%02x\nfail=%s\nopen=%d\nopens=%d\nresets=%d\n",
                chip.parts.c_str(), chip.vid, chip.pid, chip.serial.c_str(), chip.mode, chip.reset,
                chip.suspend, chip.fxn, chip.latch, chip.fail.c_str(), chip.open, chip.opens,
                chip.resets);
  out << buffer;
}

}  // namespace standin
