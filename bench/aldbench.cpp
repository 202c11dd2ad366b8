// aldbench: what a site visit costs on the bus, and what the controller adds.
//
//   aldbench [--quick] [--only NAME]... [--sites DIR] [--aldsim PATH] [--trace FILE]
//
// 1. Each job (scan, tilt, data, download) twice: in-process on the virtual
//    clock (protocol time: the line and the devices' pauses) and in real time
//    through aldsim serving a pseudo-terminal (wall time), with the
//    controller's CPU time over its wall time.
// 2. Heap allocations over 1000 exchanges of a steady procedure loop.
// 3. Scans of buses of 1, 8 and 24 devices: frames, protocol time, peak memory.
// Every figure is printed as a table row with the command that reproduces it.
// Each measurement runs in a fresh child process whose trace goes to
// /dev/null, so neither the figures nor the peak memory carry another's.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "aldlink/adapter/posix_platform.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/procedures/retep.h"
#include "bench/alloc_count.h"
#include "bench/bench_jobs.h"
#include "bench/child_run.h"
#include "bench/line_counter.h"
#include "sim/bus.h"
#include "sim/sim_platform.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace {

using aldbench::CountingPlatform;
using aldbench::InChild;
using aldbench::Job;
using aldbench::JobInfo;
using aldbench::JobKind;
using aldbench::Report;
using aldbench::SetDetail;
using aldbench::SimProcess;

struct Options {
  bool quick = false;
  std::vector<std::string> only;
  std::string sites = ALDBENCH_SITES_DIR;
  std::string aldsim;
  std::string program;
  // Options given that a reproducing command needs too (--sites, --aldsim).
  std::string extraArgs;
  std::string workDir;

  bool Wants(const std::string& name) const {
    if (only.empty()) return true;
    for (const std::string& o : only) {
      if (o == name) return true;
    }
    return false;
  }
};

int64_t SteadyUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t CpuUs() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000LL + ru.ru_utime.tv_usec +
         ru.ru_stime.tv_usec;
}

// Measurements that could not be taken or whose job failed; the exit status.
int gFailures = 0;

// Prepares and times one job on the platform and clock installed now.
void TimeJob(JobKind kind, CountingPlatform& line, const std::string& workDir, Report& r) {
  Job job(kind, workDir);
  std::string text;
  if (!job.Prepare(text)) {
    r.ok = -1;
    SetDetail(r, text);
    return;
  }
  ald::Clock& clock = ald::GetClock();
  line.counters = {};
  const int64_t clock0 = clock.NowUs();
  const int64_t wall0 = SteadyUs();
  const int64_t cpu0 = CpuUs();
  const bool ok = job.Run(text);
  r.cpuUs = CpuUs() - cpu0;
  r.wallUs = SteadyUs() - wall0;
  r.clockUs = clock.NowUs() - clock0;
  r.frames = line.counters.frames;
  r.ok = ok ? 1 : 0;
  SetDetail(r, text);
}

bool LoadDevices(const std::string& path, const std::string* text, ald::sim::DeviceList& devices,
                 Report& r) {
  std::string error;
  const bool ok = text != nullptr ? ald::sim::ParseSite(*text, devices, error)
                                  : ald::sim::LoadSite(path, devices, error);
  if (!ok) {
    r.ok = -1;
    SetDetail(r, path + ": " + error);
  }
  return ok;
}

// The job on the simulated line inside this process, on the virtual clock.
void VirtualJob(JobKind kind, const std::string& site, const std::string* siteText,
                const std::string& workDir, Report& r) {
  ald::ScopedVirtualClock clock;
  ald::sim::DeviceList devices;
  if (!LoadDevices(site, siteText, devices, r)) return;
  ald::sim::SimBus bus(std::move(devices));
  ald::sim::SimPlatform sim(bus);
  CountingPlatform line(sim);
  ald::SetAdapterPlatform(&line);
  TimeJob(kind, line, workDir, r);
  ald::SetAdapterPlatform(nullptr);
}

// The job through the serial port named by ALDLINK_PORT, in real time.
void RealJob(JobKind kind, const std::string& pty, const std::string& workDir, Report& r) {
  setenv("ALDLINK_PORT", pty.c_str(), 1);
  ald::PosixPlatform posix;
  CountingPlatform line(posix);
  ald::SetAdapterPlatform(&line);
  TimeJob(kind, line, workDir, r);
  ald::SetAdapterPlatform(nullptr);
}

double Seconds(int64_t us) {
  return static_cast<double>(us) / 1e6;
}

std::string Command(const Options& o, const std::string& args) {
  return "`" + o.program + o.extraArgs + " " + args + "`";
}

void JobsSection(const Options& o) {
  const std::string site = o.sites + "/demo.site";
  std::printf("\n## Protocol time, wall time and CPU while waiting\n\n");
  std::printf(
      "Target: wall time within 5%% of protocol time; controller CPU under 2%% of wall.\n\n");
  std::printf(
      "| job | frames (virtual / real) | protocol s | wall s | wall/protocol | CPU s | CPU %% "
      "| result | command |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (const JobInfo& j : aldbench::kJobs) {
    if (!o.Wants(j.name)) continue;
    const std::string cmd =
        Command(o, std::string("--only ") + j.name + (o.quick ? " --quick" : ""));
    Report v;
    if (!InChild([&](Report& r) { VirtualJob(j.kind, site, nullptr, o.workDir, r); }, v)) {
      ++gFailures;
      std::printf("| %s | | | | | | | child failed | %s |\n", j.name, cmd.c_str());
      continue;
    }
    if (v.ok != 1) {
      ++gFailures;
      std::printf("| %s | %lld | %.2f | | | | | FAILED: %s | %s |\n", j.name,
                  static_cast<long long>(v.frames), Seconds(v.clockUs), v.detail, cmd.c_str());
      continue;
    }
    if (o.quick) {
      std::printf("| %s | %lld / - | %.2f | - | - | - | - | %s | %s |\n", j.name,
                  static_cast<long long>(v.frames), Seconds(v.clockUs), v.detail, cmd.c_str());
      std::fflush(stdout);
      continue;
    }
    SimProcess sim;
    std::string error;
    Report w;
    bool ran = false;
    if (sim.Start(o.aldsim, site, error)) {
      ran = InChild([&](Report& r) { RealJob(j.kind, sim.pty(), o.workDir, r); }, w);
      sim.Stop();
    }
    if (!ran || w.ok == -1) {
      ++gFailures;
      if (ran) error = w.detail;
      std::printf("| %s | %lld / - | %.2f | | | | | real-time run failed: %s | %s |\n", j.name,
                  static_cast<long long>(v.frames), Seconds(v.clockUs), error.c_str(), cmd.c_str());
      continue;
    }
    if (w.ok != 1) ++gFailures;
    const double ratio = v.clockUs > 0 ? static_cast<double>(w.wallUs) / v.clockUs : 0.0;
    const double cpuShare = w.wallUs > 0 ? 100.0 * static_cast<double>(w.cpuUs) / w.wallUs : 0.0;
    std::printf("| %s | %lld / %lld | %.2f | %.2f | %.3f | %.3f | %.2f | %s%s | %s |\n", j.name,
                static_cast<long long>(v.frames), static_cast<long long>(w.frames),
                Seconds(v.clockUs), Seconds(w.wallUs), ratio, Seconds(w.cpuUs), cpuShare,
                w.ok == 1 ? "" : "FAILED: ", w.detail, cmd.c_str());
    std::fflush(stdout);
  }
}

// 1000 exchanges of repeated tilt readings over one open link, then the same
// reading as whole device operations (port, link, reading, link down).
void AllocationLoop(const std::string& site, Report& r) {
  ald::ScopedVirtualClock clock;
  ald::sim::DeviceList devices;
  if (!LoadDevices(site, nullptr, devices, r)) return;
  ald::sim::SimBus bus(std::move(devices));
  ald::sim::SimPlatform sim(bus);
  CountingPlatform line(sim);
  ald::SetAdapterPlatform(&line);

  RETDevice* ret = aldbench::AddBenchRet();
  if (ret == nullptr) {
    r.ok = -1;
    SetDetail(r, "the RET did not answer");
    ald::SetAdapterPlatform(nullptr);
    return;
  }
  const int address = ret->GetAddress();
  int failures = 0;
  {
    RETEP ep;
    AISGDeviceParams p{};
    ep.OpenConnection();
    // An AISG 2.0 device drops its address with the link; give it back by
    // its unique ID first, as every device operation does.
    p.devUniqueIDSize = ret->GetUniqueIDSize();
    std::memcpy(p.devUniqueID, ret->GetUniqueIDBytes(), static_cast<size_t>(p.devUniqueIDSize));
    ep.SetDeviceAddress(address, &p);
    if (ep.SetSNRM(address) != 0) ++failures;
    // The first exchanges may set up buffers that live for the process
    // (standard output's, for one).
    for (int i = 0; i < 10; ++i) ep.AntennaGetTilt(address, 1, &p);
    const int64_t a0 = aldbench::AllocationCount();
    const int64_t l0 = line.counters.lineAllocations;
    const int64_t f0 = line.counters.frames;
    while (line.counters.frames - f0 < 1000) {
      if (ep.AntennaGetTilt(address, 1, &p) != 0) ++failures;
    }
    const int64_t lineAllocs = line.counters.lineAllocations - l0;
    r.allocations = aldbench::AllocationCount() - a0 - lineAllocs;
    r.lineAllocations = lineAllocs;
    r.exchanges = line.counters.frames - f0;
    ep.SetDISC(address);
    ep.StopConnection();
  }
  {
    int tilt = 0;
    const int64_t a0 = aldbench::AllocationCount();
    const int64_t l0 = line.counters.lineAllocations;
    for (int i = 0; i < 100; ++i) {
      if (ret->GetTilt(1, tilt, 1) != 0) ++failures;
    }
    r.operations = 100;
    r.operationAllocations =
        aldbench::AllocationCount() - a0 - (line.counters.lineAllocations - l0);
  }
  r.ok = failures == 0 ? 1 : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%d failed readings", failures);
  SetDetail(r, text);
  ald::SetAdapterPlatform(nullptr);
}

void AllocationSection(const Options& o) {
  std::printf("\n## Heap allocations on the bus path\n\n");
  const std::string cmd = Command(o, "--only alloc");
  if (!aldbench::AllocationsCounted()) {
    std::printf("Not counted: this build's sanitizer owns the allocator. | %s |\n", cmd.c_str());
    return;
  }
  std::printf("Target: zero allocations per exchange.\n\n");
  std::printf("| loop | exchanges or operations | allocations | per item | result | command |\n");
  std::printf("|---|---|---|---|---|---|\n");
  Report a;
  if (!InChild([&](Report& r) { AllocationLoop(o.sites + "/demo.site", r); }, a) || a.ok != 1) {
    ++gFailures;
    std::printf("| tilt reading | | | | FAILED: %s | %s |\n", a.detail, cmd.c_str());
    return;
  }
  std::printf("| tilt reading over one open link | %lld exchanges | %lld | %.3f | %s | %s |\n",
              static_cast<long long>(a.exchanges), static_cast<long long>(a.allocations),
              a.exchanges > 0 ? static_cast<double>(a.allocations) / a.exchanges : 0.0, a.detail,
              cmd.c_str());
  std::printf(
      "| whole GetTilt operation (port, link, reading) | %lld operations | %lld | %.2f | %s "
      "| %s |\n",
      static_cast<long long>(a.operations), static_cast<long long>(a.operationAllocations),
      a.operations > 0 ? static_cast<double>(a.operationAllocations) / a.operations : 0.0, a.detail,
      cmd.c_str());
  std::printf("| (simulated line, not the controller) | %lld exchanges | %lld | %.3f | | %s |\n",
              static_cast<long long>(a.exchanges), static_cast<long long>(a.lineAllocations),
              a.exchanges > 0 ? static_cast<double>(a.lineAllocations) / a.exchanges : 0.0,
              cmd.c_str());
}

void ScaleSection(const Options& o) {
  std::printf("\n## Scale: scans of 1, 8 and 24 devices on the virtual clock\n\n");
  const std::string cmd = Command(o, "--only scale");
  const std::string path = o.sites + "/bus24.site";
  std::ifstream in(path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  if (text.empty()) {
    ++gFailures;
    std::printf("Cannot read %s | %s |\n", path.c_str(), cmd.c_str());
    return;
  }
  std::printf("| devices | devices found | frames | protocol s | peak memory KiB | command |\n");
  std::printf("|---|---|---|---|---|---|\n");
  Report idle;
  if (InChild([](Report& r) { r.ok = 1; }, idle)) {
    std::printf("| 0 (idle child process) | - | - | - | %ld | %s |\n", idle.maxRssKb, cmd.c_str());
  }
  for (int n : {1, 8, 24}) {
    const std::string part = aldbench::FirstDevices(text, n);
    Report s;
    const bool ran =
        InChild([&](Report& r) { VirtualJob(JobKind::kScan, path, &part, o.workDir, r); }, s);
    if (!ran || s.ok != 1) {
      ++gFailures;
      std::printf("| %d | FAILED: %s | | | | %s |\n", n, s.detail, cmd.c_str());
      continue;
    }
    std::printf("| %d | %s | %lld | %.2f | %ld | %s |\n", n, s.detail,
                static_cast<long long>(s.frames), Seconds(s.clockUs), s.maxRssKb, cmd.c_str());
    std::fflush(stdout);
  }
}

void Usage() {
  std::fprintf(
      stderr,
      "usage: aldbench [--quick] [--only NAME]... [--sites DIR] [--aldsim PATH] [--trace FILE]\n"
      "  --quick        skip the real-time runs through aldsim\n"
      "  --only NAME    run only scan, tilt, data, download, alloc or scale (repeatable)\n"
      "  --sites DIR    folder of demo.site and bus24.site (default %s)\n"
      "  --aldsim PATH  the simulator program (default: aldsim beside this program)\n"
      "  --trace FILE   append the controller's trace to FILE (default /dev/null)\n",
      ALDBENCH_SITES_DIR);
}

std::string BesideProgram(const char* name) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return name;
  return (self.parent_path() / name).string();
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  o.program = argc > 0 ? argv[0] : "aldbench";
  o.aldsim = BesideProgram("aldsim");
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      o.quick = true;
    } else if (a == "--only" && i + 1 < argc) {
      const std::string name = argv[++i];
      if (aldbench::FindJob(name) == nullptr && name != "alloc" && name != "scale") {
        Usage();
        return 2;
      }
      o.only.push_back(name);
    } else if (a == "--sites" && i + 1 < argc) {
      o.sites = argv[++i];
      o.extraArgs += " --sites " + o.sites;
    } else if (a == "--trace" && i + 1 < argc) {
      aldbench::SetChildTrace(argv[++i]);
    } else if (a == "--aldsim" && i + 1 < argc) {
      o.aldsim = argv[++i];
      o.extraArgs += " --aldsim " + o.aldsim;
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
      Usage();
      return 2;
    }
  }

  char work[] = "/tmp/aldbench.XXXXXX";
  if (mkdtemp(work) == nullptr) {
    std::perror("aldbench: mkdtemp");
    return 1;
  }
  o.workDir = work;
  // Device database saves, if any, stay in the scratch folder.
  setenv("ALDLINK_DBDIR", work, 1);
  // The simulated line comes from each measurement, never from the caller's
  // environment.
  unsetenv("ALDLINK_SIM");

  std::printf("# aldbench\n");
  bool jobs = false;
  for (const JobInfo& j : aldbench::kJobs) jobs = jobs || o.Wants(j.name);
  if (jobs) JobsSection(o);
  if (o.Wants("alloc")) AllocationSection(o);
  if (o.Wants("scale")) ScaleSection(o);

  std::error_code ec;
  std::filesystem::remove_all(work, ec);
  return gFailures == 0 ? 0 : 1;
}
