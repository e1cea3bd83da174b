// The read over a real pseudo-terminal, on real time: the termios layer, the
// port opened by its path and closed again, the meter pacing its replies.
#include <gtest/gtest.h>

#include <chrono>

#include "ReadTestUtil.h"
#include "sim/PtyMeterServer.h"

namespace {

using namespace readtest;
using metersim::MeterModel;  // the virtual meters' models, not the core's

class PtyRead : public ::testing::TestWithParam<MeterModel> {};

TEST_P(PtyRead, ReadsTheMeterAndLetsThePortGo) {
  metersim::MeterOptions options;
  options.baud = 19200;
  auto meter = std::make_shared<VirtualMeter>(GetParam(), 3, options);
  metersim::PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start()) << server.ErrorText();

  TMeterRead read;
  // The ModBus meter does not answer the 3x identification: keep that wait short.
  if (metersim::SpeaksModBus(GetParam())) read.GetCatalogue().delays[1] = {50, 100, 1};
  RecordingView view;
  const PortSpec port{server.DevicePath(), kPortName, 19200, 3, false};
  const auto start = std::chrono::steady_clock::now();
  const MeterReading outcome = read.BRefreshClick(view, port);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_NE(read.LastConnection(), nullptr);
  EXPECT_EQ(read.LastConnection()->Port().DeviceName(), server.DevicePath());

  EXPECT_EQ(outcome.result, ReadResult::Ok);
  EXPECT_TRUE(view.errors.empty());
  for (ReadField f : {ReadField::Ek00, ReadField::Ek10, ReadField::Ek01, ReadField::Ek11}) {
    ASSERT_TRUE(view.Field(f).has_value());
    EXPECT_NE(*view.Field(f), "ERR");
  }
  EXPECT_EQ(view.Field(ReadField::EClbLic), "1234, v.1.05");
  EXPECT_FALSE(PortOpen(read));
  EXPECT_LT(took, std::chrono::seconds(2));
}

INSTANTIATE_TEST_SUITE_P(Models, PtyRead,
                         ::testing::Values(MeterModel::Zfk31, MeterModel::Gdz1208x2),
                         [](const auto& info) {
                           return std::string(info.param == MeterModel::Zfk31 ? "Zfk31"
                                                                              : "Gdz1208x2");
                         });

}  // namespace
