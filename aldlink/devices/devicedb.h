// Where the device database file "devices.dat" lives.
//
// The working copy is <root>/tmp/devices.dat and the master copy
// <root>/data/devices.dat. The root is "/mirelk" unless the environment
// variable ALDLINK_DBDIR names another folder (trailing slashes are
// ignored; an empty value counts as unset). The variable is read at every
// call, so a test or a program can set it before loading.
//
// Loading (AISGDevice::LoadDevices) reads the working copy, or the master
// copy when there is no working copy, and then copies the master copy into
// the working folder (a plain file copy; a missing folder is not created).
// AISGDevice::WriteDevices writes a complete file wherever it is told to.
#pragma once

#include <string>

namespace ald {

constexpr char kDeviceDbFileName[] = "devices.dat";

// The folder that holds the tmp/ and data/ folders, without trailing slash.
std::string DeviceDbRoot();
// "<root>/tmp/" and "<root>/data/" (with the trailing slash).
std::string DeviceDbWorkingDir();
std::string DeviceDbMasterDir();

}  // namespace ald
