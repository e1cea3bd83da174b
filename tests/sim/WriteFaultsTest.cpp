// The write and line faults: not stored, lost reply, echo and power loss.
#include <gtest/gtest.h>

#include "SimTestUtil.h"

namespace {

using metersim::MeterModel;
using metersim::ParseFault;
using namespace simtest;
using Bytes = std::vector<uint8_t>;

const Bytes kWrite3x = Request3x(1, 0x0F, 0x81, {0x01, 0x00, 1, 2, 3, 4});
const Bytes kRead3x = Request3x(1, 0x0F, 0x01, {0x01, 0x00, 4});
const Bytes kWriteModBus = WithCrc({1, 16, 0, 200, 0, 2, 4, 1, 2, 3, 4});
const Bytes kReadModBus = WithCrc({1, 3, 0, 200, 0, 2});

TEST(WriteFaults, EachDoesWhatItsNameSays) {
  struct Case {
    const char* fault;
    MeterModel model;
    bool replied, stored, echoed;
  };
  const Case cases[] = {
      {"not-stored", MeterModel::Zfk36, true, false, false},
      {"not-stored", MeterModel::Gdz1208, true, false, false},
      {"lost-reply", MeterModel::Zfk31, false, true, false},
      {"lost-reply", MeterModel::Gdz1208, false, true, false},
      {"echo", MeterModel::Gdz1207s, true, true, true},
      {"echo", MeterModel::Gdz1208, true, true, true},
  };
  for (const Case& c : cases) {
    const bool modbus = metersim::SpeaksModBus(c.model);
    const Bytes& write = modbus ? kWriteModBus : kWrite3x;
    const Bytes& read = modbus ? kReadModBus : kRead3x;
    auto clean = Meter(c.model);
    const Bytes before = Ask(*clean, read);
    const Bytes normal = Ask(*clean, write);
    const Bytes after = Ask(*clean, read);
    ASSERT_NE(before, after) << c.fault;

    auto meter = Meter(c.model);
    meter->AddFault(*ParseFault(c.fault));
    if (!c.echoed) EXPECT_EQ(Ask(*meter, read), before) << c.fault << ": reads pass";
    Bytes expect = c.replied ? normal : Bytes{};
    if (c.echoed) expect.insert(expect.begin(), write.begin(), write.end());
    EXPECT_EQ(HexText(Ask(*meter, write)), HexText(expect)) << c.fault;
    meter->ClearFaults();
    EXPECT_EQ(Ask(*meter, read), c.stored ? after : before) << c.fault;
    EXPECT_EQ(meter->WriteCount(), 1u) << c.fault;
  }
}

TEST(WriteFaults, PowerLossSilencesTheMeterUntilItIsPoweredOn) {
  for (MeterModel model : {MeterModel::Zfk31, MeterModel::Gdz1208}) {
    const bool modbus = metersim::SpeaksModBus(model);
    auto write = [&](uint8_t at) {
      return modbus ? WithCrc({1, 16, 0, at, 0, 1, 2, 0xAB, at})
                    : Request3x(1, 0x0F, 0x81, {0x01, at, 0xAB, at});
    };
    auto read = modbus ? WithCrc({1, 3, 0, 10, 0, 3}) : Request3x(1, 0x0F, 0x01, {0x01, 20, 6});
    auto meter = Meter(model);
    const Bytes untouched = Ask(*meter, read);
    meter->AddFault(*ParseFault("power-loss:skip=2"));
    const uint8_t at[3] = {static_cast<uint8_t>(modbus ? 10 : 20),
                           static_cast<uint8_t>(modbus ? 11 : 22),
                           static_cast<uint8_t>(modbus ? 12 : 24)};
    EXPECT_FALSE(Ask(*meter, write(at[0])).empty());
    EXPECT_FALSE(Ask(*meter, write(at[1])).empty());
    EXPECT_TRUE(Ask(*meter, write(at[2])).empty());  // the power goes here
    EXPECT_TRUE(Ask(*meter, read).empty());
    EXPECT_TRUE(Ask(*meter, Request3x(1, 0, 0)).empty() && Ask(*meter, WithCrc({1, 17})).empty());
    EXPECT_FALSE(meter->Powered());
    EXPECT_EQ(meter->WriteCount(), 3u);
    meter->PowerOn();
    const Bytes now = Payload(Ask(*meter, read), modbus);
    const Bytes was = Payload(untouched, modbus);
    // The two writes before the loss are kept, the one it cut is not.
    EXPECT_EQ(HexText(now), HexText({0xAB, at[0], 0xAB, at[1], was[4], was[5]})) << modbus;
  }
}

}  // namespace
