// The write and line faults: not stored, lost reply, echo and power loss.
#include <gtest/gtest.h>

#include "SimTestUtil.h"

namespace {

using metersim::MeterModel;
using metersim::ParseFault;
using namespace simtest;
using Bytes = std::vector<uint8_t>;

// A write of 01 02 03 04 and the read of the same place, in the model's protocol.
Bytes WriteOf(MeterModel m) {
  return Frame(
      m, 1,
      metersim::SpeaksModBus(m) ? "01 10 00 FA 00 02 04 01 02 03 04" : "0F 81 01 00 01 02 03 04");
}
Bytes ReadOf(MeterModel m) {
  return Frame(m, 1, metersim::SpeaksModBus(m) ? "01 03 00 FA 00 02" : "0F 01 01 00 04");
}

TEST(WriteFaults, EachDoesWhatItsNameSays) {
  struct Case {
    const char* fault;
    MeterModel model;
    bool replied, stored, echoed, dies;
  };
  const Case cases[] = {
      {"not-stored", MeterModel::Gdz1208, true, false, false, false},
      {"lost-reply", MeterModel::Zfk31, false, true, false, false},
      {"echo", MeterModel::Gdz1207s, true, true, true, false},
      {"echo", MeterModel::Gdz1208, true, true, true, false},
      {"power-loss", MeterModel::Gdz1207s2, false, false, false, true},
      {"power-loss", MeterModel::Gdz1208, false, false, false, true},
  };
  for (const Case& c : cases) {
    const Bytes write = WriteOf(c.model), read = ReadOf(c.model);
    auto clean = Meter(c.model);
    const Bytes before = Ask(*clean, read), normal = Ask(*clean, write), after = Ask(*clean, read);
    auto meter = Meter(c.model);
    meter->AddFault(*ParseFault(c.fault));
    if (!c.echoed) EXPECT_EQ(Ask(*meter, read), before) << c.fault << ": reads pass";
    Bytes expect = c.replied ? normal : Bytes{};
    if (c.echoed) expect.insert(expect.begin(), write.begin(), write.end());
    EXPECT_EQ(HexText(Ask(*meter, write)), HexText(expect)) << c.fault;
    // A meter without power answers nothing until it is powered on.
    EXPECT_EQ(Ask(*meter, read).empty() && Ask(*meter, Request3x(2, 0, 0)).empty(), c.dies);
    EXPECT_EQ(meter->Powered(), !c.dies) << c.fault;
    meter->ClearFaults();
    meter->PowerOn();
    EXPECT_EQ(Ask(*meter, read), c.stored ? after : before) << c.fault;
    EXPECT_EQ(meter->WriteCount(), 1u) << c.fault;
  }
}

}  // namespace
