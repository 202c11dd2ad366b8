// aldprobe: brings up the link to every device of an antenna line and shows
// what each answers, through the device library's own link layer.
//
// For now the unique IDs come from the site file of the simulated line,
// since this program does not search the bus. Each device gets the address
// of its place in the site file (1, 2, ...), is connected (SNRM), asked its
// HDLC parameters and its version parameters (AISG protocol version, 3GPP
// release, extended sub-version) and disconnected again. The link layer's
// frame trace shows every exchange; a summary line per device follows.
//
// Exit status: 0 when every device answered, 1 when one did not or the
// site could not be read, 2 on a wrong command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "aldlink/hdlc/aisghdlc.h"
#include "sim/site_file.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: aldprobe [--site FILE] [--help]\n"
               "Connects to each device of the antenna line in turn and prints what it\n"
               "answers: address assignment, link set-up, HDLC and version parameters,\n"
               "disconnection. The devices are not searched for: their unique IDs are\n"
               "taken from the site file (--site FILE, else the file named by\n"
               "ALDLINK_SIM) and they get the addresses 1, 2, ... in the file's order.\n"
               "With ALDLINK_SIM set the line is the simulated one; with ALDLINK_PORT\n"
               "naming the terminal of aldsim the same site is reached through the\n"
               "serial port code.\n"
               "Exit status: 0 when every device answered, 1 otherwise.\n");
}

// The value of parameter `id` in an XID parameter block, or -1.
long ParamValue(const char* params, int length, int id) {
  for (int i = 0; i + 2 <= length;) {
    const int pid = static_cast<unsigned char>(params[i]);
    const int len = static_cast<unsigned char>(params[i + 1]);
    if (i + 2 + len > length) break;
    if (pid == id) {
      long value = 0;
      for (int k = len - 1; k >= 0; --k) {
        value = (value << 8) | static_cast<unsigned char>(params[i + 2 + k]);
      }
      return value;
    }
    i += 2 + len;
  }
  return -1;
}

std::string Printable(const std::string& id) {
  std::string s;
  for (char c : id) s += (c >= 0x20 && c < 0x7F) ? c : '.';
  return s;
}

struct Probe {
  int address = 0;
  std::string uid;
  int generation = 0;
  int type = -1;
  bool assigned = false;
  bool linked = false;
  long protocolVersion = -1;
  long release = -1;
  long subVersion = -1;
  bool hdlcParams = false;
  bool disconnected = false;
};

// Unique ID as sent in address assignment: devices of vendor code "EM"
// know themselves without the zero bytes after the vendor code.
int AssignmentId(const std::string& uid, char* out) {
  int n = 0;
  size_t i = 0;
  if (uid.size() >= 2 && uid[0] == 'E' && uid[1] == 'M') {
    out[n++] = 'E';
    out[n++] = 'M';
    i = 2;
    while (i < uid.size() && uid[i] == 0) ++i;
  }
  for (; i < uid.size() && n < 19; ++i) out[n++] = uid[i];
  return n;
}

long VersionQuery(AISGHDLC& link, int address, std::vector<char> request) {
  if (link.SetXIDUserParams(address, request.data(), static_cast<int>(request.size())) != 0) {
    return -1;
  }
  int answerAddress = 0, version = 0, length = 0;
  char params[256];
  if (link.GetXIDUserParams(answerAddress, version, params, length) != 0) return -1;
  if (answerAddress != address) return -1;
  return ParamValue(params, length, static_cast<unsigned char>(request[0]));
}

void RunProbe(AISGHDLC& link, Probe& p) {
  char id[19];
  const int idLength = AssignmentId(p.uid, id);
  char params[256];
  int answerAddress = 0, version = 0, length = 0;
  if (link.SetXIDAddress(p.address, id, idLength) == 0 &&
      link.GetXIDAddress(answerAddress, version, params, length) == 0 &&
      answerAddress == p.address) {
    p.assigned = true;
    p.generation = version;
    if (version == 2) p.type = static_cast<int>(ParamValue(params, length, 4));
  }
  if (!p.assigned) return;

  if (link.SetSNRM(p.address) == 0 && link.GetSNRM(p.address) == 0) p.linked = true;

  char hdlc[] = {5, 4, 0x50, 2, 0, 0, 6, 4, 0x50, 2, 0, 0, 7, 1, 1, 8, 1, 1};
  if (link.SetXIDParams(p.address, hdlc, sizeof hdlc) == 0 &&
      link.GetXIDParams(answerAddress, version, params, length) == 0 &&
      answerAddress == p.address) {
    p.hdlcParams = true;
  }
  p.protocolVersion = VersionQuery(link, p.address, {0x14, 1, 2});
  p.release = VersionQuery(link, p.address, {0x05, 1, 6});
  p.subVersion = VersionQuery(link, p.address, {0x15, 2, 0, 0});

  if (link.SetDISC(p.address) == 0 && link.GetDISC(p.address) == 0) p.disconnected = true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string site;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--site") == 0 && i + 1 < argc) {
      site = argv[++i];
    } else {
      Usage(stderr);
      return 2;
    }
  }
  if (site.empty()) {
    const char* env = std::getenv("ALDLINK_SIM");
    if (env != nullptr) site = env;
  }
  if (site.empty()) {
    std::fprintf(stderr, "aldprobe: no site file (set ALDLINK_SIM or give --site FILE)\n");
    Usage(stderr);
    return 2;
  }
  ald::sim::DeviceList devices;
  std::string error;
  if (!ald::sim::LoadSite(site, devices, error)) {
    std::fprintf(stderr, "aldprobe: %s\n", error.c_str());
    return 1;
  }

  if (devices.empty()) {
    std::fprintf(stderr, "aldprobe: the site file lists no devices\n");
    return 1;
  }
  std::vector<Probe> probes;
  for (size_t i = 0; i < devices.size(); ++i) {
    Probe p;
    p.address = static_cast<int>(i) + 1;
    p.uid = devices[i]->uniqueId;
    probes.push_back(p);
  }

  AISGHDLC link;
  link.EnableRS485();
  for (Probe& p : probes) {
    std::printf("--- device %d: %s\n", p.address, Printable(p.uid).c_str());
    std::fflush(stdout);
    RunProbe(link, p);
  }
  link.DisableRS485();

  int answered = 0;
  std::printf("Summary: %zu devices on the line\n", probes.size());
  for (const Probe& p : probes) {
    const bool ok = p.assigned && p.linked;
    if (ok) ++answered;
    std::printf("  address %d  uid %-19s  ", p.address, Printable(p.uid).c_str());
    if (!p.assigned) {
      std::printf("no answer to address assignment\n");
      continue;
    }
    std::printf("AISG %s", p.generation == 1 ? "1.x" : "2.0");
    if (p.type >= 0) std::printf("  type 0x%02x", static_cast<unsigned>(p.type));
    std::printf("  link %s  hdlc params %s", p.linked ? "up" : "FAILED",
                p.hdlcParams ? "ok" : "none");
    if (p.protocolVersion >= 0) std::printf("  protocol %ld", p.protocolVersion);
    if (p.release >= 0) std::printf("  3GPP release %ld", p.release);
    if (p.subVersion >= 0) std::printf("  sub-version %ld", p.subVersion);
    std::printf("  disc %s\n", p.disconnected ? "ok" : "FAILED");
  }
  std::printf("%d of %zu devices answered\n", answered, probes.size());
  return answered == static_cast<int>(probes.size()) ? 0 : 1;
}
