// Fault soak of the flat control interface: thousands of operations, picked
// by a seeded generator, run through the exported functions against a
// simulated line whose devices misbehave frame by frame (silence, collisions,
// broken frames, FAIL answers, malformed answers, devices vanishing and
// restarting). After every operation the results, the registry and the table
// are checked. A failure names the seed and the operation index; the same
// seed replays the same run. ALD_SOAK_OPS sets the operation count of every
// run (for long local runs), ALD_SOAK_SEED_BASE shifts the seeds, and
// ALD_SOAK_TRACE names a file for the library's trace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "aldglue/aldglue.h"
#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "sim/fault_injector.h"
#include "sim/sim_ald.h"
#include "sim/sim_platform.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace {

namespace fs = std::filesystem;
using ald::sim::FaultInjector;
using ald::sim::FaultKind;

constexpr int kRegistryCapacity = 24;
// Operations between two checks that the system recovers on a sound line.
constexpr int kRecoverEvery = 150;

// --- Where a crash happened ------------------------------------------------------

char gWhere[160] = "soak: not started\n";

void OnFatalSignal(int sig) {
  const ssize_t ignored = write(2, gWhere, std::strlen(gWhere));
  (void)ignored;
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// --- Standard output off while the library traces ----------------------------------

class Silence {
 public:
  Silence() {
    std::fflush(stdout);
    saved_ = dup(1);
    // ALD_SOAK_TRACE names a file that takes the library's trace instead.
    const char* trace = std::getenv("ALD_SOAK_TRACE");
    const int null = trace != nullptr ? open(trace, O_WRONLY | O_CREAT | O_APPEND, 0644)
                                      : open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      close(null);
    }
  }
  ~Silence() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, 1);
      close(saved_);
    }
  }
  Silence(const Silence&) = delete;
  Silence& operator=(const Silence&) = delete;

 private:
  int saved_ = -1;
};

// --- Sites -------------------------------------------------------------------------

const char kMixedSite[] = R"(
[device]
generation = 1
type = 1
vendor = KA
serial = 0000RE0912004471
product = RCU-S1
sw-version = 1.1.07
tilt-speed = 10.0
calibration-time = 4

[subunit 1]
antenna-model = K-742215
tilt-range = 0.0 8.0
tilt = 3.0
sector-id = S2

[device]
generation = 2
type = 17
vendor = KA
serial = MR4401203977
product = RCU-M3-2.0
sw-version = 2.04.11
subunits = 3
tilt-speed = 10.0
calibration-time = 4

[subunit 1]
antenna-model = AX-3M65-18V
band = 0x00C1
band-ext08 = 0x1234
band-ext09 = 0xA0B0
tilt-range = 2.0 12.0
tilt = 6.0

[subunit 3]
tilt = 2.0
alarms = 0x0E

[device]
generation = 1
type = 2
vendor = PW
serial = TM1107000815
product = TMA-850
sw-version = 1.0.2
after-download-generation = 2
after-download-sw-version = 2.0.0

[subunit 1]
tma-type = 1
rx-band = 824.0 849.0
tx-band = 869.0 894.0
gain = 8.0

[device]
generation = 2
type = 2
vendor = CC
serial = TD24090011
product = TMA-DD-1821
subunits = 2

[subunit 1]
non-linear-gains = 4.0 8.0 12.0
gain = 12.0

[subunit 2]
gain = 10.0
mode = bypass
alarms = 0x30

[device]
generation = 2
type = 16
vendor = AN
serial = ATM3X00042
product = ATM3
sw-version = 5.1

[device]
generation = 2
type = 1
vendor = AR
serial = AR77000311
product = ARET-1
after-download-sw-version = 1.9
tilt-speed = 10.0
calibration-time = 4

[subunit 1]
tilt-range = 0.0 15.0
tilt = 5.0
calibrated = no
)";

// More devices than the registry holds.
std::string CrowdSite(int devices) {
  std::string s;
  for (int i = 0; i < devices; ++i) {
    s += "[device]\ngeneration = 2\ntype = " + std::string(i % 3 == 2 ? "2" : "1") +
         "\nvendor = KA\nserial = CROWD" + std::to_string(1000 + i) + "\n";
  }
  return s;
}

// --- Allowed results ------------------------------------------------------------------

// Results that a device operation may give: success, a FAIL without reason
// code (11), no link or an unusable answer (89), and the first reason code a
// device sent, sign-extended from its byte.
std::set<int> DeviceResults() {
  std::set<int> s = {0, 11, 89};
  for (uint8_t r : FaultInjector::Reasons()) s.insert(static_cast<signed char>(r));
  // The reason codes the simulated devices send of their own accord.
  for (int generation : {1, 2}) {
    for (int why = 0; why <= static_cast<int>(ald::sim::Refusal::kProcedureSequence); ++why) {
      s.insert(static_cast<signed char>(
          ald::sim::ReasonCode(generation, static_cast<ald::sim::Refusal>(why))));
    }
  }
  return s;
}

std::set<int> With(std::set<int> s, std::initializer_list<int> more) {
  s.insert(more);
  return s;
}

// --- The soak ------------------------------------------------------------------------

struct Registered {
  std::string uid;
  int generation;
  int address;
  bool ret;
  bool tma;
  int subunits;
};

class Soak {
 public:
  Soak(uint32_t seed, const std::string& site, double rate) : seed_(seed), rate_(rate), rng_(seed) {
    ald::sim::DeviceList devices;
    std::string error;
    if (!ald::sim::ParseSite(site, devices, error)) {
      Fail("site refused: " + error);
      return;
    }
    for (auto& d : devices) {
      auto* ald = static_cast<ald::sim::SimAld*>(d.get());
      uids_.push_back(ald->uniqueId);
    }
    bus_ = std::make_unique<ald::sim::SimBus>(std::move(devices));
    platform_ = std::make_unique<ald::sim::SimPlatform>(*bus_);
    injector_ = std::make_unique<FaultInjector>(seed * 7919u + 1u, rate);
    bus_->SetObserver(injector_.get());
    ald::SetAdapterPlatform(platform_.get());

    dir_ = fs::temp_directory_path() /
           ("ald-soak-" + std::to_string(getpid()) + "-" + std::to_string(seed));
    fs::create_directories(dir_ / "tmp");
    fs::create_directories(dir_ / "data");
    setenv("ALDLINK_DBDIR", dir_.c_str(), 1);
    image_ = (dir_ / "image.bin").string();
    WriteFile(image_, 300);
    image2_ = (dir_ / "second.bin").string();
    WriteFile(image2_, 140);
    config_ = (dir_ / "antenna.bin").string();
    WriteFile(config_, 90);

    device_ = DeviceResults();
    deviceOrBadSubunit_ = With(device_, {36, kAldglueFailure});
    deviceWide_ = With(device_, {kAldglueFailure});
  }

  ~Soak() {
    // Devices go with the registry, the table with the next scan; the line
    // and the platform are this object's.
    ClearRegistry();
    if (bus_) bus_->SetObserver(nullptr);
    ald::SetAdapterPlatform(nullptr);
    unsetenv("ALDLINK_DBDIR");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void Run(int ops) {
    if (!problems_.empty()) return;
    Silence quiet;
    for (op_ = 0; op_ < ops && problems_.size() < 5; ++op_) {
      std::snprintf(gWhere, sizeof gWhere, "soak: crashed at seed %u, operation %d\n", seed_, op_);
      Step();
      CheckRegistry();
      if (op_ % kRecoverEvery == kRecoverEvery - 1) Recover();
    }
    Recover();
  }

  const std::vector<std::string>& problems() const { return problems_; }
  const FaultInjector& injector() const { return *injector_; }
  // The simulated devices' generations now, e.g. "1 2 2 2 2 2".
  std::string Generations() const {
    std::string text;
    for (int i = 0; bus_ && i < bus_->DeviceCount(); ++i) {
      text += (i ? " " : "") + std::to_string(bus_->Device(i).generation);
    }
    return text;
  }
  int scans() const { return scans_; }
  int tableChecks() const { return tableChecks_; }
  int maxRegistered() const { return maxRegistered_; }
  // How often each result came, over all checked operations.
  const std::map<int, int>& results() const { return results_; }

  // Empties the registry as a new scan would, destroying its objects.
  struct RegistryAccess : AISGDevice {
    static void Clear() {
      for (int i = 0; i < theDeviceCount; ++i) {
        delete theDevices[i];
        theDevices[i] = nullptr;
      }
      theDeviceCount = 0;
    }
  };
  static void ClearRegistry() { RegistryAccess::Clear(); }

 private:
  static void WriteFile(const std::string& path, int size) {
    std::ofstream f(path, std::ios::binary);
    for (int i = 0; i < size; ++i) f.put(static_cast<char>((i * 37 + 11) & 0xFF));
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool Chance(int percent) { return Pick(100) < percent; }

  void Fail(const std::string& what) {
    problems_.push_back("seed " + std::to_string(seed_) + ", operation " + std::to_string(op_) +
                        " (" + opName_ + "): " + what);
  }

  void Expect(int result, const std::set<int>& allowed) {
    ++results_[result];
    if (allowed.count(result) == 0) Fail("result " + std::to_string(result) + " is not defined");
  }
  // The dispatch functions leave their result as the last result.
  void ExpectRemembered(int result) {
    if (getLastError() != result) {
      Fail("getLastError() " + std::to_string(getLastError()) + " after result " +
           std::to_string(result));
    }
  }

  std::vector<Registered> Devices() const {
    std::vector<Registered> list;
    AISGDevice** devices = AISGDevice::GetDevices();
    for (int i = 0; i < AISGDevice::GetNumberOfDevices(); ++i) {
      AISGDevice* d = devices[i];
      if (d == nullptr) continue;
      list.push_back({std::string(d->GetUniqueIDBytes(), static_cast<size_t>(d->GetUniqueIDSize())),
                      d->GetAISGVersion(), d->GetAddress(), dynamic_cast<RETDevice*>(d) != nullptr,
                      dynamic_cast<TMADevice*>(d) != nullptr, d->GetNumberOfSubunits()});
    }
    return list;
  }

  // An address for an operation of a RET (or TMA) function: mostly one of a
  // registered device of that class, sometimes of the other class, sometimes
  // one nobody has. `subunits` gets the device's subunit count (0: unknown).
  int PickAddress(bool ret, int& subunits) {
    std::vector<Registered> all = Devices();
    std::vector<Registered> mine;
    for (const Registered& r : all) {
      if (ret ? r.ret : r.tma) mine.push_back(r);
    }
    subunits = 0;
    const int roll = Pick(100);
    if (roll < 80 && !mine.empty()) {
      const Registered& r = mine[static_cast<size_t>(Pick(static_cast<int>(mine.size())))];
      subunits = r.subunits;
      return r.address;
    }
    if (roll < 90 && !all.empty()) {
      return all[static_cast<size_t>(Pick(static_cast<int>(all.size())))].address;
    }
    return Pick(131);
  }

  int PickSubunit(int subunits) {
    if (subunits <= 0 || Chance(8)) {
      const int odd[] = {0, -1, 17, 255, subunits + 1};
      return odd[Pick(5)];
    }
    return 1 + Pick(subunits);
  }

  void Step();
  void Recover();
  // The simulated device of a unique ID, nullptr when none has it.
  ald::sim::SimAld* SimOf(const std::string& uid);
  void CheckRegistry();
  // Right after a scan on a sound line: the table shows what the devices hold.
  // `only`: after a refresh alone, for the devices of these unique IDs, which
  // could still be reached where the registry has them.
  void CheckTableAgainstDevices(const std::set<std::string>* only);
  // An AISG 2.0 device is addressed anew with every link; an AISG 1.1 device
  // only where it still holds its address. No other device may answer there. Either must still
  // speak the generation the registry knows.
  bool Reachable(const Registered& d, const ald::sim::SimAld* sim) const {
    if (sim == nullptr || sim->generation != d.generation) return false;
    int others = 0;  // other devices that answer at the address
    for (int i = 0; i < bus_->DeviceCount(); ++i) {
      if (&bus_->Device(i) != sim && bus_->Device(i).address == d.address) ++others;
    }
    return others == 0 && (d.generation == 2 || sim->address == d.address);
  }
  void CheckTable(const MIRELK_DATA* table);
  void ScanOp();
  void AddOp();
  void RetOp();
  void TmaOp();
  void DataOp();
  void LineOp();

  uint32_t seed_;
  double rate_;
  std::mt19937 rng_;
  std::unique_ptr<ald::sim::SimBus> bus_;
  std::unique_ptr<ald::sim::SimPlatform> platform_;
  std::unique_ptr<FaultInjector> injector_;
  std::vector<std::string> uids_;
  fs::path dir_;
  std::string image_, image2_, config_;
  std::set<int> device_, deviceOrBadSubunit_, deviceWide_;
  std::vector<std::string> problems_;
  int op_ = 0;
  std::string opName_ = "setup";
  int scans_ = 0;
  int tableChecks_ = 0;
  int maxRegistered_ = 0;
  std::map<int, int> results_;
};

void Soak::Step() {
  const int roll = Pick(100);
  if (roll < 6) {
    ScanOp();
  } else if (roll < 10) {
    AddOp();
  } else if (roll < 14) {
    opName_ = "refreshMain";
    const int r = refreshMain();
    Expect(r, {0});
    ExpectRemembered(r);
  } else if (roll < 24) {
    opName_ = "getMirelkData";
    const int before = getLastError();
    const MIRELK_DATA* table = getMirelkData();
    if (AISGDevice::GetNumberOfDevices() == 0) {
      if (getLastError() != before) Fail("an empty registry changed the last result");
    } else {
      Expect(getLastError(), With(deviceOrBadSubunit_, {}));
    }
    CheckTable(table);
  } else if (roll < 52) {
    RetOp();
  } else if (roll < 78) {
    TmaOp();
  } else if (roll < 88) {
    DataOp();
  } else {
    LineOp();
  }
}

ald::sim::SimAld* Soak::SimOf(const std::string& uid) {
  for (int i = 0; i < bus_->DeviceCount(); ++i) {
    if (bus_->Device(i).uniqueId == uid) return static_cast<ald::sim::SimAld*>(&bus_->Device(i));
  }
  return nullptr;
}

// Once the faults stop, a scan finds every device again and the operations
// read what the devices hold: nothing the faults did stays behind.
void Soak::Recover() {
  opName_ = "recovery";
  injector_->Calm(*bus_);
  injector_->SetRate(0);
  // Long enough for every restart, self test and movement to end.
  ald::GetClock().SleepMs(60000);
  // A refresh alone brings back what can still be reached. (Judged before
  // it: a device that missed an address reset may still answer at another
  // device's address until its own link moves it.)
  //
  // A device of vendor "AR" whose identity read disagrees with what the
  // object holds (an earlier answer garbled it) is searched for by its unique
  // ID, and that search starts with a reset of every address on the bus: the
  // AR device loses its link in the middle of its refresh and every AISG 1.1
  // device its address. Those are left to the scan.
  bool arOnLine = false;
  for (const Registered& d : Devices()) arOnLine |= d.uid.compare(0, 2, "AR") == 0;
  std::set<std::string> reachable;
  for (const Registered& d : Devices()) {
    if (d.uid.compare(0, 2, "AR") == 0 || (arOnLine && d.generation == 1)) continue;
    if (Reachable(d, SimOf(d.uid))) reachable.insert(d.uid);
  }
  Expect(refreshMain(), {0});
  CheckTableAgainstDevices(&reachable);
  opName_ = "recovery scan";
  const int r = scanMain(4, 1);
  ++scans_;
  Expect(r, {0});
  const int expected = std::min(bus_->DeviceCount(), kRegistryCapacity);
  if (AISGDevice::GetNumberOfDevices() != expected) {
    Fail("a scan on a sound line registered " + std::to_string(AISGDevice::GetNumberOfDevices()) +
         " of " + std::to_string(expected) + " devices");
  }
  CheckTable(nullptr);
  CheckTableAgainstDevices(nullptr);
  for (const Registered& d : Devices()) {
    ald::sim::SimAld* sim = SimOf(d.uid);
    if (sim == nullptr) {
      Fail("registered device at " + std::to_string(d.address) + " has no simulated device");
      continue;
    }
    // An AISG 1.1 device keeps the address the scan gave it; an AISG 2.0
    // device gets it again with every link.
    if (d.generation == 1 && sim->address != d.address) {
      Fail("AISG 1.1 device registered at " + std::to_string(d.address) + " is at " +
           std::to_string(sim->address));
    }
    for (int s = 1; s <= d.subunits; ++s) {
      const std::string where = " at " + std::to_string(d.address) + "/" + std::to_string(s);
      if (s > static_cast<int>(sim->subunits.size())) {
        Fail("subunit" + where + " that the device does not have");
        continue;
      }
      const ald::sim::AldSubunit& unit = sim->subunits[static_cast<size_t>(s - 1)];
      int value = -12345;
      if (d.ret) {
        const int got = getTilt(d.address, s, &value);
        const bool told = unit.calibrated
                              ? got == 0 && value == unit.tilt
                              : got == ald::rc::aisg2::kNotCalibrated && value == -12345;
        if (!told) {
          Fail("getTilt" + where + " gave " + std::to_string(got) + ", tilt " +
               std::to_string(value) + ", the device holds " + std::to_string(unit.tilt));
        }
      } else {
        const int got = getGain(d.address, s, &value);
        if (got != 0 || value != unit.gain) {
          Fail("getGain" + where + " gave " + std::to_string(got) + ", gain " +
               std::to_string(value) + ", the device holds " + std::to_string(unit.gain));
        }
        value = -12345;
        const int gotMode = getMode(d.address, s, &value);
        if (gotMode != 0 || value != unit.mode) {
          Fail("getMode" + where + " gave " + std::to_string(gotMode) + ", mode " +
               std::to_string(value) + ", the device holds " + std::to_string(unit.mode));
        }
      }
    }
  }
  injector_->SetRate(rate_);
}

namespace {
// A text field as a device keeps it (right-aligned behind zero bytes) and as
// the controller reads it: up to the first unprintable byte.
std::string SimText(const ald::sim::AldSubunit& unit, uint8_t id) {
  const std::vector<uint8_t>* value = unit.Field(id);
  std::string text;
  if (value == nullptr) return text;
  size_t i = 0;
  while (i < value->size() && (*value)[i] == 0) ++i;
  for (; i < value->size() && (*value)[i] >= 0x20 && (*value)[i] <= 0x7E; ++i) {
    text.push_back(static_cast<char>((*value)[i]));
  }
  return text;
}
}  // namespace

void Soak::CheckTableAgainstDevices(const std::set<std::string>* only) {
  const MIRELK_DATA* table = getMirelkData();
  const std::vector<Registered> devices = Devices();
  int next = 0;
  for (const Registered& d : devices) {
    ald::sim::SimAld* sim = SimOf(d.uid);
    if (only != nullptr && only->count(d.uid) == 0) {
      next += d.subunits;
      continue;
    }
    for (int s = 1; s <= d.subunits; ++s, ++next) {
      if (table == nullptr || next >= getMirelkDataCount() || sim == nullptr ||
          s > static_cast<int>(sim->subunits.size())) {
        return;  // reported by the other checks
      }
      const MIRELK_DATA& e = table[next];
      const ald::sim::AldSubunit& unit = sim->subunits[static_cast<size_t>(s - 1)];
      std::string id = d.uid;
      id.erase(std::remove(id.begin(), id.end(), '\0'), id.end());
      const std::string where =
          " of " + std::to_string(d.address) + "/" + std::to_string(s) + " (" + id + ")";
      auto same = [&](int field, const std::string& want, const char* name) {
        if (want != e.field[field]) {
          Fail(std::string(name) + where + " reads '" + e.field[field] + "', the device holds '" +
               want + "'");
        }
      };
      // The identity texts are learnt once per object: an over-long serial
      // number in its first answer stays with the object until the next
      // scan (later reads take such a device for another one at that
      // address). So only a scan is sure to show them right.
      if (only == nullptr) {
        same(kMdRetSerial, sim->serialNumber, "serial number");
        same(kMdSoftwareVersion, sim->softwareVersion, "software version");
      }
      same(kMdAntennaModel, SimText(unit, 0x01), "antenna model");
      same(kMdSectorId, SimText(unit, 0x24), "sector ID");
      // A sound refresh leaves exactly the device's own alarms, at most five
      // of them shown as hex digits.
      std::string cause;
      for (size_t k = 0; k < unit.alarms.size() && k < 5; ++k) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", unit.alarms[k]);
        cause += hex;
      }
      same(kMdDeviceStatus, unit.alarms.empty() ? "0" : "1", "alarm status");
      std::string shown = e.field[kMdDeviceStatusCause];
      for (char& c : shown) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (shown != cause) {
        Fail("alarm codes" + where + " read '" + shown + "', the device has '" + cause + "'");
      }
      if (d.ret) {
        // An actuator that was never calibrated does not tell its tilt.
        same(kMdCurrentTilt, unit.calibrated ? std::to_string(unit.tilt) : "", "tilt");
      } else {
        same(kMdCurrentGain, std::to_string(unit.gain), "gain");
        same(kMdMode, std::to_string(unit.mode), "mode");
      }
    }
  }
}

void Soak::ScanOp() {
  const int depth = 1 + Pick(4);
  const int assign = Chance(75) ? 1 : 0;
  opName_ = "scanMain(" + std::to_string(depth) + "," + std::to_string(assign) + ")";
  // A scan on a quiet line now and then, so that the registry fills again.
  if (Chance(30)) injector_->Calm(*bus_);
  const int r = scanMain(depth, assign);
  ++scans_;
  Expect(r, {0});
  if (AISGDevice::GetNumberOfDevices() == 0) {
    if (getMirelkDataCount() != -1)
      Fail("an empty scan left the entry count at " + std::to_string(getMirelkDataCount()));
    if (getMirelkDataCountStr()[0] != 0) Fail("an empty scan left a count text");
  } else {
    CheckTable(nullptr);
  }
}

void Soak::AddOp() {
  std::string vendor = "KA", serial = "NOSUCH0001";
  if (!uids_.empty() && Chance(85)) {
    const std::string& uid = uids_[static_cast<size_t>(Pick(static_cast<int>(uids_.size())))];
    vendor = uid.substr(0, 2);
    serial = uid.substr(2);
    // The serial as the operator types it: without the zero bytes that pad
    // the unique ID.
    serial.erase(0, serial.find_first_not_of('\0') == std::string::npos
                        ? serial.size()
                        : serial.find_first_not_of('\0'));
  }
  opName_ = "addDevice(" + vendor + "," + serial + ")";
  std::vector<char> v(vendor.begin(), vendor.end()), s(serial.begin(), serial.end());
  v.push_back(0);
  s.push_back(0);
  const int r = addDevice(v.data(), s.data());
  Expect(r, {0, 119, 123});
  if (r == 0 && AISGDevice::GetNumberOfDevices() == 0) Fail("success with an empty registry");
  if (AISGDevice::GetNumberOfDevices() == 0 && getMirelkDataCount() != -1) {
    Fail("the table of an empty registry has " + std::to_string(getMirelkDataCount()) + " entries");
  }
  CheckTable(nullptr);
}

void Soak::RetOp() {
  int subunits = 0;
  const int address = PickAddress(true, subunits);
  const int subunit = PickSubunit(subunits);
  const int roll = Pick(100);
  const std::string at = "(" + std::to_string(address) + "," + std::to_string(subunit);
  int r = 0;
  if (roll < 25) {
    const int tilt = Chance(90) ? Pick(160) : (Chance(50) ? -3000 : 32767);
    opName_ = "setTilt" + at + "," + std::to_string(tilt) + ")";
    r = setTilt(address, subunit, tilt);
    Expect(r, deviceOrBadSubunit_);
  } else if (roll < 45) {
    opName_ = "getTilt" + at + ")";
    const int kUnset = 0x7EADBEEF;
    int tilt = kUnset;
    r = getTilt(address, subunit, &tilt);
    Expect(r, deviceOrBadSubunit_);
    if (r == 0 && (tilt == kUnset || tilt < -900 || tilt > 900)) {
      Fail("tilt " + std::to_string(tilt) + " after success");
    }
  } else if (roll < 60) {
    opName_ = "getAlarmStatus" + at + ")";
    std::vector<char> buffer(256, '\x5A');
    r = getAlarmStatus(address, subunit, buffer.data());
    if (r != 36 && r != kAldglueFailure) {
      // The result is the first alarm code of the list copied out (0 for none).
      if (std::memchr(buffer.data(), 0, buffer.size()) == nullptr) {
        Fail("alarm text not terminated");
      } else if (r != static_cast<unsigned char>(buffer[0])) {
        Fail("result " + std::to_string(r) + " but first alarm code " +
             std::to_string(static_cast<unsigned char>(buffer[0])));
      }
    }
  } else if (roll < 72) {
    opName_ = "clearActiveAlarms" + at + ")";
    r = clearActiveAlarms(address, subunit);
    Expect(r, deviceOrBadSubunit_);
  } else if (roll < 80) {
    opName_ = "selfTest" + at + ")";
    r = selfTest(address);
    Expect(r, deviceWide_);
  } else if (roll < 85) {
    opName_ = "calibrate" + at + ")";
    r = calibrate(address, subunit);
    Expect(r, deviceOrBadSubunit_);
  } else if (roll < 90) {
    opName_ = "resetSoftware" + at + ")";
    r = resetSoftware(address);
    Expect(r, deviceWide_);
  } else if (roll < 95) {
    // Lists as an operator may type them, cut up in place by the device.
    const bool one = Chance(60);
    const bool two = !one && Chance(50);
    const bool missing = !one && !two;
    std::string list =
        one ? image_ : (two ? "," + image_ + "," + image2_ : (dir_ / "missing.bin").string());
    opName_ = "downloadSoftware" + at + "," + list + ")";
    std::vector<char> text(list.begin(), list.end());
    text.push_back(0);
    r = downloadSoftware(address, text.data());
    // A file that is not there is never a device's answer.
    if (missing) {
      Expect(r, {kDevResultFileError, kAldglueFailure});
    } else {
      Expect(r, deviceWide_);
    }
  } else {
    opName_ = "configRET" + at + ")";
    std::vector<char> text(config_.begin(), config_.end());
    text.push_back(0);
    const int last = getLastError();
    r = configRET(address, subunit, text.data());
    Expect(r, deviceOrBadSubunit_);
    if (getLastError() != last) Fail("configRET changed the last result");
    return;
  }
  ExpectRemembered(r);
}

void Soak::TmaOp() {
  int subunits = 0;
  const int address = PickAddress(false, subunits);
  const int subunit = PickSubunit(subunits);
  const int roll = Pick(100);
  const std::string at = "(" + std::to_string(address) + "," + std::to_string(subunit);
  int r = 0;
  if (roll < 18) {
    const int gain = Chance(90) ? 4 * Pick(13) : 255 + Pick(3);
    opName_ = "setGain" + at + "," + std::to_string(gain) + ")";
    r = setGain(address, subunit, gain);
    Expect(r, deviceOrBadSubunit_);
  } else if (roll < 34) {
    opName_ = "getGain" + at + ")";
    const int kUnset = 0x7EADBEEF;
    int gain = kUnset;
    r = getGain(address, subunit, &gain);
    Expect(r, deviceOrBadSubunit_);
    if (r == 0 && (gain == kUnset || gain < 0 || gain > 255)) {
      Fail("gain " + std::to_string(gain) + " after success");
    }
  } else if (roll < 48) {
    const int mode = Chance(90) ? Pick(2) : 7;
    opName_ = "setMode" + at + "," + std::to_string(mode) + ")";
    r = setMode(address, subunit, mode);
    Expect(r, deviceOrBadSubunit_);
  } else if (roll < 62) {
    opName_ = "getMode" + at + ")";
    int mode = 0x7EADBEEF;
    r = getMode(address, subunit, &mode);
    Expect(r, deviceOrBadSubunit_);
    if (r == 0 && mode != 0 && mode != 1) Fail("mode " + std::to_string(mode) + " after success");
  } else if (roll < 72) {
    opName_ = "pollDevice" + at + ")";
    r = pollDevice(address);
    Expect(r, {0, kAldglueFailure});
  } else if (roll < 82) {
    opName_ = "clearActiveAlarmsTMA" + at + ")";
    r = clearActiveAlarmsTMA(address, subunit);
    Expect(r, deviceOrBadSubunit_);
  } else if (roll < 90) {
    opName_ = "selfTestTMA" + at + ")";
    r = selfTestTMA(address);
    Expect(r, deviceWide_);
  } else if (roll < 95) {
    opName_ = "resetSoftwareTMA" + at + ")";
    r = resetSoftwareTMA(address);
    Expect(r, deviceWide_);
  } else {
    opName_ = "downloadSoftwareTMA" + at + ")";
    std::vector<char> text(image2_.begin(), image2_.end());
    text.push_back(0);
    r = downloadSoftwareTMA(address, text.data());
    Expect(r, deviceWide_);
  }
  ExpectRemembered(r);
}

void Soak::DataOp() {
  const bool ret = Chance(50);
  int subunits = 0;
  ALDGLUE_DEVICE_DATA_REQUEST request{};
  request.address = PickAddress(ret, subunits);
  request.subunit = PickSubunit(subunits);
  const int kinds[] = {1, 17, 2, 16};
  request.kind = Chance(95) ? kinds[(ret ? 0 : 2) + Pick(2)] : 3;
  // Known identifiers of both classes and one nobody knows.
  const unsigned char ids[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x13,
                               0x14, 0x15, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x30};
  char fields[8] = {};
  const int n = Pick(4);
  for (int i = 0; i < n; ++i) fields[i] = static_cast<char>(ids[Pick(sizeof ids)]);
  request.fields = fields;
  DeviceData& d = request.data;
  std::snprintf(d.antmodel, sizeof d.antmodel, "M%d", Pick(100000));
  std::snprintf(d.antsn, sizeof d.antsn, "SN%d", Pick(1000000));
  for (auto& b : d.antband) b = static_cast<unsigned char>(Pick(256));
  for (auto& b : d.antbeam) b = static_cast<unsigned char>(Pick(100));
  for (auto& b : d.antgain) b = static_cast<unsigned char>(Pick(200));
  std::snprintf(d.insdate, sizeof d.insdate, "%06d", Pick(999999));
  std::snprintf(d.insid, sizeof d.insid, "I%d", Pick(9999));
  std::snprintf(d.baseid, sizeof d.baseid, "BTS%d", Pick(100000));
  std::snprintf(d.sectorid, sizeof d.sectorid, "S%d", Pick(10));
  d.bearing = static_cast<uint16_t>(Pick(3600));
  d.mechtilt = static_cast<int16_t>(Pick(200) - 100);
  d.tmatype = static_cast<uint16_t>(Pick(4));
  for (auto& b : d.rxband) b = static_cast<unsigned char>(Pick(256));
  for (auto& b : d.txband) b = static_cast<unsigned char>(Pick(256));
  opName_ = "setDeviceData(kind " + std::to_string(request.kind) + ", " +
            std::to_string(request.address) + "," + std::to_string(request.subunit) + ", " +
            std::to_string(n) + " fields)";
  const int last = getLastError();
  const int r = setDeviceData(request);
  Expect(r, With(deviceOrBadSubunit_, {30}));
  if (request.kind == 3) {
    if (getLastError() != last) Fail("kind 3 changed the last result");
  } else {
    ExpectRemembered(r);
  }
}

// Things that happen to the line between operations, and the rare calls.
void Soak::LineOp() {
  const int roll = Pick(100);
  if (roll < 30 && bus_->DeviceCount() >= 2) {
    // Two devices trade addresses: each answers where the other was known.
    opName_ = "swap addresses";
    const int a = Pick(bus_->DeviceCount());
    const int b = (a + 1 + Pick(bus_->DeviceCount() - 1)) % bus_->DeviceCount();
    std::swap(bus_->Device(a).address, bus_->Device(b).address);
  } else if (roll < 45) {
    opName_ = "calm";
    injector_->Calm(*bus_);
  } else if (roll < 60) {
    opName_ = "switchAISGVersion";
    char an[] = "AN";
    char ar[] = "AR";
    const int version = Pick(4);
    const int r = switchAISGVersion(Chance(80) ? an : ar, version);
    Expect(r, {0, -1});
  } else if (roll < 75) {
    opName_ = "getPowerValue/getPinValue";
    const int power = getPowerValue();
    const int pin = getPinValue();
    if (power < -1 || power > 1 || pin < -1 || pin > 1) {
      Fail("pin values " + std::to_string(power) + ", " + std::to_string(pin));
    }
  } else if (roll < 85) {
    opName_ = "closeComPort";
    const int r = closeComPort();
    Expect(r, {0, -1, kAldglueFailure});
  } else {
    // A quiet stretch: the line's vanished devices come back meanwhile.
    opName_ = "idle";
    ald::GetClock().SleepMs(1000 * (1 + Pick(20)));
  }
}

void Soak::CheckRegistry() {
  const int count = AISGDevice::GetNumberOfDevices();
  if (count > maxRegistered_) maxRegistered_ = count;
  if (count < 0 || count > kRegistryCapacity) {
    Fail("registry holds " + std::to_string(count) + " devices");
    return;
  }
  AISGDevice** devices = AISGDevice::GetDevices();
  std::set<AISGDevice*> seen;
  std::set<std::string> uids;
  for (int i = 0; i < count; ++i) {
    AISGDevice* d = devices[i];
    if (d == nullptr) {
      Fail("registry entry " + std::to_string(i) + " is empty");
      continue;
    }
    if (!seen.insert(d).second) Fail("one object registered twice");
    std::string uid(d->GetUniqueIDBytes(), static_cast<size_t>(d->GetUniqueIDSize()));
    if (!uids.insert(uid).second) {
      uid.erase(std::remove(uid.begin(), uid.end(), '\0'), uid.end());
      Fail("two objects for device " + uid);
    }
    const int n = d->GetNumberOfSubunits();
    if (n < 1 || n > 16) Fail("device with " + std::to_string(n) + " subunits");
    if (d->GetAddress() < 1 || d->GetAddress() > 128) {
      Fail("device at address " + std::to_string(d->GetAddress()));
    }
  }
  for (int i = count; i < kRegistryCapacity; ++i) {
    if (devices[i] != nullptr) Fail("entry beyond the count is not empty");
  }
}

// Every entry names a registered device's subunit, in registry order, and
// every subunit of every registered device has its entry; the count text
// counts the same. `table` null: take the table as the library holds it now
// (after a scan or an added device) through a rebuild.
void Soak::CheckTable(const MIRELK_DATA* table) {
  ++tableChecks_;
  if (table == nullptr) table = getMirelkData();
  const int count = getMirelkDataCount();
  std::vector<std::pair<int, int>> expected;
  std::vector<bool> kinds;  // true: a RET entry
  int retDevices = 0, retEntries = 0, tmaDevices = 0, tmaEntries = 0;
  AISGDevice** devices = AISGDevice::GetDevices();
  for (int i = 0; i < AISGDevice::GetNumberOfDevices(); ++i) {
    AISGDevice* d = devices[i];
    const int n = d->GetNumberOfSubunits();
    const bool ret = dynamic_cast<RETDevice*>(d) != nullptr;
    (ret ? retDevices : tmaDevices) += 1;
    (ret ? retEntries : tmaEntries) += n;
    for (int s = 1; s <= n; ++s) {
      expected.emplace_back(d->GetAddress(), s);
      kinds.push_back(ret);
    }
  }
  if (AISGDevice::GetNumberOfDevices() == 0) return;  // the table is left as it was
  if (count != static_cast<int>(expected.size())) {
    Fail("table has " + std::to_string(count) + " entries for " + std::to_string(expected.size()) +
         " subunits");
    return;
  }
  if (table == nullptr) {
    Fail("no table for a registry of devices");
    return;
  }
  for (int i = 0; i < count; ++i) {
    const MIRELK_DATA& e = table[i];
    for (int f = 0; f < kMirelkFieldCount; ++f) {
      if (std::memchr(e.field[f], 0, kMirelkFieldSize) == nullptr) {
        Fail("entry " + std::to_string(i) + " field " + std::to_string(f) + " not terminated");
        return;
      }
    }
    // The kind of entry follows the class of the device it stands for.
    const std::string type = e.field[kMdDeviceType];
    const std::string version = e.field[kMdAisgVersion];
    const bool retEntry = type == "01" || type == "11";
    const bool tmaEntry = type == "02" || type == "10";
    if (retEntry != kinds[static_cast<size_t>(i)] || (!retEntry && !tmaEntry) ||
        (version != "1" && version != "2")) {
      Fail("entry " + std::to_string(i) + " has type '" + type + "', version '" + version + "'");
      return;
    }
    const int address = std::atoi(e.field[kMdAddress]);
    const int subunit = std::atoi(e.field[kMdSubunit]);
    if (address != expected[static_cast<size_t>(i)].first ||
        subunit != expected[static_cast<size_t>(i)].second) {
      Fail("entry " + std::to_string(i) + " names " + std::to_string(address) + "/" +
           std::to_string(subunit) + ", registry has " +
           std::to_string(expected[static_cast<size_t>(i)].first) + "/" +
           std::to_string(expected[static_cast<size_t>(i)].second));
      return;
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d/%d/%d", retDevices, retEntries, tmaDevices, tmaEntries);
  if (std::strncmp(text, getMirelkDataCountStr(), 15) != 0) {
    Fail(std::string("count text ") + getMirelkDataCountStr() + ", registry " + text);
  }
}

// --- Runs -------------------------------------------------------------------------------

// ALD_SOAK_SEED_BASE shifts every seed, for runs over other seeds; a
// failure's message names the seed actually used.
uint32_t Seed(uint32_t seed) {
  const char* env = std::getenv("ALD_SOAK_SEED_BASE");
  return env != nullptr ? seed + static_cast<uint32_t>(std::strtoul(env, nullptr, 10)) : seed;
}

int Operations(int normal) {
  const char* env = std::getenv("ALD_SOAK_OPS");
  if (env != nullptr && std::atoi(env) > 0) return std::atoi(env);
  return normal;
}

void RunSoak(uint32_t seed, const std::string& site, double rate, int ops) {
  seed = Seed(seed);
  ald::ScopedVirtualClock clock;
  std::signal(SIGSEGV, OnFatalSignal);
  std::signal(SIGABRT, OnFatalSignal);
  std::vector<std::string> problems;
  {
    Soak soak(seed, site, rate);
    soak.Run(ops);
    problems = soak.problems();
    std::string kinds;
    for (int k = 0; k < static_cast<int>(FaultKind::kCount); ++k) {
      const auto kind = static_cast<FaultKind>(k);
      if (soak.injector().Count(kind) == 0) continue;
      kinds += std::string(" ") + ald::sim::FaultName(kind) + "=" +
               std::to_string(soak.injector().Count(kind));
    }
    std::string results;
    for (const auto& [result, n] : soak.results()) {
      results += " " + std::to_string(result) + "x" + std::to_string(n);
    }
    std::printf("seed %u: results:%s; device generations at the end: %s\n", seed, results.c_str(),
                soak.Generations().c_str());
    std::printf(
        "seed %u: %d operations, %d scans, %d table checks, at most %d devices, %llu "
        "faults:%s\n",
        seed, ops, soak.scans(), soak.tableChecks(), soak.maxRegistered(),
        static_cast<unsigned long long>(soak.injector().Total()), kinds.c_str());
  }
  std::signal(SIGSEGV, SIG_DFL);
  std::signal(SIGABRT, SIG_DFL);
  for (const std::string& p : problems) ADD_FAILURE() << p;
}

class MixedLine : public ::testing::TestWithParam<uint32_t> {};

TEST_P(MixedLine, EveryOperationGivesADefinedResultAndKeepsTheTableTrue) {
  RunSoak(GetParam(), kMixedSite, 0.04, Operations(5000));
}

INSTANTIATE_TEST_SUITE_P(Seeds, MixedLine, ::testing::Values(1u, 2u, 3u, 4u));

TEST(HeavyFaults, EveryOperationGivesADefinedResult) {
  RunSoak(11u, kMixedSite, 0.25, Operations(3000));
}

TEST(CrowdedLine, TheRegistryNeverHoldsMoreThan24Devices) {
  RunSoak(21u, CrowdSite(27), 0.02, Operations(1000));
}

}  // namespace
