// Helpers for the layer-7 tests of the simulated devices: requests built by
// hand from the message layouts, answers taken apart the same way.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_ald.h"

namespace ald::sim::testing {

using Bytes = std::vector<uint8_t>;

// The return codes of each generation, as the devices must send them.
namespace g1 = ald::rc::aisg1;
namespace g2 = ald::rc::aisg2;

// AISG 1.x request: leading byte 1, code, length (low byte first), data.
inline Bytes Req1(uint8_t code, const Bytes& data = {}) {
  Bytes m{1, code, static_cast<uint8_t>(data.size() & 0xFF),
          static_cast<uint8_t>(data.size() >> 8)};
  for (uint8_t b : data) m.push_back(b);
  return m;
}

// AISG 2.0 request; a subunit above 0 goes in front of the data and is counted.
inline Bytes Req2(uint8_t code, const Bytes& data = {}, int subunit = 0) {
  Bytes body;
  if (subunit > 0) body.push_back(static_cast<uint8_t>(subunit));
  for (uint8_t b : data) body.push_back(b);
  Bytes m{code, static_cast<uint8_t>(body.size() & 0xFF), static_cast<uint8_t>(body.size() >> 8)};
  for (uint8_t b : body) m.push_back(b);
  return m;
}

inline Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

inline Bytes Cat(Bytes a, const Bytes& b) {
  for (uint8_t x : b) a.push_back(x);
  return a;
}

// One exchange at virtual time `now`: the answer bytes, empty while the
// device works on it.
inline Bytes Send(SimDevice& d, const Bytes& req, int64_t now = 0, int capacity = 256) {
  Bytes out(static_cast<size_t>(capacity) + 16, 0xEE);
  const int n =
      d.HandleMessage(req.data(), static_cast<int>(req.size()), now, out.data(), capacity);
  EXPECT_LE(n, capacity);
  for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE);
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

inline Bytes Poll(SimDevice& d, int64_t now, int capacity = 256) {
  Bytes out(static_cast<size_t>(capacity), 0);
  const int n = d.PendingAnswer(now, out.data(), capacity);
  EXPECT_LE(n, capacity);
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

// The bytes after the length field of an answer (AISG 2.0 layout, or AISG
// 1.x with its leading byte when `generation` is 1), checking that the
// length field matches them.
inline Bytes Body(const Bytes& answer, int generation = 2) {
  const size_t h = generation == 1 ? 4 : 3;
  if (answer.size() < h) {
    ADD_FAILURE() << "answer of " << answer.size() << " bytes";
    return {};
  }
  const size_t declared = answer[h - 2] | answer[h - 1] << 8;
  EXPECT_EQ(declared, answer.size() - h);
  return Bytes(answer.begin() + static_cast<long>(h), answer.end());
}

inline std::unique_ptr<SimAld> MakeRet(int generation, int type = 1, int antennas = 1) {
  auto d = std::make_unique<SimAld>();
  d->generation = generation;
  d->deviceType = type;
  d->uniqueId = std::string("KA") + std::string(5, '\0') + "000012345678";
  d->productNumber = "RCU-100";
  d->serialNumber = "000012345678";
  d->hardwareVersion = "HW2";
  d->softwareVersion = "SW1.0.3";
  d->subunits.assign(static_cast<size_t>(antennas), AldSubunit{});
  for (AldSubunit& s : d->subunits) {
    s.minTilt = -20;
    s.maxTilt = 120;
    s.tilt = 20;
  }
  return d;
}

inline std::unique_ptr<SimAld> MakeTma(int generation, int subunits = 1) {
  auto d = std::make_unique<SimAld>();
  d->generation = generation;
  d->deviceType = 2;
  d->uniqueId = std::string("CC") + std::string(7, '\0') + "TM000777";
  d->productNumber = "TMA-18";
  d->serialNumber = "TM000777";
  d->subunits.assign(static_cast<size_t>(subunits), AldSubunit{});
  for (AldSubunit& s : d->subunits) {
    s.minGain = 16;
    s.maxGain = 48;
    s.gainStep = 2;
    s.gain = 40;
  }
  return d;
}

}  // namespace ald::sim::testing
