// Present values move around the flow set for each channel, within the noise.
#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <set>

#include "SimTestUtil.h"

namespace {

using metersim::MeterModel;
using namespace simtest;
using Bytes = std::vector<uint8_t>;

float BigEndianFloat(const Bytes& b, size_t at) {
  return std::bit_cast<float>(
      static_cast<uint32_t>(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]));
}

TEST(PresentValues, EachModelsReadStaysInTheBandAroundTheFlowAndMoves) {
  struct Case {
    const char* what;
    MeterModel model;
    int channel;
    Bytes request;
    std::function<float(const Bytes&)> value;  // G from the reply
  };
  auto data3x = [](size_t at) {
    return [at](const Bytes& r) { return BigEndianFloat(Data3x(r), at); };
  };
  const Case cases[] = {
      {"zfk31 present 1", MeterModel::Zfk31, 1, Request3x(1, 0x0C, 0x00), data3x(0)},
      {"zfk31 present 2", MeterModel::Zfk31, 2, Request3x(1, 0x0C, 0x00), data3x(4)},
      {"zfk36 G 2", MeterModel::Zfk36, 2, Request3x(1, 0x0C, 0x01, {0, 164, 4}), data3x(0)},
      {"zfk36 SFR 1", MeterModel::Zfk36, 1, Request3x(1, 0x0C, 0x01, {0, 0, 4}),
       [](const Bytes& r) { return BigEndianFloat(Data3x(r), 0) / metersim::kSfrPerFlow; }},
      {"gdz1207s-2 G node 2", MeterModel::Gdz1207s2, 2, Request3x(2, 0x0C, 0x01, {0, 180, 4}),
       [](const Bytes& r) {
         const Bytes d = Data3x(r);
         return BigEndianFloat({d[3], d[2], d[1], d[0]}, 0);
       }},
      {"gdz1208 G 1", MeterModel::Gdz1208, 1, WithCrc({1, 3, 0, 0, 0, 2}),
       [](const Bytes& r) { return BigEndianFloat(r, 3); }},
      {"gdz1208-2 SFR 2", MeterModel::Gdz1208x2, 2, WithCrc({1, 3, 0, 107, 0, 2}),
       [](const Bytes& r) {
         return static_cast<float>(
                    static_cast<int32_t>(r[3] << 24 | r[4] << 16 | r[5] << 8 | r[6])) /
                metersim::kSfrPerFlow;
       }},
  };
  const float flows[2] = {12.5f, 7.0f};
  for (const Case& c : cases) {
    auto meter = Meter(c.model, 1);
    meter->SetFlow(1, flows[0]);
    meter->SetFlow(2, flows[1]);
    const float flow = flows[c.channel - 1];
    std::set<float> seen;
    for (int i = 0; i < 50; ++i) {
      const float g = c.value(Ask(*meter, c.request));
      EXPECT_NEAR(g, flow, flow * 0.01f + 0.011f) << c.what;  // SFR counts are whole
      seen.insert(g);
    }
    EXPECT_GT(seen.size(), 5u) << c.what;  // it moves
  }
}

TEST(PresentValues, TheNoiseFollowsItsSeedAndNoFlowKeepsTheStoredValue) {
  auto sequence = [](uint64_t seed, bool flow) {
    auto meter = Meter(MeterModel::Gdz1208);
    meter->SetNoise(0.05f, seed);
    if (flow) meter->SetFlow(1, 20.0f);
    std::vector<uint8_t> all;
    for (int i = 0; i < 5; ++i) {
      const auto reply = Ask(*meter, WithCrc({1, 3, 0, 0, 0, 2}));
      all.insert(all.end(), reply.begin(), reply.end());
    }
    return all;
  };
  EXPECT_EQ(sequence(7, true), sequence(7, true));
  EXPECT_NE(sequence(7, true), sequence(8, true));
  const Bytes still = sequence(7, false);
  EXPECT_EQ(BigEndianFloat(still, 3), 6.5f);  // the model's own value, every time
  EXPECT_EQ(Bytes(still.begin(), still.begin() + 9), Bytes(still.end() - 9, still.end()));
}

}  // namespace
