// Device data: clearing, AISG 2.0 single fields with and without the echoed
// identifier, AISG 1.x field lists, the codes per subunit and device type,
// and the device data and identity traces.
#include <cstring>
#include <string>

#include "tests/procedures/scripted_line.h"

namespace proctest {
namespace {

class DeviceDataTest : public ProcedureTest {
 protected:
  // Answers every request with `info` and remembers the requests.
  void Answer(Bytes info) {
    device = std::make_unique<ScriptedDevice>(1, [info](const Bytes&) { return info; });
    line.responder = [this](const Command& c) { return (*device)(c); };
  }
  int Read(int generation, Bytes ids) {
    testing::internal::CaptureStdout();
    int r = ep.GetDeviceData(1, generation, reinterpret_cast<char*>(ids.data()),
                             static_cast<int>(ids.size()), &p);
    trace = testing::internal::GetCapturedStdout();
    return r;
  }
  bool Traced(const std::string& text) const { return trace.find(text) != std::string::npos; }

  std::unique_ptr<ScriptedDevice> device;
  std::string trace;
};

TEST_F(DeviceDataTest, Aisg2SingleFieldWithAndWithoutEcho) {
  Answer(Message2(0x0F, {0x00, 0x06, 0xC4, 0xFF}));
  EXPECT_EQ(Read(2, {0x06}), 0);
  EXPECT_EQ(p.antMaxTilt, -60);
  EXPECT_TRUE(Traced("p->antMaxTilt=-60, (deg/10): -6.0\n")) << trace;
  EXPECT_EQ(line.LastInfo(), (Bytes{0x0F, 0x01, 0x00, 0x06}));

  p.antMaxTilt = 5;
  Answer(Message2(0x0F, {0x00, 0xC4, 0xFF}));
  EXPECT_EQ(Read(2, {0x06}), 0);
  EXPECT_EQ(p.antMaxTilt, -60);

  // One byte too many fits neither form; the field stays cleared.
  Answer(Message2(0x0F, {0x00, 0x06, 0xC4, 0xFF, 0x00}));
  EXPECT_EQ(Read(2, {0x06}), 82);
  EXPECT_EQ(p.antMaxTilt, 0);
  EXPECT_TRUE(Traced("(DEV_BADRESPONDING)\n"));

  // Asking for an identifier nobody knows.
  Answer(Message2(0x0F, {0x00, 0x01}));
  EXPECT_EQ(Read(2, {0x0C}), 82);
  EXPECT_TRUE(Traced("(DEV_BADRESPONDING)\n"));
}

TEST_F(DeviceDataTest, Aisg2EncodingsDifferFromAisg1) {
  Bytes station(32, 'S');
  station.insert(station.begin(), {0x00, 0x23});
  Answer(Message2(0x0F, station));
  EXPECT_EQ(Read(2, {0x23}), 0);
  EXPECT_EQ(std::string(p.antBaseStationID), std::string(32, 'S'));

  Answer(Message2(0x0F, {0x00, 0x26, 0x84, 0x03}));
  EXPECT_EQ(Read(2, {0x26}), 0);
  EXPECT_EQ(p.antMechanicalTilt, 900);

  Answer(Message2(0x0F, {0x00, 0x04, 65, 0, 33, 0, 1, 1, 0, 0}));
  EXPECT_EQ(Read(2, {0x04}), 0);
  EXPECT_TRUE(
      Traced("p->antBeamwidth=0x41 0x00 0x21 0x00 0x01 0x01 0x00 0x00 , (deg): "
             "65/33/257/0 \n"))
      << trace;
}

TEST_F(DeviceDataTest, Aisg1FieldList) {
  Answer(Message1(0x0F, {0x00, 0x26, 0xF6, 0x03, 0x34, 0x12}));
  EXPECT_EQ(Read(1, {0x03, 0x26}), 0);
  EXPECT_EQ(line.LastInfo(), (Bytes{0x01, 0x0F, 0x02, 0x00, 0x03, 0x26}));
  EXPECT_EQ(p.antMechanicalTilt, -10);
  EXPECT_EQ(p.antFreqBand, 0x1234);
  // In the order the device sent them.
  EXPECT_LT(trace.find("p->antMechanicalTilt=-10"), trace.find("p->antFreqBand="));

  Bytes station{0x00, 0x23};
  station.insert(station.end(), 12, 'B');
  station.push_back(0x24);
  station.insert(station.end(), {'S', 'E', 'C', '1'});
  Answer(Message1(0x0F, station));
  EXPECT_EQ(Read(1, {0x23, 0x24}), 0);
  EXPECT_EQ(std::string(p.antBaseStationID), std::string(12, 'B'));
  EXPECT_STREQ(p.antSectorID, "SEC1");

  // No field at all is an empty answer, not an error.
  Answer(Message1(0x0F, {0x00}));
  EXPECT_EQ(Read(1, {0x01}), 0);
}

TEST_F(DeviceDataTest, Aisg1ListWithUnknownOrCutFields) {
  Answer(Message1(0x0F, {0x00, 0x26, 0xF6, 0x0C, 0x01}));
  EXPECT_EQ(Read(1, {0x26}), 82);
  EXPECT_TRUE(Traced("(DEV_BADRESPONDING)\n"));
  EXPECT_EQ(p.antMechanicalTilt, -10);  // decoded before the unknown field

  // The last field's value is cut short.
  Answer(Message1(0x0F, {0x00, 0x26, 0xF6, 0x25, 0x10}));
  p.antBearing = 77;
  EXPECT_EQ(Read(1, {0x26}), 82);
  EXPECT_EQ(p.antBearing, 77);
}

TEST_F(DeviceDataTest, TextsAreCleaned) {
  Bytes model{0x00, 0x01, 0x00, 0x00, 'A', 'B', 'C'};
  model.resize(2 + 15, 0x00);
  Answer(Message2(0x0F, model));
  EXPECT_EQ(Read(2, {0x01}), 0);
  EXPECT_STREQ(p.antModel, "ABC");
  EXPECT_TRUE(Traced("p->antModel=ABC\n"));
}

TEST_F(DeviceDataTest, ClearingBeforeARead) {
  strcpy(p.devModel, "OLD");
  strcpy(p.devSerial, "OLD");
  strcpy(p.tmaModel, "TMA");
  p.antBearing = 5;
  char ids[] = {0x11, 0x30};
  ep.InitialParams(ids, 2, &p);
  EXPECT_EQ(p.devModel[0], 0);
  EXPECT_EQ(p.tmaModel[0], 0);
  EXPECT_STREQ(p.devSerial, "OLD");
  EXPECT_EQ(p.antBearing, 5);

  // A failed exchange leaves the requested members cleared.
  p.antBearing = 5;
  line.responder = [](const Command&) { return Bytes{}; };
  EXPECT_EQ(Read(2, {0x25}), 89);
  EXPECT_EQ(p.antBearing, 0);
}

TEST_F(DeviceDataTest, CodePerSubunitAndDeviceType) {
  struct Case {
    int subunit;
    int type;
    uint8_t code;
  };
  for (Case c : {Case{2, 16, 0x75}, Case{1, 2, 0x75}, Case{2, 17, 0x84}, Case{0, 16, 0x0F}}) {
    Bytes answer{0x00, 0x25, 0x10, 0x0E};
    if (c.subunit > 0) answer.insert(answer.begin(), static_cast<uint8_t>(c.subunit));
    Answer(Message2(c.code, answer));
    char id = 0x25;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ep.GetDeviceData(1, 2, c.subunit, c.type, &id, 1, &p), 0);
    testing::internal::GetCapturedStdout();
    Bytes request = line.LastInfo();
    ASSERT_FALSE(request.empty());
    EXPECT_EQ(request[0], c.code);
    EXPECT_EQ(request.back(), 0x25);
    EXPECT_EQ(p.antBearing, 0x0E10);
  }
}

TEST_F(DeviceDataTest, BandAndTypeTraces) {
  p.antFreqBand = 0x8083;  // bits 0, 1, 7, 15
  p.antFreqBandExt08 = 0x0005;
  p.antFreqBandExt09 = 0x1001;
  p.tmaType = 0x07;
  p.tmaRecFreqBand[0] = 0xCC;  // 17100
  p.tmaRecFreqBand[1] = 0x42;
  p.tmaRecFreqBand[2] = 0xBA;  // 17850
  p.tmaRecFreqBand[3] = 0x45;
  p.antGain[0] = 175;
  p.antGain[1] = 180;
  p.antGain[2] = 5;
  p.tmaMaxGain = 130;
  char ids[] = {0x03, 0x08, 0x09, 0x13, 0x14, 0x05, 0x16, 0x0C};
  testing::internal::CaptureStdout();
  ep.PrintDeviceData(1, ids, 1, &p);
  ep.PrintDeviceData(2, ids, sizeof ids, &p);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "p->antFreqBand=0x83 0x80 , (Mhz): 800/900\n"
            "p->antFreqBand=0x83 0x80 , (Mhz): 800/850/900/Ext.09\n"
            "p->antFreqBandExt08=0x05 0x00 , (Mhz): Res./XVII\n"
            "p->antFreqBandExt09=0x01 0x10 , (Mhz): a33/Spare\n"
            "p->tmaType=7, type: Bypass/VSWR/reserve\n"
            "p->tmaRecFreqBand=0xcc 0x42 0xba 0x45 , (mhz): 1710 - 1785\n"
            "p->antGain=0xaf 0xb4 0x05 0x00 , (dBi/10): 17.5/18.0/0.5/0.0 \n"
            "p->tmaMaxGain=130, (dBi/4): 32.5\n");
}

TEST_F(DeviceDataTest, IdentityTraceAndClearing) {
  memset(&p, 0x5A, sizeof p);
  ep.InitialParams(&p);
  const AISGDeviceParams zero{};
  EXPECT_EQ(memcmp(&p, &zero, sizeof p), 0);

  p.devAddress = 3;
  p.devType = 0x11;
  p.devUniqueIDSize = 4;
  memcpy(p.devUniqueID, "KA12", 4);
  strcpy(p.devVendorID, "KA");
  p.devRcuCodesSize = 2;
  p.devRcuCodes[1] = 0xAB;
  testing::internal::CaptureStdout();
  for (int which : {1, 4, 8, 9, 10, 32}) ep.PrintDeviceInfo(static_cast<char>(which), &p);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "p->devAddress=3\np->devType=0x11\np->devUniqueID=KA12\np->devVendorID=KA\n"
            "p->devRcuCodes: 0 ab \n");
}

}  // namespace
}  // namespace proctest
