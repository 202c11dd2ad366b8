// The device data of one RET antenna or TMA subunit as the device objects
// hand it to their callers.
//
// The flat control interface passes this record by value across a library
// boundary, so its size (156 bytes) and the order and offsets of its fields
// are an interface: they are checked below at compile time. Texts are
// zero-terminated within their width; the byte fields hold the bytes as the
// subunit records keep them (16-bit band and beamwidth values low byte
// first); the 16-bit fields are native integers. A RET leaves the TMA fields
// alone, a TMA leaves the tilt range alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

struct DeviceData {
  char antmodel[16];         // antenna (or TMA) model number, field 0x01
  char antsn[18];            // serial number, field 0x02
  unsigned char antband[6];  // bands of fields 0x03, 0x08, 0x09, 16 bits each
  unsigned char antbeam[8];  // four 16-bit beamwidths, field 0x04
  unsigned char antgain[4];  // gains, field 0x05
  int16_t antmaxtilt;        // RET: maximum tilt, 0.1 degree, field 0x06
  int16_t antmintilt;        // RET: minimum tilt, 0.1 degree, field 0x07
  char insdate[7];           // installation date, field 0x21
  char insid[7];             // installer's ID, field 0x22
  char baseid[33];           // base station ID, field 0x23
  char sectorid[33];         // sector ID, field 0x24
  uint16_t bearing;          // field 0x25
  int16_t mechtilt;          // mechanical tilt, 0.1 degree, field 0x26
  uint16_t tmatype;          // TMA: type bit map, field 0x13
  unsigned char rxband[4];   // TMA: receive band edges, field 0x14
  unsigned char txband[4];   // TMA: transmit band edges, field 0x15
  uint16_t maxgain;          // TMA: maximum gain, 0.25 dB, field 0x16
  uint16_t mingain;          // TMA: minimum gain, 0.25 dB, field 0x17
  uint16_t resolution;       // TMA: gain resolution, 0.25 dB, field 0x18
};

static_assert(std::is_standard_layout_v<DeviceData>);
static_assert(std::is_trivially_copyable_v<DeviceData>);
static_assert(sizeof(DeviceData) == 156, "DeviceData is passed by value: its size is fixed");
static_assert(offsetof(DeviceData, antmodel) == 0);
static_assert(offsetof(DeviceData, antsn) == 16);
static_assert(offsetof(DeviceData, antband) == 34);
static_assert(offsetof(DeviceData, antbeam) == 40);
static_assert(offsetof(DeviceData, antgain) == 48);
static_assert(offsetof(DeviceData, antmaxtilt) == 52);
static_assert(offsetof(DeviceData, antmintilt) == 54);
static_assert(offsetof(DeviceData, insdate) == 56);
static_assert(offsetof(DeviceData, insid) == 63);
static_assert(offsetof(DeviceData, baseid) == 70);
static_assert(offsetof(DeviceData, sectorid) == 103);
static_assert(offsetof(DeviceData, bearing) == 136);
static_assert(offsetof(DeviceData, mechtilt) == 138);
static_assert(offsetof(DeviceData, tmatype) == 140);
static_assert(offsetof(DeviceData, rxband) == 142);
static_assert(offsetof(DeviceData, txband) == 146);
static_assert(offsetof(DeviceData, maxgain) == 150);
static_assert(offsetof(DeviceData, mingain) == 152);
static_assert(offsetof(DeviceData, resolution) == 154);
