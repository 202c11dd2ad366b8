// Clearing the parameter record for a new device and its identity trace.
#include "aldlink/procedures/aisgdeviceparams.h"

#include <cstdio>
#include <cstring>

#include "aldlink/procedures/aisgdeviceep.h"
#include "aldlink/procedures/procedure_util.h"

void AISGDEVICEEP::InitialParams(AISGDeviceParams* p) {
  if (p != nullptr) std::memset(p, 0, sizeof *p);
}

void AISGDEVICEEP::PrintDeviceInfo(char which, AISGDeviceParams* p) {
  if (p == nullptr) return;
  switch (which) {
    case 1:
      printf("p->devAddress=%u\n", static_cast<unsigned>(p->devAddress));
      break;
    case 2:
      printf("p->devSubUnitNumber=%u\n", p->devSubUnitNumber);
      break;
    case 3:
      printf("p->devTotalSubUnits=%u\n", static_cast<unsigned>(p->devTotalSubUnits));
      break;
    case 4:
      printf("p->devType=0x%02x\n", static_cast<unsigned>(p->devType));
      break;
    case 5:
      printf("p->devAisgVersion=%u\n", static_cast<unsigned>(p->devAisgVersion));
      break;
    case 6:
      printf("p->dev3gppVersion=%u\n", static_cast<unsigned>(p->dev3gppVersion));
      break;
    case 7:
      printf("p->devUniqueIDSize=%u\n", static_cast<unsigned>(p->devUniqueIDSize));
      break;
    case 8: {
      int n = p->devUniqueIDSize;
      if (n < 0) n = 0;
      if (n > static_cast<int>(sizeof p->devUniqueID)) n = sizeof p->devUniqueID;
      printf("p->devUniqueID=");
      for (int i = 0; i < n; ++i) printf("%c", p->devUniqueID[i]);
      printf("\n");
      break;
    }
    case 9:
      printf("p->devVendorID=%.*s\n", static_cast<int>(sizeof p->devVendorID), p->devVendorID);
      break;
    case 16:
      printf("p->devModel=%.*s\n", static_cast<int>(sizeof p->devModel), p->devModel);
      break;
    case 17:
      printf("p->devSerial=%.*s\n", static_cast<int>(sizeof p->devSerial), p->devSerial);
      break;
    case 18:
      printf("p->devBitRates=%.*s\n", static_cast<int>(sizeof p->devBitRates), p->devBitRates);
      break;
    case 19:
      printf("p->devHWver=%.*s\n", static_cast<int>(sizeof p->devHWver), p->devHWver);
      break;
    case 20:
      printf("p->devSWver=%.*s\n", static_cast<int>(sizeof p->devSWver), p->devSWver);
      break;
    case 32:
      ald::procedures::PrintRcuCodes(p, false);
      break;
    default:
      break;
  }
}
