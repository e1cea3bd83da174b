// The frame of every read: what happens in which order, the port opened and
// closed around it, the time-out rows applied after the open, and the early
// end when the port cannot be opened.
#include <gtest/gtest.h>

#include "ReadTestUtil.h"

namespace {

using namespace readtest;
using metersim::MeterModel;  // the virtual meters' models, not the core's

TEST(ReadSteps, OneReadInOrder) {
  auto meter = MakeMeter(MeterModel::Zfk31, 7);
  ReadBench bench(meter);
  OrderView view(bench.read);
  bench.Run(view, 7);
  EXPECT_EQ(
      view.events,
      (std::vector<std::string>{
          // Every driver has the address before the window repaints,
          // the firmware controls are hidden before that one repaint,
          // and the button goes off before the port opens.
          "versions:hidden|closed", "messages addr=7,7,7,7|closed", "button:off|closed",
          // ShowVerInfo, then the serial number, then the fields.
          "versions:shown|open", "EVer=|open", "ECRC=|open", "EVer=v1.00|open",
          "ECRC=00000000|open", "caption:ЗФК-31|open", "ELicNo=310245|open", "Ek00= 0.10000|open",
          "Ek10= 1.01250|open", "Ek01=-0.10000|open", "Ek11= 0.98750|open",
          // The record is shown after the port is closed.
          "EClbLic=1234, v.1.05|closed", "EClbDate=16.07.22 10:30:00|closed", "button:on|closed"}));
  EXPECT_EQ(view.messagePasses, 1);
}

TEST(ReadSteps, APortThatWillNotOpenEndsTheReadAndChangesNoField) {
  auto meter = MakeMeter(MeterModel::Zfk36);
  ReadBench bench(meter);
  OrderView view(bench.read);
  bench.Run(view);  // a good read fills the fields
  const auto before = view.fields;
  const std::string caption = view.caption;
  view.events.clear();

  bench.port.device = "/nonexistent/calibrate-tty";
  const MeterReading outcome = bench.Run(view);
  EXPECT_EQ(outcome.result, ReadResult::PortError);
  EXPECT_EQ(outcome.path, ReadPath::None);
  EXPECT_EQ(view.events,
            (std::vector<std::string>{
                "versions:hidden|closed", "messages addr=0,0,0,0|closed", "button:off|closed",
                "error:Не удалось открыть порт COM41|closed", "button:on|closed"}));
  EXPECT_EQ(view.fields, before);
  EXPECT_EQ(view.caption, caption);
  EXPECT_FALSE(view.versionVisible);
}

TEST(ReadSteps, NoPortChosenOpensNothingAndNamesNothing) {
  ReadBench bench(MakeMeter(MeterModel::Zfk31));
  // The port list has no selection.
  bench.port.device = "";
  bench.port.name = "";
  const MeterReading outcome = bench.Run();
  EXPECT_EQ(outcome.result, ReadResult::PortError);
  ASSERT_NE(bench.read.LastConnection(), nullptr);
  EXPECT_EQ(bench.read.LastConnection()->Port().Device(), "");
  EXPECT_EQ(bench.OpenDevices(), 0);
  EXPECT_TRUE(bench.Meter().Requests().empty());
  EXPECT_EQ(bench.view.errors, (std::vector<std::string>{"Не удалось открыть порт "}));
}

TEST(ReadSteps, DeviceAndSpeedReachThePort) {
  ReadBench bench(MakeMeter(MeterModel::Zfk31));
  for (const unsigned baud : {9600u, 19200u}) {
    bench.port.baud = baud;
    bench.Run();
    EXPECT_EQ(bench.read.LastConnection()->Port().BaudRate(), baud);
    EXPECT_EQ(bench.read.LastConnection()->Port().Device(), kDevice);
  }
}

TEST(ReadSteps, TimeOutRowsReachTheZfkDriversOnlyAfterTheOpen) {
  ReadBench bench(MakeMeter(MeterModel::Zfk31));
  TDelays& delays = bench.read.GetCatalogue().delays;
  delays[1] = {200, 500, 2};
  delays[7] = {150, 400, 3};
  delays[5] = {10, 10, 1};  // rows other than 1 and 7 reach nobody

  bench.port.device = "/nonexistent/calibrate-tty";
  bench.Run();
  // The design-time values still hold after a failed open.
  const auto last = [&]() -> const Connection& { return *bench.read.LastConnection(); };
  EXPECT_EQ(last().Zfk31().ByteTimeout(), 100u);
  EXPECT_EQ(last().Zfk31().PacketTimeout(), 300u);
  EXPECT_EQ(last().Zfk36().ByteTimeout(), 100u);

  bench.Use(MakeMeter(MeterModel::Zfk31));
  bench.Run();
  EXPECT_EQ(last().Zfk31().ByteTimeout(), 200u);
  EXPECT_EQ(last().Zfk31().PacketTimeout(), 500u);
  EXPECT_EQ(last().Zfk31().RepeatCount(), 2);
  EXPECT_EQ(last().Zfk36().ByteTimeout(), 150u);
  EXPECT_EQ(last().Zfk36().PacketTimeout(), 400u);
  EXPECT_EQ(last().Zfk36().RepeatCount(), 3);
  EXPECT_EQ(last().Gdz1207s().ByteTimeout(), 40u);
  EXPECT_EQ(last().Gdz1207s().PacketTimeout(), 300u);
  EXPECT_EQ(last().Gdz1208().ByteTimeout(), 40u);
  EXPECT_EQ(last().Gdz1208().PacketTimeout(), 300u);
  EXPECT_EQ(last().Gdz1208().RepeatCount(), 3);

  // Values the dialog allows but the protocol refuses leave the old ones; a
  // count of 256 or more arrives as its low byte.
  delays[1] = {3000, 10000, 261};
  delays[7] = {-10, 0, 25};
  bench.Run();
  EXPECT_EQ(last().Zfk31().ByteTimeout(), 200u);
  EXPECT_EQ(last().Zfk31().PacketTimeout(), 500u);
  EXPECT_EQ(last().Zfk31().RepeatCount(), 5);
  EXPECT_EQ(last().Zfk36().ByteTimeout(), 150u);
  EXPECT_EQ(last().Zfk36().PacketTimeout(), 400u);
  EXPECT_EQ(last().Zfk36().RepeatCount(), 3);
}

TEST(ReadSteps, TheRowOneRepeatCountGovernsTheIdentification) {
  // A meter that never answers the 3x identification is asked NR times
  // (row 1), then three times over ModBus (the GDZ-12.08's own count).
  auto meter = MakeMeter(MeterModel::Zfk31);
  meter->AddFault(*metersim::ParseFault("silence:kind=id"));
  ReadBench bench(meter);
  bench.read.GetCatalogue().delays[1] = {120, 350, 4};
  bench.Run();
  size_t threeX = 0, modbus = 0;
  for (const auto& r : meter->Requests())
    (r.protocol == metersim::Protocol::ThreeX ? threeX : modbus) += r.kind == RequestKind::Identify;
  EXPECT_EQ(threeX, 4u);
  EXPECT_EQ(modbus, 3u);
}

TEST(ReadSteps, AnAddressAboveTheRangeLeavesTheDriversWhereTheyWere) {
  ReadBench bench(MakeMeter(MeterModel::Zfk31, 12));
  bench.Run(12);
  bench.Run(128);
  EXPECT_EQ(bench.read.LastConnection()->Zfk31().NetAddr(), 12);
  EXPECT_EQ(bench.read.LastConnection()->Gdz1208().NetAddr(), 12);
}

}  // namespace
