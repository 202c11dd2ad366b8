// The bridge chip maker's two libraries as this driver binds them: which
// export, by ordinal, plays which role. This is the one table of those
// numbers; the vendor-library binding and the test stand-in libraries (whose
// export definition files are generated from the lines below) both read it.
//
// Where the numbers come from: the driver's design fixes the ordinals of
// CP210xManufacturing.dll and CP210xRuntime.dll that it calls. The export
// names are those of the maker's public API description of the two libraries
// (Silicon Labs application note AN978, the API description of the CP210x
// libraries; the latch calls also in AN223). The binding checks both:
// when a library exports the name too, the name must lead to the same
// function as the ordinal, otherwise the library is refused. A wrong ordinal
// on a real chip could write its configuration record, so a library that does
// not match is never called.
//
// Keep one entry per line in this exact form; the build parses it.
#pragma once

// ALD_CP210X_EXPORT(library, ordinal, export name, role)
#define ALD_CP210X_EXPORTS(X)                                         \
  X(Manufacturing, 1, CP210x_GetNumDevices, GetNumDevices)            \
  X(Manufacturing, 3, CP210x_Open, Open)                              \
  X(Manufacturing, 4, CP210x_Close, Close)                            \
  X(Manufacturing, 13, CP210x_GetDeviceSerialNumber, GetSerialNumber) \
  X(Manufacturing, 14, CP210x_GetDeviceVid, GetVendorId)              \
  X(Manufacturing, 15, CP210x_GetDevicePid, GetProductId)             \
  X(Manufacturing, 19, CP210x_Reset, Reset)                           \
  X(Manufacturing, 20, CP210x_GetPortConfig, GetPortConfig)           \
  X(Manufacturing, 21, CP210x_SetPortConfig, SetPortConfig)           \
  X(Manufacturing, 26, CP210x_GetPartNumber, GetPartNumber)           \
  X(Runtime, 1, CP210xRT_ReadLatch, ReadLatch)                        \
  X(Runtime, 2, CP210xRT_WriteLatch, WriteLatch)

// File names of the two libraries, searched the platform's usual way
// (beside the program first).
#define ALD_CP210X_MANUFACTURING_DLL "CP210xManufacturing.dll"
#define ALD_CP210X_RUNTIME_DLL "CP210xRuntime.dll"
