// aldadapter: reports the USB-to-RS-485 adapter as the device library sees
// it: its serial port number and the state of the antenna line's 12 V supply
// and RS-485 A/B switch. It changes nothing.
//
// Exit status: 0 when the report ran (also when no adapter is attached),
// 2 on a wrong command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aldlink/adapter/cp210xdriver.h"

// How a port number names its device: /dev/ttyUSB(N-1) on Linux; the build
// gives COM<N> for Windows.
#ifndef ALD_PORT_DEVICE_FORMAT
#define ALD_PORT_DEVICE_FORMAT "/dev/ttyUSB%d"
#define ALD_PORT_DEVICE_OFFSET 1
#define ALD_PORT_DEVICE_TEXT "/dev/ttyUSB(N-1)"
#endif

namespace {

void Usage(FILE* out) {
  fprintf(out,
          "usage: aldadapter [--help]\n"
          "Reports the adapter's serial port number (port N is " ALD_PORT_DEVICE_TEXT
          ", or the\n"
          "device named by ALDLINK_PORT), its 12 V supply and its A/B switch.\n");
}

const char* OnOff(int value) {
  return value != 0 ? "on" : "off";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    Usage(stdout);
    return 0;
  }
  if (argc != 1) {
    Usage(stderr);
    return 2;
  }

  CP210xDriver adapter;
  const int port = adapter.GetComPort();
  if (port > 0) {
    const char* explicitPath = std::getenv("ALDLINK_PORT");
    const char* site = std::getenv("ALDLINK_SIM");
    if (site != nullptr && site[0] != '\0') {
      printf("Adapter port: %d (simulated line, ALDLINK_SIM=%s)\n", port, site);
    } else if (explicitPath != nullptr && explicitPath[0] != '\0') {
      printf("Adapter port: %d (%s, from ALDLINK_PORT)\n", port, explicitPath);
    } else {
      printf("Adapter port: %d (" ALD_PORT_DEVICE_FORMAT ")\n", port,
             port - ALD_PORT_DEVICE_OFFSET);
    }
  } else {
    printf(
        "No adapter found: no CP210x bridge chip with part number 3 is attached, "
        "or its serial port could not be found.\n");
  }

  int power = 0;
  if (adapter.Get12VPower(power) == 0) {
    printf("12 V supply: %s\n", OnOff(power));
  } else {
    printf("12 V supply: unknown (bridge chip not reachable)\n");
  }

  int abSwitch = 0;
  if (adapter.GetRS485ABSwich(abSwitch) == 0) {
    printf("A/B switch: %d (power-on level)\n", abSwitch);
  } else {
    printf("A/B switch: unknown (bridge chip not reachable)\n");
  }
  return 0;
}
