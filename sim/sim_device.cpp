#include "sim/sim_device.h"
