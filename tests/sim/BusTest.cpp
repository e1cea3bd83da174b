// Several meters on one line: each answers its own address in its own
// protocol and is not thrown by the rest of the traffic.
#include <gtest/gtest.h>

#include "SimTestUtil.h"
#include "sim/MeterBus.h"

namespace {

using metersim::MeterBus;
using metersim::ParseBus;
using namespace simtest;
using Bytes = std::vector<uint8_t>;

MeterBus FastBus(const char* text) {
  metersim::MeterOptions fast;
  fast.pacing = false;
  return MeterBus(metersim::MakeBusMeters(*ParseBus(text), fast));
}

// Who answered: "3x:1" or "mb:5" for each reply, in order.
std::vector<std::string> Answers(const std::vector<metersim::ReplyPlan>& plans) {
  std::vector<std::string> who;
  for (const auto& p : plans)
    who.push_back(p.bytes[0] == 0xAA ? "3x:" + std::to_string(p.bytes[1])
                                     : "mb:" + std::to_string(p.bytes[0]));
  return who;
}

TEST(Bus, ParseBusTakesModelsAtAddressesAndRefusesSharedAddresses) {
  const auto bus = ParseBus("zfk31@1,gdz1207s-2@8,gdz1208@10");
  ASSERT_TRUE(bus);
  ASSERT_EQ(bus->size(), 3u);
  EXPECT_EQ((*bus)[1].model, metersim::MeterModel::Gdz1207s2);
  EXPECT_EQ((*bus)[2].address, 10);
  for (const char* bad :
       {"", "zfk31", "zfk31@", "zfk31@256", "zfk31@x", "zfk99@1", "zfk31@1,zfk36@1",
        "gdz1207s-2@7,zfk31@8", "gdz1207s-2@255", "zfk31@1,"}) {
    std::string error;
    EXPECT_FALSE(ParseBus(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(Bus, AScanOfBothProtocolsFindsExactlyTheMetersPresent) {
  MeterBus bus = FastBus(kScanBus);
  EXPECT_EQ(ScanBus([&](const Bytes& request) {
              Bytes out;
              for (const auto& plan : bus.Receive(request))
                out.insert(out.end(), plan.bytes.begin(), plan.bytes.end());
              return out;
            }),
            kScanFinds);
  // Every meter heard all 42 requests and took no reply of another for one.
  const size_t mine[] = {1, 1, 2, 1};
  for (size_t i = 0; i < bus.Meters().size(); ++i) {
    const auto log = bus.Meters()[i]->Requests();
    EXPECT_EQ(log.size(), 42u) << i;
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const auto& r) { return r.forMe; }), mine[i])
        << i;
  }
}

TEST(Bus, EachMeterPicksItsFramesOutOfTheOtherProtocolAndOfBrokenFrames) {
  // As the master writes them: whole, or byte by byte as the 3x engine does.
  const std::vector<Bytes> writes = {
      WithCrc({5, 3, 0x01, 0x3B, 0, 2}),          // ModBus read at 5
      Request3x(1, 0x0F, 0x01, {0x00, 0x7C, 4}),  // 3x read at 1
      {0x05, 0x03, 0x00, 0x00},                   // ModBus, cut short
      Request3x(17, 0, 0),                        // 3x identification at 17
      {0x55, 0x11, 0xEE, 0x0F, 0x01},             // 3x, cut short
      WithCrc({5, 17}),                           // ModBus identification at 5
      {0x55, 0x00, 0xFF, 0x03, 0xAA, 0x55, 0x01, 0x55, 0x01, 0xFE, 0x00},  // noise, then
      Request3x(1, 0, 1),                                                  // 3x version at 1
  };
  const std::vector<std::string> expect = {"mb:5", "3x:1", "3x:17", "mb:5", "3x:1"};
  for (bool byteByByte : {false, true}) {
    MeterBus bus = FastBus(kScanBus);
    std::vector<metersim::ReplyPlan> plans;
    for (const Bytes& w : writes)
      for (size_t at = 0; at < w.size(); at += byteByByte ? 1 : w.size())
        for (auto& p : bus.Receive(std::span(w).subspan(at, byteByByte ? 1 : w.size())))
          plans.push_back(std::move(p));
    EXPECT_EQ(Answers(plans), expect) << "byte by byte: " << byteByByte;
  }
}

}  // namespace
