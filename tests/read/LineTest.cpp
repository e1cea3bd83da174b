// The echo of a two-wire adapter and the diagnosis of a line without a meter,
// against virtual meters on virtual time.
#include <gtest/gtest.h>

#include "ReadTestUtil.h"
#include "app/core/line/LineDiagnosis.h"
#include "comm/LumClock.h"
#include "sim/MeterDevice.h"

namespace {

using namespace readtest;
using metersim::FaultKind;
using metersim::MeterModel;  // the virtual meters' models, not the core's

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every model through a line that echoes, at both speeds; and with the
// suppression on, through a line that does not (an adapter that swallows its
// own echo): the first bytes are then the reply and must still be taken.
struct EchoCase {
  MeterModel model;
  bool echoOnLine;
};

class EchoRead : public ::testing::TestWithParam<std::tuple<EchoCase, int>> {};

// Reads a meter of the model; the echo fault and suppression as given.
RecordingView ReadThrough(MeterModel model, int baudIndex, bool echoOnLine, bool suppress,
                          MeterReading& r) {
  metersim::MeterOptions options;
  options.pacing = false;
  options.baud = baudIndex == 0 ? 9600 : 19200;
  auto meter = std::make_shared<VirtualMeter>(model, 3, options);
  if (echoOnLine) meter->AddFault(metersim::MakeFault(FaultKind::Echo));
  ReadBench bench(meter);
  bench.port.echo = suppress;
  bench.port.baud = options.baud;
  r = bench.Run(3);
  return bench.view;
}

TEST_P(EchoRead, SuppressionReadsWhatAPlainLineReads) {
  const auto [c, baudIndex] = GetParam();
  MeterReading plain, echoed;
  const RecordingView expected = ReadThrough(c.model, baudIndex, false, false, plain);
  const RecordingView seen = ReadThrough(c.model, baudIndex, c.echoOnLine, true, echoed);
  ASSERT_EQ(echoed.result, ReadResult::Ok) << (seen.errors.empty() ? "" : seen.errors[0]);
  EXPECT_TRUE(seen.errors.empty());
  EXPECT_EQ(echoed.serialState, ValueState::Read);
  EXPECT_FALSE(echoed.AnyCoefficientFailed());
  EXPECT_EQ(seen.fields, expected.fields);
  EXPECT_EQ(seen.caption, expected.caption);
}

const EchoCase kEchoCases[] = {
    {MeterModel::Zfk31, true},     {MeterModel::Zfk36, true},      {MeterModel::Gdz1207s, true},
    {MeterModel::Gdz1207s2, true}, {MeterModel::Gdz1208, true},    {MeterModel::Gdz1208x2, true},
    {MeterModel::Zfk31, false},    {MeterModel::Gdz1208x2, false},
};
INSTANTIATE_TEST_SUITE_P(Models, EchoRead,
                         ::testing::Combine(::testing::ValuesIn(kEchoCases),
                                            ::testing::Values(0, 1)),
                         [](const auto& info) {
                           const EchoCase& c = std::get<0>(info.param);
                           std::string name = metersim::MeterModelName(c.model);
                           std::erase(name, '-');
                           return name + (c.echoOnLine ? "_Echo_" : "_NoEcho_") +
                                  (std::get<1>(info.param) == 0 ? "9600" : "19200");
                         });

// Without the suppression a ModBus meter behind an echoing line is not found,
// and the read says why.
TEST(EchoRead, WithoutSuppressionTheReadNamesTheEcho) {
  auto meter = MakeMeter(MeterModel::Gdz1208);
  meter->AddFault(metersim::MakeFault(FaultKind::Echo));
  ReadBench bench(meter);
  const MeterReading r = bench.Run();
  ASSERT_EQ(r.result, ReadResult::NotFound);
  ASSERT_EQ(bench.view.details.size(), 1u);
  EXPECT_TRUE(Has(bench.view.details[0], "эхо")) << bench.view.details[0];
  EXPECT_EQ(bench.view.details[0], r.lineDiagnosis);
}

// A device that hears nothing and says nothing: the line at a speed the
// meter does not use (it cannot make out the requests).
class DeafDevice final : public SerialDevice {
 public:
  void Purge() override {}
  bool Write(std::span<const uint8_t>) override { return true; }
  bool ReadByte(uint8_t&) override { return false; }
  bool WaitForInput(uint32_t ms) override {
    lum::SleepMs(static_cast<int32_t>(ms));
    return false;
  }
};

// What the probe of a line finds, with each cause made by a virtual meter.
struct DiagnoseCase {
  const char* name;
  MeterModel model;
  uint8_t meterAddress;
  std::optional<FaultKind> fault;
  unsigned meterBaud;  // 0: any speed
  LineCause expected;  // of the probes at 9600
  const char* says;
};
const DiagnoseCase kDiagnoseCases[] = {
    {"Echo", MeterModel::Gdz1208, 0, FaultKind::Echo, 0, LineCause::Echo, "эхо"},
    {"EchoBeforeA3xReply", MeterModel::Zfk31, 0, FaultKind::Echo, 0, LineCause::Answered, "эхо"},
    {"Garbage", MeterModel::Zfk36, 0, FaultKind::Garbage, 0, LineCause::NoFrame,
     "не складываются в ответ"},
    {"OtherAddress", MeterModel::Zfk31, 9, std::nullopt, 0, LineCause::Silence,
     "Пробовали скорости 9600, 19200 бод, адреса 0"},
    {"OtherSpeed", MeterModel::Gdz1207s, 0, std::nullopt, 19200, LineCause::Silence,
     "19200 бод, адрес 0): GDZ"},
    {"Answers", MeterModel::Gdz1208, 0, std::nullopt, 0, LineCause::Answered, "ModBus, 9600"},
};

class Diagnose : public ::testing::TestWithParam<DiagnoseCase> {};

TEST_P(Diagnose, NamesTheCause) {
  const DiagnoseCase& c = GetParam();
  ScopedVirtualTime time;
  auto meter = MakeMeter(c.model, c.meterAddress);
  if (c.fault) meter->AddFault(metersim::MakeFault(*c.fault));
  const auto real = metersim::MeterDeviceFactory(meter);
  LineDiagnosis d;
  {
    ScopedSerialDevice device(kDevice, [&](uint32_t baud) -> std::unique_ptr<SerialDevice> {
      if (c.meterBaud != 0 && baud != c.meterBaud) return std::make_unique<DeafDevice>();
      return real(baud);
    });
    TlumComPort port;
    port.SetDevice(kDevice);
    d = DiagnoseLine(port, {});
    EXPECT_FALSE(port.Active());
  }

  ASSERT_TRUE(d.portOpened);
  ASSERT_EQ(d.probes.size(), 4u);  // 3x and ModBus at 9600 and 19200
  const bool any = std::any_of(d.probes.begin(), d.probes.end(), [&](const LineProbe& p) {
    return p.baud == 9600 && p.cause == c.expected;
  });
  EXPECT_TRUE(any);
  EXPECT_TRUE(Has(d.text, c.says)) << d.text;
  for (const auto& r : meter->Requests())
    EXPECT_FALSE(r.writes);
}

INSTANTIATE_TEST_SUITE_P(Causes, Diagnose, ::testing::ValuesIn(kDiagnoseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The explanation of a port that does not open, for each reason the system
// gives.
TEST(ExplainOpenFailure, SaysWhatToDo) {
#ifdef _WIN32
  // Windows has no device groups or modes: the user with the right is named.
  const std::vector<const char*> joinGroup = {"от имени пользователя"}, setMode = joinGroup;
#else
  const std::vector<const char*> joinGroup = {"группу dialout"};
  const std::vector<const char*> setMode = {"sudo chmod 660 /dev/ttyS9", "MODE=\"0660\"",
                                            "/etc/udev/rules.d/"};
#endif
  const std::vector<SerialDeviceInfo> ports = {
      {"/dev/ttyUSB0", "0403:6001 FTDI FT232R USB UART", {}, ""}};
  const struct {
    PortOpenError error;
    std::vector<std::string> holders;
    std::vector<const char*> says;
  } cases[] = {
      {{PortOpenFailure::NotFound, "No such file or directory", ""},
       {},
       {"Порта /dev/ttyS9 нет в системе.\nСистема: No such file", "/dev/ttyUSB0 (0403:6001 FTDI"}},
      {{PortOpenFailure::PermissionDenied, "Permission denied", "dialout"}, {}, joinGroup},
      // A mode that lets no group in: the mode and a udev rule, no group to join.
      {{PortOpenFailure::PermissionDenied, "Permission denied", ""}, {}, setMode},
      {{PortOpenFailure::PermissionDenied, "Permission denied", ""},
       {},
       {"Нет прав на порт /dev/ttyS9.\nСистема: Permission denied\n"}},
      {{PortOpenFailure::Busy, "Device or resource busy", ""},
       {"4242 minicom"},
       {"Порт /dev/ttyS9 занят другой программой.\nСистема: Device", "процесс 4242 minicom"}},
      {{PortOpenFailure::Other, "Inappropriate ioctl", ""},
       {},
       {"Порт /dev/ttyS9 не открылся.\nСистема: Inappropriate", "последовательный порт"}},
  };
  for (const auto& c : cases) {
    const std::string text = ExplainOpenFailure(c.error, "/dev/ttyS9", ports, c.holders);
    for (const char* part : c.says)
      EXPECT_TRUE(Has(text, part)) << text;
  }
}

// A meter that answers with an identification no read path knows is named,
// in either protocol, and not taken for a silent line.
TEST(UnsupportedMeter, IsNamedByWhatItAnswered) {
  const struct {
    MeterModel speaks;
    const char* id;
  } cases[] = {
      {MeterModel::Zfk31, "ZFK-30"},
      {MeterModel::Zfk36, "ZFK31-1"},
      {MeterModel::Gdz1207s, "KERVA-36"},
      {MeterModel::Gdz1208, "GDZ1203-C"},
  };
  for (const auto& c : cases) {
    auto meter = MakeMeter(c.speaks);
    meter->SetIdText(c.id);
    ReadBench bench(meter);
    const MeterReading r = bench.Run();
    EXPECT_EQ(r.result, ReadResult::NotFound) << c.id;
    EXPECT_EQ(r.lineDiagnosis, std::string("Прибор ответил: ") + c.id +
                                   " — чтение этой модели не поддерживается.\n");
  }
}

}  // namespace
