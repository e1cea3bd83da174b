// Every fault the virtual meters can commit, aimed at the identification, at
// one coefficient and at the calibration record of every model's read, on
// virtual time through in-process meters that keep the line's real pace
// (9600 baud, 5 ms turnaround). Each faulted read must end within its bound,
// show what the window would show, close the port and write nothing; the next
// read without the fault must show what a clean read shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "MatrixDoc.h"
#include "ReadRig.h"
#include "sim/MeterDevice.h"
#include "support/ScriptedLine.h"
#include "support/VirtualTime.h"

namespace {

using metersim::FaultKind;
using metersim::MeterModel;
using namespace rel;

// The in-process meter's device, and the port name the messages give.
constexpr const char* kDevice = "reliability-meter";
constexpr const char* kPortName = "COM21";

// Writes the generated part of docs/RELIABILITY.md when the program ends, if
// asked to and every matrix test ran.
class DocumentWriter : public ::testing::Environment {
 public:
  void TearDown() override {
    const auto path = DocumentToWrite();
    if (!path) return;
    const MatrixResults& results = Results();
    if (results.models.size() != Models().size()) {
      std::fprintf(stderr, "not every model's matrix ran; %s left as it was\n", path->c_str());
      return;
    }
    if (!WriteGeneratedPart(*path, GeneratedPart(results)))
      std::fprintf(stderr, "cannot write %s\n", path->c_str());
    else
      std::fprintf(stderr, "fault matrix written to %s\n", path->c_str());
  }
};
const auto* const kWriter = ::testing::AddGlobalTestEnvironment(new DocumentWriter);

std::shared_ptr<metersim::VirtualMeter> PacedMeter(MeterModel model) {
  metersim::MeterOptions options;  // 9600 baud, 5 ms turnaround, paced
  return std::make_shared<metersim::VirtualMeter>(model, kMeterAddress, options);
}

void NoteEngines(const Connection& read) {
  auto& engines = Results().engines;
  engines = {
      {"ZFK-31, time-out row 1 (also every 3x identification)", Limits3x(read.Zfk31())},
      {"ZFK-36, time-out row 7", Limits3x(read.Zfk36())},
      {"GDZ-12.07S (3x)", Limits3x(read.Gdz1207s())},
      {"GDZ-12.08 register read (ModBus)", LimitsModBus(read.Gdz1208(), false)},
      {"GDZ-12.08 identification (ModBus)", LimitsModBus(read.Gdz1208(), true)},
  };
}

class FaultMatrix : public ::testing::TestWithParam<MeterModel> {
 protected:
  ScopedVirtualTime time;
  ScopedSerialDevice device{kDevice, {}};
};

TEST_P(FaultMatrix, EachFaultEndsInTimeShowsItsOutcomeAndTheNextReadWorks) {
  const ModelCase& model = ModelOf(GetParam());
  const std::string name = metersim::MeterModelName(model.model);
  auto meter = PacedMeter(model.model);
  device.Use(metersim::MeterDeviceFactory(meter));
  const double byteMs = metersim::ByteTimeUs(meter->Options().baud) / 1000.0;

  TMeterRead reference;
  const ReadRun clean = RunRead(reference, kDevice, kPortName);
  ASSERT_EQ(clean.outcome.result, ReadResult::Ok);
  ASSERT_TRUE(clean.view.errors.empty());
  for (const auto& field : clean.view.fields)
    ASSERT_NE(field.value_or(""), "ERR");
  const auto cleanLog = meter->Requests();
  ASSERT_EQ(CountWrites(cleanLog), 0u);
  NoteEngines(*reference.LastConnection());

  ModelResults results;
  results.cleanMs = clean.ms;
  results.operations = static_cast<size_t>(
      std::count_if(cleanLog.begin(), cleanLog.end(), [](const auto& r) { return r.forMe; }));
  results.anyReadBoundMs =
      AnyReadBoundMs(*reference.LastConnection(), model, results.operations - 1, byteMs);

  for (const Target target : {Target::Identification, Target::Coefficient, Target::Record}) {
    const auto aim = AimOf(model, target);
    if (!aim) continue;
    // The aim must hit the request meant and only that one (the GDZ-12.07S
    // asks for its identification a second time for its serial number).
    const size_t aimed = CountAimed(cleanLog, *aim);
    if (target == Target::Identification)
      ASSERT_GE(aimed, 1u);
    else
      ASSERT_EQ(aimed, 1u) << TargetName(target);
    const size_t fromTarget = OperationsFrom(cleanLog, *aim);

    for (const FaultKind kind : FaultsFor(model)) {
      if (!FaultMeansSomething(kind, target)) continue;
      CellResult cell{target, kind, {}, 0, 0, {}, 0};
      for (const uint32_t times : {0u, 1u}) {
        SCOPED_TRACE(name + ", " + TargetName(target) + ", " + metersim::FaultKindName(kind) +
                     (times ? " once" : " on every attempt"));
        TMeterRead read;
        meter->ClearFaults();
        meter->ClearRequests();
        meter->AddFault(AimedFault(kind, *aim, times));
        const ReadRun run = RunRead(read, kDevice, kPortName);

        EXPECT_EQ(Check(Expect(model, target, kind, times), run, clean), "");
        const double bound =
            FaultBoundMs(*read.LastConnection(), model, target, kind, clean.ms, fromTarget, byteMs);
        EXPECT_LE(static_cast<double>(run.ms), bound);
        EXPECT_LE(static_cast<double>(run.ms), results.anyReadBoundMs);
        EXPECT_EQ(CountWrites(meter->Requests()), 0u);
        if (times == 0) {
          cell.outcome = Describe(run, clean);
          cell.ms = run.ms;
          cell.boundMs = bound;
        } else {
          cell.onceOutcome = Describe(run, clean);
          cell.onceMs = run.ms;
        }

        meter->ClearFaults();
        const ReadRun next = RunRead(read, kDevice, kPortName);
        EXPECT_TRUE(SameScreen(next.view, clean.view)) << Describe(next, clean);
        EXPECT_FALSE(next.portOpenAfter);
      }
      results.cells.push_back(cell);
    }
  }
  Results().models[name] = results;
  Results().byteMs = byteMs;

  if (!DocumentToWrite()) {
    const std::string documented = SectionInFile(RELIABILITY_DOC, name);
    ASSERT_FALSE(documented.empty())
        << RELIABILITY_DOC << " has no section for " << name << "; run scripts/reliability";
    EXPECT_EQ(CompareSections(documented, ModelSection(name, results)), "")
        << RELIABILITY_DOC << " is out of date; run scripts/reliability";
  }
}

INSTANTIATE_TEST_SUITE_P(Models, FaultMatrix,
                         ::testing::Values(MeterModel::Zfk31, MeterModel::Zfk36,
                                           MeterModel::Gdz1207s, MeterModel::Gdz1207s2,
                                           MeterModel::Gdz1208, MeterModel::Gdz1208x2),
                         [](const auto& info) {
                           std::string n = metersim::MeterModelName(info.param);
                           std::erase(n, '-');
                           return n;
                         });

// The window only reads: over a whole read of every model, clean and under
// every fault above, the meter hears no request that would change it. Here the
// check goes down to the frames themselves, apart from the meter's own
// bookkeeping: every 3x request is an identification or a read of memory,
// every ModBus request a register read or the identification.
TEST(ReadOnly, AFullReadOfEveryModelSendsNoWritingRequest) {
  ScopedVirtualTime time;
  ScopedSerialDevice device{kDevice, {}};
  using metersim::RequestKind;
  for (const ModelCase& model : Models()) {
    SCOPED_TRACE(metersim::MeterModelName(model.model));
    auto meter = PacedMeter(model.model);
    device.Use(metersim::MeterDeviceFactory(meter));
    TMeterRead read;
    ASSERT_EQ(RunRead(read, kDevice, kPortName).outcome.result, ReadResult::Ok);
    const auto log = meter->Requests();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(CountWrites(log), 0u);
    for (const auto& r : log) {
      EXPECT_TRUE(r.kind == RequestKind::Identify || r.kind == RequestKind::ReadRtc2k ||
                  r.kind == RequestKind::ReadRegisters)
          << metersim::RequestKindName(r.kind);
      if (r.protocol == metersim::Protocol::ThreeX)
        EXPECT_EQ(r.command & 0x80, 0) << "a 3x write command";  // writes set the high bit
      else
        EXPECT_TRUE(r.function == 3 || r.function == 17) << int{r.function};
    }
  }
}

// Memory a meter should not hold but may: the largest floats in Gmax and K0.
// Their product has 73 digits before the point; the field shows all of them,
// not the first sixty-odd, which would read as a much smaller number.
TEST(OddValues, TheLargestCoefficientsShowWhole) {
  ScopedVirtualTime time;
  ScopedSerialDevice device{kDevice, {}};
  auto meter = PacedMeter(MeterModel::Zfk31);
  const uint8_t largest[] = {0x7F, 0x7F, 0xFF, 0xFF};        // 3.4028235e38, most significant first
  meter->Write(metersim::MemoryArea::Rtc2k, 204, largest);   // Gmax of channel 1
  meter->Write(metersim::MemoryArea::Rtc2k, 1792, largest);  // K0 of channel 1
  device.Use(metersim::MeterDeviceFactory(meter));
  TMeterRead read;
  const ReadRun run = RunRead(read, kDevice, kPortName);
  const std::string shown = run.view.Field(ReadField::Ek00).value_or("");
  const double expected =
      double{std::numeric_limits<float>::max()} * std::numeric_limits<float>::max() / 26214;
  ASSERT_GT(shown.size(), 73u) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 6), ".00000");
  EXPECT_NEAR(std::strtod(shown.c_str(), nullptr) / expected, 1.0, 1e-12) << shown;
}

}  // namespace
