// Present values move around the flow set for each channel, within the noise.
#include <gtest/gtest.h>

#include <bit>
#include <set>

#include "SimTestUtil.h"

namespace {

using metersim::MeterModel;
using namespace simtest;

// Four bytes from `at` of the reply's data, as a float or a whole number.
float Value(const std::vector<uint8_t>& d, size_t at, bool littleEndian, bool integer) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i)
    v = v << 8 | d[at + (littleEndian ? 3 - i : i)];
  return integer ? static_cast<float>(static_cast<int32_t>(v)) : std::bit_cast<float>(v);
}

TEST(PresentValues, EachModelsReadStaysInTheBandAroundTheFlowAndMoves) {
  struct Case {
    MeterModel model;
    uint8_t address;
    int channel;
    const char* request;
    size_t at;
    bool littleEndian, sfr;
  };
  const Case cases[] = {
      {MeterModel::Zfk31, 1, 2, "0C 00", 4, false, false},
      {MeterModel::Zfk36, 1, 1, "0C 01 00 00 04", 0, false, true},
      {MeterModel::Gdz1207s2, 2, 2, "0C 01 00 B4 04", 0, true, false},
      {MeterModel::Gdz1208x2, 1, 2, "01 03 00 6B 00 02", 0, false, true},
  };
  const float flows[2] = {12.5f, 7.0f};
  for (const Case& c : cases) {
    auto meter = Meter(c.model), twin = Meter(c.model), other = Meter(c.model);
    other->SetNoise(0.01f, 2);  // the same sequence for the same seed only
    for (const auto& m : {meter, twin, other}) {
      m->SetFlow(1, flows[0]);
      m->SetFlow(2, flows[1]);
    }
    const float flow = flows[c.channel - 1];
    std::set<float> seen;
    int differs = 0;
    for (int i = 0; i < 50; ++i) {
      const auto reply = Ask(*meter, Frame(c.model, c.address, c.request));
      EXPECT_EQ(reply, Ask(*twin, Frame(c.model, c.address, c.request)));
      differs += reply != Ask(*other, Frame(c.model, c.address, c.request));
      const auto data = Payload(reply, metersim::SpeaksModBus(c.model));
      const bool integer = c.sfr && metersim::SpeaksModBus(c.model);
      const float g = Value(data, c.at, c.littleEndian, integer) / (c.sfr ? 100.0f : 1.0f);
      EXPECT_NEAR(g, flow, flow * 0.01f + 0.006f) << c.request;  // SFR counts are whole
      seen.insert(g);
    }
    EXPECT_GT(seen.size(), 5u) << c.request;  // it moves
    EXPECT_GT(differs, 0) << c.request;
  }
}

}  // namespace

namespace {

// A true flow is shown through the meter's own stored K0, Ku, Gmax (the
// defaults of MeterDefaults) as its driver scales them, no noise:
//   ZFK-31 ch 2: K0 -104.8576, Ku 0.9875, Gmax 25, K0 shown as K0·Gmax/26214;
//     e(10) on 5:0,20:2 is 2·5/15 = 0.6667 %: 0.9875·10.066667 - 0.100002 = 9.840832
//   ZFK-36 ch 1: K0 0.0025, Ku 1.0042, Gmax 40: 10.042 + 0.1 = 10.142 (read as SFR/100)
//   GDZ-12.07S node 2: K0 -0.0022, Ku 0.992, Gmax 16; e = -1 % below the
//     curve's first point: 0.992·3.96 - 0.0352 = 3.89312
//   GDZ-12.08 ch 1: K0 671 (int16), Ku 1.5e-7 in units of 1.25·2^-23, Gmax 25:
//     10·1.00663296 + 671·1.4901161194e-7·25 = 10.068829
TEST(PresentValues, TrueFlowIsShownThroughTheStoredCoefficients) {
  const struct {
    MeterModel model;
    uint8_t address;
    int channel;
    const char* request;
    bool littleEndian, sfr;
    double q;
    std::vector<metersim::CurvePoint> curve;
    double g;
  } cases[] = {
      {MeterModel::Zfk31, 1, 2, "0C 00", false, false, 10, {{5, 0}, {20, 2}}, 9.840832},
      {MeterModel::Zfk36, 1, 1, "0C 01 00 00 04", false, true, 10, {}, 10.142},
      {MeterModel::Gdz1207s2, 2, 2, "0C 01 00 B4 04", true, false, 4, {{10, -1}, {20, 0}}, 3.89312},
      {MeterModel::Gdz1208, 1, 1, "01 03 00 00 00 02", false, false, 10, {}, 10.068829},
  };
  for (const auto& c : cases) {
    auto meter = Meter(c.model);
    meter->SetTrueFlow(c.channel, c.q);
    meter->SetErrorCurve(c.channel, c.curve);
    for (int i = 0; i < 2; ++i) {  // the same each time: no noise
      const auto data = Payload(Ask(*meter, Frame(c.model, c.address, c.request)),
                                metersim::SpeaksModBus(c.model));
      const size_t at = c.model == MeterModel::Zfk31 ? 4 : 0;
      const float g = Value(data, at, c.littleEndian, false) / (c.sfr ? 100.0f : 1.0f);
      EXPECT_NEAR(g, c.g, 2e-5 * c.g) << c.request;
    }
  }
}

}  // namespace
