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

MeterBus FastBus() {
  metersim::MeterOptions fast;
  fast.pacing = false;
  return MeterBus(metersim::MakeBusMeters(*ParseBus(kScanBus), fast));
}

TEST(Bus, ParseBusRefusesNonsenseAndSharedAddresses) {
  ASSERT_EQ(ParseBus(kScanBus)->size(), 4u);
  for (const char* bad :
       {"", "zfk31", "zfk31@256", "zfk99@1", "zfk31@1,zfk36@1", "gdz1207s-2@7,zfk31@8", "zfk31@1,"})
    EXPECT_FALSE(ParseBus(bad)) << bad;
}

TEST(Bus, AScanOfBothProtocolsFindsExactlyTheMetersPresent) {
  MeterBus bus = FastBus();
  EXPECT_EQ(ScanBus([&](const Bytes& request) {
              Bytes out;
              for (const auto& plan : bus.Receive(request))
                out.insert(out.end(), plan.bytes.begin(), plan.bytes.end());
              return out;
            }),
            kScanFinds);
  const size_t mine[] = {1, 1, 2, 1};  // requests for itself
  for (size_t i = 0; i < bus.Meters().size(); ++i) {
    const auto log = bus.Meters()[i]->Requests();
    EXPECT_EQ(log.size(), 42u) << i;
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](auto& r) { return r.forMe; }), mine[i]);
  }
}

TEST(Bus, EachMeterPicksItsFramesOutOfTheOtherProtocolAndOfBrokenFrames) {
  // As the master writes them, whole or byte by byte (as the 3x engine does): a ModBus read
  // at 5, a 3x read at 1, a cut ModBus request, a 3x identification at 17, a cut 3x request,
  // a ModBus identification at 5, noise with false 3x starts, a 3x version request at 1.
  const char* writes[] = {"05 03 01 3B 00 02 B5 BE",
                          "55 01 FE 0F 01 03 00 7C 04 18",
                          "05 03 00 00",
                          "55 11 EE 00 00 00 AB",
                          "55 11 EE 0F 01",
                          "05 11 C2 EC",
                          "55 00 FF 03 AA 55 01 55 01 FE 00",
                          "55 01 FE 00 01 00 AA"};
  for (bool byteByByte : {false, true}) {
    MeterBus bus = FastBus();
    std::string who;
    for (const char* hex : writes) {
      const Bytes w = Hex(hex);
      const size_t step = byteByByte ? 1 : w.size();
      for (size_t at = 0; at < w.size(); at += step)
        for (const auto& p : bus.Receive(std::span(w).subspan(at, step)))
          who += std::string(p.bytes[0] == 0xAA ? "3x:" : "mb:") +
                 std::to_string(p.bytes[p.bytes[0] == 0xAA ? 1 : 0]) + " ";
    }
    EXPECT_EQ(who, "mb:5 3x:1 3x:17 mb:5 3x:1 ") << "byte by byte: " << byteByByte;
  }
}

}  // namespace
