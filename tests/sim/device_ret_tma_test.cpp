// Device data, RET and TMA procedures of the simulated devices.
#include <gtest/gtest.h>

#include "tests/sim/device_test_util.h"

namespace ald::sim::testing {
namespace {

TEST(DeviceData, Aisg2ReadsOneFieldWithItsIdentifierEchoed) {
  auto d = MakeRet(2);
  d->subunits[0].SetField(0x01, TextValue("ANT-X", 15));
  d->subunits[0].SetField(0x23, TextValue("BTS-NORTH-0042", 32));
  Bytes model = Body(Send(*d, Req2(0x0F, {0x01})));
  ASSERT_EQ(model.size(), 17u);
  EXPECT_EQ(model[0], 0x00);
  EXPECT_EQ(model[1], 0x01);
  EXPECT_EQ(Bytes(model.begin() + 12, model.end()), Text("ANT-X"));
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x23}))).size(), 2u + 32u);
  // The tilt range follows the device's limits: -2.0 degrees is EC FF.
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x07}))), (Bytes{0x00, 0x07, 0xEC, 0xFF}));
  // A field that was never written reads as zeros of its length.
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x25}))), (Bytes{0x00, 0x25, 0, 0}));
  // One field per request in AISG 2.0.
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x01, 0x02}))), (Bytes{0x0B, g2::kFormatError}));
  EXPECT_EQ(Body(Send(*d, Req2(0x0F))), (Bytes{0x0B, g2::kFormatError}));
}

TEST(DeviceData, Aisg1ReadsAListInRequestOrderWithItsOwnLengths) {
  auto d = MakeRet(1);
  d->subunits[0].SetField(0x26, {0xF6});
  d->subunits[0].SetField(0x03, {0x34, 0x12});
  d->subunits[0].SetField(0x23, TextValue("BTS1", 12));
  EXPECT_EQ(Body(Send(*d, Req1(0x0F, {0x26, 0x03})), 1),
            (Bytes{0x00, 0x26, 0xF6, 0x03, 0x34, 0x12}));
  const Bytes five = Body(Send(*d, Req1(0x0F, {0x21, 0x22, 0x23, 0x24, 0x04})), 1);
  EXPECT_EQ(five.size(), 1u + 5u + 6 + 5 + 12 + 4 + 3);
  // One unknown identifier spoils the whole request.
  EXPECT_EQ(Body(Send(*d, Req1(0x0F, {0x26, 0x0C})), 1), (Bytes{0x0B, g1::kUnknownParameter}));
  // A list longer than any answer can carry is refused, not cut short.
  EXPECT_EQ(Body(Send(*d, Req1(0x0F, Bytes(30, 0x23))), 1), (Bytes{0x0B, g1::kDataError}));
}

TEST(DeviceData, FieldsBelongToTheirKindOfDevice) {
  auto r = MakeRet(2);
  EXPECT_EQ(Body(Send(*r, Req2(0x0F, {0x13}))), (Bytes{0x0B, g2::kUnknownParameter}));
  EXPECT_EQ(Body(Send(*r, Req2(0x0F, {0x27}))), (Bytes{0x0B, g2::kUnknownParameter}));
  auto t = MakeTma(2);
  EXPECT_EQ(Body(Send(*t, Req2(0x0F, {0x06}))), (Bytes{0x0B, g2::kUnknownParameter}));
  // The gain range is answered from the TMA's settings.
  EXPECT_EQ(Body(Send(*t, Req2(0x0F, {0x16}))), (Bytes{0x00, 0x16, 48}));
  EXPECT_EQ(Body(Send(*t, Req2(0x0F, {0x17}))), (Bytes{0x00, 0x17, 16}));
  EXPECT_EQ(Body(Send(*t, Req2(0x0F, {0x18}))), (Bytes{0x00, 0x18, 2}));
}

TEST(DeviceData, WritesAreCheckedWholeAndReadBack) {
  auto d = MakeRet(2);
  const Bytes sector = TextValue("S1", 32);
  EXPECT_EQ(Body(Send(*d, Req2(0x0E, Cat(Bytes{0x24}, sector)))), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x24}))), Cat(Bytes{0x00, 0x24}, sector));
  // AISG 1.x length of the sector ID is wrong for this device.
  EXPECT_EQ(Body(Send(*d, Req2(0x0E, {0x24, 0, 0, 'S', '1'}))), (Bytes{0x0B, g2::kFormatError}));
  EXPECT_EQ(Body(Send(*d, Req2(0x0E, {0x06, 100, 0}))), (Bytes{0x0B, g2::kReadOnly}));
  EXPECT_EQ(Body(Send(*d, Req2(0x0E, {0x30, 1}))), (Bytes{0x0B, g2::kUnknownParameter}));
  EXPECT_EQ(Body(Send(*d, Req2(0x0E, {0x25, 0x11, 0x0E}))),
            (Bytes{0x0B, g2::kOutOfRange}));  // 3601
  EXPECT_EQ(Body(Send(*d, Req2(0x0E, {0x26, 0x85, 0x03}))),
            (Bytes{0x0B, g2::kOutOfRange}));  // 90.1
  EXPECT_EQ(Body(Send(*d, Req2(0x0E, {0x26, 0x84, 0x03}))), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req2(0x0E))), (Bytes{0x0B, g2::kFormatError}));

  // AISG 1.x takes several fields at once, or none of them.
  auto d1 = MakeRet(1);
  EXPECT_EQ(Body(Send(*d1, Req1(0x0E, {0x25, 0x10, 0x0E, 0x26, 0x80})), 1), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d1, Req1(0x0F, {0x25, 0x26})), 1),
            (Bytes{0x00, 0x25, 0x10, 0x0E, 0x26, 0x80}));
  EXPECT_EQ(Body(Send(*d1, Req1(0x0E, {0x25, 0, 0, 0x26})), 1), (Bytes{0x0B, g1::kDataError}));
  EXPECT_EQ(Body(Send(*d1, Req1(0x0F, {0x25})), 1), (Bytes{0x00, 0x25, 0x10, 0x0E}));
}

TEST(DeviceData, GenerationChangeKeepsValuesInTheNewLayout) {
  auto d = MakeRet(1);
  d->subunits[0].SetField(0x23, TextValue("SITE42", 12));
  d->subunits[0].SetField(0x26, {0xF6});
  d->subunits[0].SetField(0x04, {65, 60, 58});
  d->ChangeGeneration(2);
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x23}))), Cat(Bytes{0x00, 0x23}, TextValue("SITE42", 32)));
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x26}))), (Bytes{0x00, 0x26, 0xF6, 0xFF}));
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x04}))), (Bytes{0x00, 0x04, 65, 0, 60, 0, 58, 0, 0, 0}));
  d->ChangeGeneration(1);
  EXPECT_EQ(Body(Send(*d, Req1(0x0F, {0x04, 0x26})), 1),
            (Bytes{0x00, 0x04, 65, 60, 58, 0x26, 0xF6}));
}

TEST(Ret, TiltMovesAtItsSpeedAndAnswersOnArrival) {
  auto d = MakeRet(1);  // at 2.0 degrees, range -2.0 to 12.0, 1 degree per second
  // 01 33 02 00 64 00: ten degrees, eight degrees away.
  EXPECT_TRUE(Send(*d, Req1(0x33, {100, 0}), 1'000'000).empty());
  EXPECT_TRUE(Poll(*d, 8'999'999).empty());
  EXPECT_EQ(Poll(*d, 9'000'000), (Bytes{1, 0x33, 1, 0, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req1(0x34), 9'100'000), 1), (Bytes{0x00, 100, 0}));
  // Negative tilts, low byte first: -1.5 degrees is F1 FF.
  EXPECT_TRUE(Send(*d, Req1(0x33, {0xF1, 0xFF}), 10'000'000).empty());
  EXPECT_EQ(Body(Poll(*d, 21'500'000), 1), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req1(0x34), 22'000'000), 1), (Bytes{0x00, 0xF1, 0xFF}));
  // Where it already is: at once.
  EXPECT_EQ(Body(Send(*d, Req1(0x33, {0xF1, 0xFF}), 23'000'000), 1), Bytes{0x00});
  // Outside its range: refused at once, the tilt stays.
  EXPECT_EQ(Body(Send(*d, Req1(0x33, {0x2C, 0x01}), 24'000'000), 1),
            (Bytes{0x0B, g1::kOutOfRange}));
  EXPECT_EQ(Body(Send(*d, Req1(0x33, {0xEB, 0xFF}), 24'000'000), 1),
            (Bytes{0x0B, g1::kOutOfRange}));
  EXPECT_EQ(d->subunits[0].tilt, -15);
}

TEST(Ret, MultiAntennaProceduresNameTheAntenna) {
  auto d = MakeRet(2, 17, 3);
  EXPECT_EQ(Send(*d, Req2(0x88)), (Bytes{0x88, 2, 0, 0x00, 3}));
  // 81 03 00 03 64 00: antenna 3 to 10.0 degrees.
  EXPECT_TRUE(Send(*d, Bytes{0x81, 0x03, 0x00, 0x03, 0x64, 0x00}).empty());
  EXPECT_EQ(Poll(*d, 8'000'000), (Bytes{0x81, 2, 0, 3, 0x00}));
  EXPECT_EQ(Send(*d, Req2(0x82, {}, 3)), (Bytes{0x82, 4, 0, 3, 0x00, 100, 0}));
  EXPECT_EQ(Body(Send(*d, Req2(0x82, {}, 1))), (Bytes{1, 0x00, 20, 0}));
  // No such antenna.
  EXPECT_EQ(Body(Send(*d, Req2(0x82, {}, 4))), (Bytes{4, 0x0B, g2::kFormatError}));
  EXPECT_EQ(Body(Send(*d, Bytes{0x82, 1, 0, 0})), (Bytes{0, 0x0B, g2::kFormatError}));
  // Too short to name an antenna: disregarded, not answered.
  EXPECT_TRUE(Send(*d, Req2(0x82)).empty());
  EXPECT_TRUE(Send(*d, Req2(0x81, {}, 3)).empty()) << "antenna, but no tilt";
  EXPECT_TRUE(Send(*d, Req2(0x81, {0x64}, 3)).empty());
  EXPECT_TRUE(Send(*d, Req2(0x83, {}, 1)).empty()) << "antenna, but no field";
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(d->subunits[2].tilt, 100);
  // Longer than the procedure's fields: answered, refused.
  EXPECT_EQ(Body(Send(*d, Req2(0x82, {0}, 3))), (Bytes{3, 0x0B, g2::kFormatError}));
  // Single-antenna procedures are not for this unit.
  EXPECT_EQ(Body(Send(*d, Req2(0x34))), (Bytes{0x0B, g2::kUnsupportedProcedure}));
  // Per-antenna device data, and the unit-wide form reaching antenna 1.
  EXPECT_EQ(Body(Send(*d, Req2(0x83, Cat(Bytes{0x01}, TextValue("M3", 15)), 2))), (Bytes{2, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req2(0x84, {0x01}, 2))), Cat(Bytes{2, 0x00, 0x01}, TextValue("M3", 15)));
  EXPECT_EQ(Body(Send(*d, Req2(0x0F, {0x01}))), Cat(Bytes{0x00, 0x01}, Bytes(15, 0)));
  // Configuration data per antenna.
  EXPECT_EQ(Body(Send(*d, Req2(0x89, Bytes(70, 0x5A), 2))), (Bytes{2, 0x00}));
  EXPECT_EQ(d->subunits[1].configurationBytes, 70);

  auto single = MakeRet(2);
  EXPECT_EQ(Body(Send(*single, Req2(0x88))), (Bytes{0x0B, g2::kUnsupportedProcedure}));
  EXPECT_EQ(Body(Send(*single, Req2(0x82, {}, 1))), (Bytes{1, 0x0B, g2::kUnsupportedProcedure}));
  auto tma = MakeTma(2);
  EXPECT_EQ(Body(Send(*tma, Req2(0x33, {0, 0}))), (Bytes{0x0B, g2::kUnsupportedProcedure}));
  EXPECT_EQ(Body(Send(*tma, Req2(0x81, {0, 0}, 1))), (Bytes{1, 0x0B, g2::kUnsupportedProcedure}));
  // Codes no AISG 2.0 procedure has stay unknown.
  EXPECT_EQ(Body(Send(*tma, Req2(0x5A))), (Bytes{0x0B, g2::kUnknownProcedure}));
  // The older generation has one word for both.
  auto old = MakeRet(1);
  EXPECT_EQ(Body(Send(*old, Req1(0x43)), 1), (Bytes{0x0B, g1::kUnknownProcedure}));
}

TEST(Ret, CalibrationTakesItsTimeAndClearsNotCalibrated) {
  auto d = MakeRet(2, 17, 2);
  d->calibrationUs = 30'000'000;
  d->subunits[1].calibrated = false;
  d->subunits[1].alarms = {g2::kNotCalibrated};
  EXPECT_EQ(Body(Send(*d, Req2(0x81, {50, 0}, 2))), (Bytes{2, 0x0B, g2::kNotCalibrated}));
  EXPECT_EQ(Body(Send(*d, Req2(0x82, {}, 2))), (Bytes{2, 0x0B, g2::kNotCalibrated}));
  EXPECT_TRUE(Send(*d, Req2(0x80, {}, 2), 1'000'000).empty());
  EXPECT_TRUE(Poll(*d, 30'999'999).empty());
  EXPECT_EQ(Body(Poll(*d, 31'000'000)), (Bytes{2, 0x00}));
  EXPECT_TRUE(d->subunits[1].calibrated);
  EXPECT_TRUE(d->subunits[1].alarms.empty());
  // Within the 300 polls of 500 ms that a controller waits.
  EXPECT_LT(d->calibrationUs, 300 * 500'000LL);
  EXPECT_EQ(Body(Send(*d, Req2(0x82, {}, 2), 32'000'000)), (Bytes{2, 0x00, 20, 0}));

  // The single-antenna form, in both generations.
  auto r2 = MakeRet(2);
  EXPECT_TRUE(Send(*r2, Req2(0x31)).empty());
  EXPECT_TRUE(Poll(*r2, r2->calibrationUs - 1).empty());
  EXPECT_EQ(Poll(*r2, r2->calibrationUs), (Bytes{0x31, 1, 0, 0x00}));
  auto r1 = MakeRet(1);
  r1->subunits[0].calibrated = false;
  EXPECT_TRUE(Send(*r1, Req1(0x31)).empty());
  EXPECT_EQ(Poll(*r1, r1->calibrationUs), (Bytes{1, 0x31, 1, 0, 0x00}));
  EXPECT_TRUE(r1->subunits[0].calibrated);
  EXPECT_EQ(Body(Send(*r1, Req1(0x31, {0}), r1->calibrationUs), 1), (Bytes{0x0B, g1::kDataError}));
}

TEST(Ret, JammedActuatorFailsAfterTryingAndRaisesTheAlarm) {
  auto d = MakeRet(1);
  d->subunits[0].jammed = true;
  EXPECT_TRUE(Send(*d, Req1(0x33, {80, 0})).empty());
  EXPECT_EQ(Body(Poll(*d, 2'000'000), 1), (Bytes{0x0B, g1::kActuatorJamPermanent}));
  EXPECT_EQ(d->subunits[0].tilt, 20);
  EXPECT_EQ(Body(Send(*d, Req1(0x04), 2'100'000), 1), (Bytes{0x00, g1::kActuatorJamPermanent}));
  EXPECT_TRUE(Send(*d, Req1(0x31), 3'000'000).empty());
  EXPECT_EQ(Body(Poll(*d, 5'000'000), 1), (Bytes{0x0B, g1::kActuatorJamPermanent}));
}

TEST(Ret, ConfigurationDataInPieces) {
  auto d = MakeRet(1);
  EXPECT_EQ(Body(Send(*d, Req1(0x32, Bytes(70, 1))), 1), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req1(0x32, Bytes(10, 2))), 1), Bytes{0x00});
  EXPECT_EQ(d->subunits[0].configurationBytes, 80);
  EXPECT_EQ(Body(Send(*d, Req1(0x32)), 1), (Bytes{0x0B, g1::kDataError}));
  auto d2 = MakeRet(2);
  EXPECT_EQ(Body(Send(*d2, Req2(0x32, Bytes(71, 1)))), Bytes{0x00});
}

TEST(Tma, Aisg1ModeAndGain) {
  auto d = MakeTma(1);
  // 01 40 01 00 01: bypass.
  EXPECT_EQ(Send(*d, Bytes{1, 0x40, 1, 0, 1}), (Bytes{1, 0x40, 1, 0, 0x00}));
  EXPECT_EQ(Send(*d, Req1(0x41)), (Bytes{1, 0x41, 2, 0, 0x00, 1}));
  EXPECT_EQ(Body(Send(*d, Req1(0x42, {48})), 1), Bytes{0x00});
  EXPECT_EQ(Body(Send(*d, Req1(0x43)), 1), (Bytes{0x00, 48}));
  // Off the half-decibel steps, or outside 4 to 12 dB.
  EXPECT_EQ(Body(Send(*d, Req1(0x42, {47})), 1), (Bytes{0x0B, g1::kOutOfRange}));
  EXPECT_EQ(Body(Send(*d, Req1(0x42, {50})), 1), (Bytes{0x0B, g1::kOutOfRange}));
  EXPECT_EQ(Body(Send(*d, Req1(0x40, {2})), 1), (Bytes{0x0B, g1::kOutOfRange}));
  EXPECT_EQ(Body(Send(*d, Req1(0x70, {0})), 1), (Bytes{0x0B, g1::kUnknownProcedure}));
  // A RET has none of these.
  auto r = MakeRet(1);
  EXPECT_EQ(Body(Send(*r, Req1(0x43)), 1), (Bytes{0x0B, g1::kUnknownProcedure}));
}

TEST(Tma, Aisg2SubunitsFunctionsAndGains) {
  auto d = MakeTma(2, 2);
  d->subunits[1].functions = 0;  // no bypass
  d->subunits[1].nonLinearGains = {20, 28, 44};
  d->subunits[1].gain = 28;
  EXPECT_EQ(Send(*d, Req2(0x79)), (Bytes{0x79, 2, 0, 0x00, 2}));
  // 72 02 00 02 30: subunit 2 to 12 dB, not one of its values.
  EXPECT_EQ(Send(*d, Bytes{0x72, 2, 0, 2, 0x30}), (Bytes{0x72, 3, 0, 2, 0x0B, g2::kOutOfRange}));
  EXPECT_EQ(Body(Send(*d, Req2(0x72, {44}, 2))), (Bytes{2, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req2(0x73, {}, 2))), (Bytes{2, 0x00, 44}));
  EXPECT_EQ(Body(Send(*d, Req2(0x72, {0x30}, 1))), (Bytes{1, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req2(0x7A, {}, 1))), (Bytes{1, 0x00, 0x01, 0x10, 0x30, 0x02}));
  EXPECT_EQ(Body(Send(*d, Req2(0x7B, {}, 2))), (Bytes{2, 0x00, 3, 20, 28, 44}));
  EXPECT_EQ(Body(Send(*d, Req2(0x7B, {}, 1))), (Bytes{1, 0x00, 0}));
  EXPECT_EQ(Body(Send(*d, Req2(0x70, {1}, 2))), (Bytes{2, 0x0B, g2::kOutOfRange}));
  EXPECT_EQ(Body(Send(*d, Req2(0x70, {1}, 1))), (Bytes{1, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req2(0x71, {}, 1))), (Bytes{1, 0x00, 1}));
  EXPECT_EQ(Body(Send(*d, Req2(0x71, {}, 3))), (Bytes{3, 0x0B, g2::kFormatError}));
  // 71 00 00 names no subunit: disregarded, even by a one-subunit TMA.
  EXPECT_TRUE(Send(*d, Bytes{0x71, 0, 0}).empty());
  EXPECT_TRUE(Send(*d, Req2(0x72, {}, 2)).empty()) << "subunit, but no gain";
  auto one = MakeTma(2, 1);
  EXPECT_TRUE(Send(*one, Req2(0x73)).empty());
  EXPECT_TRUE(Send(*one, Req2(0x70, {}, 1)).empty());
  EXPECT_EQ(one->subunits[0].mode, 0);
  EXPECT_EQ(Send(*one, Req2(0x74, {0x13, 1}, 1)), (Bytes{0x74, 3, 0, 1, 0x0B, g2::kReadOnly}));
  EXPECT_EQ(Send(*one, Req2(0x74, Cat(Bytes{0x11}, TextValue("T1", 15)), 1)),
            (Bytes{0x74, 2, 0, 1, 0x00}));
  EXPECT_EQ(Body(Send(*one, Req2(0x75, {0x11}, 1))),
            Cat(Bytes{1, 0x00, 0x11}, TextValue("T1", 15)));
}

TEST(Tma, PerSubunitAlarms) {
  auto d = MakeTma(2, 2);
  d->subunits[0].alarms = {0x30};
  d->subunits[1].alarms = {0x31, 0x30};
  EXPECT_EQ(Body(Send(*d, Req2(0x78, {}, 2))), (Bytes{2, 0x00, 0x31, 0x30}));
  EXPECT_EQ(Body(Send(*d, Req2(0x77, {}, 2))), (Bytes{2, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req2(0x78, {}, 2))), (Bytes{2, 0x00}));
  EXPECT_EQ(Body(Send(*d, Req2(0x04))), (Bytes{0x00, 0x30}));
}

}  // namespace
}  // namespace ald::sim::testing
