// The text the programs read from people: site files of the simulator, and
// aldctl's command line, the values of `data set` and the device table it
// prints.
//
// The input is a site file, unless it starts with one of these lines:
//   "#!aldctl": the lines after it are aldctl's arguments, one a line;
//   "#!value": then a byte for the table field, a byte for the device
//              (bit 0: AISG 1.x, bit 1: RET), and the value text;
//   "#!table": the rest fills device table entries that aldctl prints in
//              all three formats;
//   "#!sysfs": the attribute files of a USB serial adapter in a fake sysfs
//              tree, separated by zero bytes (idVendor, idProduct, serial,
//              bInterfaceNumber), then the serial number looked for.
// A site file beginning with such a line is still a site file's comment,
// so every seed stays a valid file of its kind.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "aldlink/adapter/posix_platform.h"
#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "fuzz/support/file_scratch.h"
#include "sim/bus.h"
#include "sim/sim_platform.h"
#include "sim/site_file.h"
#include "support/clock.h"
#include "tools/aldctl/cli.h"
#include "tools/aldctl/fields.h"
#include "tools/aldctl/format.h"

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::FILE* Sink() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) fuzz::Broken("cannot open /dev/null");
  return sink;
}

// The registry is protected; a derived class reaches it.
struct Registry : AISGDevice {
  static void Clear() {
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    theDeviceCount = 0;
  }
};

// What a site file lets through, the simulator must be able to run: the
// controller scans the line and reads every device it finds.
void Run(ald::sim::DeviceList devices) {
  const size_t count = devices.size();
  ald::ScopedVirtualClock clock;
  ald::sim::SimBus bus(std::move(devices));
  ald::sim::SimPlatform platform(bus);
  ald::SetAdapterPlatform(&platform);
  AISGDevice::Scan(4, 1);
  if (AISGDevice::GetNumberOfDevices() > static_cast<int>(count)) {
    fuzz::Broken("the scan found more devices than the site has");
  }
  static const std::string image = [] {
    const std::string path = fuzz::ScratchDir() + "/site-image.bin";
    const std::string bytes(150, '\x5A');
    fuzz::WriteWholeFile(path, bytes.data(), bytes.size());
    return path;
  }();
  for (int i = 0; i < AISGDevice::GetNumberOfDevices(); ++i) {
    AISGDevice* d = AISGDevice::GetDevices()[i];
    d->SelfTest();
    d->ClearActiveAlarms();
    std::string files = image;
    d->DownloadSoftware(files.data());
    DeviceData data;
    int value = 0;
    if (auto* ret = dynamic_cast<RETDevice*>(d)) {
      ret->GetDeviceData(1, data, 1);
      ret->SetTilt(1, 50);
    } else if (auto* tma = dynamic_cast<TMADevice*>(d)) {
      tma->GetDeviceData(1, data, 1);
      tma->GetGain(1, value, 1);
    }
  }
  Registry::Clear();
  ald::SetAdapterPlatform(nullptr);
}

// A failed load names the file and the line, in one line, and keeps no
// device; a good one keeps at least one device and says nothing.
void Site(const std::string& text) {
  const std::string path = fuzz::ScratchDir() + "/input.site";
  fuzz::WriteWholeFile(path, text.data(), text.size());
  ald::sim::DeviceList devices;
  std::string error;
  const bool loaded = ald::sim::LoadSite(path, devices, error);
  if (loaded) {
    if (devices.empty() || !error.empty()) fuzz::Broken("a loaded site without devices");
    for (const auto& d : devices) {
      if (d == nullptr) fuzz::Broken("a loaded site with a missing device");
    }
    // Small lines only, so that a scan stays quick.
    if (devices.size() <= 3) Run(std::move(devices));
  } else {
    if (!devices.empty()) fuzz::Broken("a refused site kept devices");
    if (!StartsWith(error, (path + ": line ").c_str())) fuzz::Broken("error without its line");
    if (error.find('\n') != std::string::npos) fuzz::Broken("error of more than one line");
  }
}

void Arguments(const std::string& text) {
  std::vector<std::string> args;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  aldctl::Invocation inv;
  std::string error;
  if (!aldctl::ParseInvocation(args, inv, error)) {
    if (error.empty()) fuzz::Broken("a refused command line without a reason");
    return;
  }
  if (inv.help) aldctl::WriteHelp(Sink(), inv.helpVerb);
  for (const aldctl::Command& c : inv.commands) {
    if (c.help) aldctl::WriteHelp(Sink(), c.verb);
    if (c.address < -1 || c.address > aldctl::kMaxAddress) fuzz::Broken("address accepted");
    if (c.subunit < -1 || c.subunit > aldctl::kMaxSubunit) fuzz::Broken("subunit accepted");
    if (c.depth < aldctl::kMinDepth || c.depth > aldctl::kMaxDepth) fuzz::Broken("depth");
    for (const auto& entry : c.data) {
      const int field = entry.first;
      if (field < 0 || field >= kMirelkFieldCount) fuzz::Broken("unknown field accepted");
    }
  }
}

void Value(const std::string& text) {
  if (text.size() < 2) return;
  const int index = static_cast<uint8_t>(text[0]) % (kMirelkFieldCount + 1);
  const int generation = (text[1] & 1) != 0 ? 1 : 2;
  const bool isRet = (text[1] & 2) != 0;
  const std::string value = text.substr(2);

  aldctl::FindTableField(value);
  long number = 0;
  long scaled = 0;
  if (aldctl::ParseScaled(value, 0, scaled) && value.find('.') == std::string::npos) {
    if (!aldctl::ParseInt(value, number) || number != scaled) {
      fuzz::Broken("a whole number read two ways");
    }
  }
  aldctl::ParseScaled(value, 1, scaled);
  aldctl::ParseScaled(value, 2, scaled);

  const aldctl::WritableField* field = aldctl::FindWritableField(index);
  if (field == nullptr) return;
  const std::string widest = aldctl::CheckValue(*field, value);
  DeviceData data{};
  std::string ids;
  const std::string stored = aldctl::StoreValue(*field, value, generation, isRet, data, ids);
  if (!widest.empty() && stored.empty()) fuzz::Broken("a value refused in general was stored");
  if (stored.empty() && ids.empty()) fuzz::Broken("a stored value names no field to send");
}

void Table(const std::string& text) {
  // Whole entries from the input, the last one padded with zero bytes:
  // fields need not be terminated, the printer must bound them itself.
  const size_t count = text.size() / sizeof(MIRELK_DATA) + 1;
  std::vector<MIRELK_DATA> entries(count);
  std::memset(entries.data(), 0, count * sizeof(MIRELK_DATA));
  std::memcpy(entries.data(), text.data(), text.size());
  for (auto format :
       {aldctl::TableFormat::kText, aldctl::TableFormat::kCsv, aldctl::TableFormat::kJson}) {
    aldctl::WriteTable(Sink(), entries.data(), static_cast<int>(count), format);
  }
  for (int i = 0; i < kMirelkFieldCount; ++i) {
    const std::string field = aldctl::Field(entries[0], i);
    if (field.size() > static_cast<size_t>(kMirelkFieldSize)) fuzz::Broken("field too long");
    aldctl::Scaled(field, 10);
    aldctl::Scaled(field, 4);
  }
  aldctl::EntryKind(entries[0]);
}

// A fake sysfs tree with one USB device whose interface carries two ttys,
// made once; each input rewrites the attribute files.
struct Sysfs {
  std::string root;
  std::string device;
  std::string interface;
  Sysfs() {
    namespace fs = std::filesystem;
    root = fuzz::ScratchDir() + "/sys";
    device = root + "/devices/pci0000:00/usb1/1-1";
    interface = device + "/1-1:1.0";
    const fs::path list = fs::path(root) / "bus" / "usb-serial" / "devices";
    fs::create_directories(list);
    for (const char* tty : {"ttyUSB3", "ttyUSB12"}) {
      fs::create_directories(fs::path(interface) / tty);
      fs::create_symlink(fs::path("../../../devices/pci0000:00/usb1/1-1/1-1:1.0") / tty,
                         list / tty);
    }
  }
};

void Attributes(const std::string& text) {
  static const Sysfs sysfs;
  std::vector<std::string> parts;
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(std::min(start, text.size()), end - std::min(start, text.size())));
    start = end + 1;
  }
  const std::string wanted = start < text.size() ? text.substr(start) : "";
  const char* names[] = {"/idVendor", "/idProduct", "/serial", "/bInterfaceNumber"};
  for (int i = 0; i < 4; ++i) {
    const std::string path = (i == 3 ? sysfs.interface : sysfs.device) + names[i];
    fuzz::WriteWholeFile(path, parts[i].data(), parts[i].size());
  }
  ald::PosixPlatform platform(sysfs.root, fuzz::ScratchDir());
  const int port = platform.LookupPortNumber(0x10C4, 0xEA60, wanted.c_str());
  if (port != -1 && port != 4) fuzz::Broken("a port no tty of the adapter has");
  if (parts[0] == "10c4\n" && parts[1] == "ea60\n" && parts[2] == wanted + "\n" &&
      wanted.find_first_of(" \n\r\t\v\f") == std::string::npos && port != 4) {
    fuzz::Broken("the adapter's tty was not found");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietTrace();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (StartsWith(text, "#!aldctl\n")) {
    Arguments(text.substr(9));
  } else if (StartsWith(text, "#!value\n")) {
    Value(text.substr(8));
  } else if (StartsWith(text, "#!table\n")) {
    Table(text.substr(8));
  } else if (StartsWith(text, "#!sysfs\n")) {
    Attributes(text.substr(8));
  } else {
    Site(text);
  }
  return 0;
}
