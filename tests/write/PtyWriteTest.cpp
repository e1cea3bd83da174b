// The guarded write against virtual meters of every model over real
// pseudo-terminals: dry runs send nothing, confirmed writes verify, a restore
// brings back the before-image byte for byte, and write faults are reported
// as what they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/core/ops/GuardedWrite.h"
#include "sim/PtyMeterServer.h"

namespace {

using metersim::Fault;
using metersim::FaultKind;
using metersim::MeterModel;
using metersim::VirtualMeter;

constexpr uint8_t kAddr = 3;

class TestView : public WriteView {
 public:
  std::optional<std::string> expected;
  bool yes = false;
  std::string serial;
  std::vector<DiffRow> rows;
  void ShowDifference(const std::vector<DiffRow>& r) override { rows = r; }
  Answer Confirm(const std::string& s) override {
    serial = s;
    return SerialConfirmation(expected, yes, s);
  }
  void ShowMessage(const std::string&) override {}
};

struct Rig {
  explicit Rig(MeterModel model) : meter(std::make_shared<VirtualMeter>(model, kAddr, Line())) {
    started = server.Start();
    dir = std::filesystem::temp_directory_path() / ("pty-write-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
  }
  ~Rig() { std::filesystem::remove_all(dir); }
  static metersim::MeterOptions Line() {
    metersim::MeterOptions o;
    o.baud = 19200;
    return o;
  }
  // One operation over a fresh connection, as each command line run has.
  WriteOutcome Run(WriteRequest request, TestView& view) {
    Catalogue catalogue;
    // The ModBus meter does not answer the 3x identification: keep that wait short.
    if (metersim::SpeaksModBus(meter->Model())) catalogue.delays[1] = {50, 100, 1};
    if (request.saveDir.empty()) request.saveDir = dir.string();
    const PortSpec spec{server.DevicePath(), "pty", 19200, kAddr, false};
    Connected c = Connect(spec, catalogue);
    if (c.result != ConnectResult::Ok) {
      WriteOutcome out;
      out.status =
          c.result == ConnectResult::PortError ? WriteStatus::PortError : WriteStatus::NotFound;
      out.reason = c.message + c.detail;
      return out;
    }
    WriteOutcome out = RunGuardedWrite(*c.meter, request, view);
    ewriteLeftOn = c.connection->AnyWriteEnabled();
    return out;
  }
  // A dry run, then the same confirmed with the serial number it showed.
  WriteOutcome Confirmed(const WriteRequest& request) {
    TestView dry;
    Run(request, dry);
    TestView view;
    view.expected = dry.serial;
    view.yes = true;
    return Run(request, view);
  }

  std::shared_ptr<VirtualMeter> meter;
  metersim::PtyMeterServer server{meter};
  std::filesystem::path dir;
  bool started = false;
  bool ewriteLeftOn = false;
};

WriteRequest Coefficients() {
  WriteRequest r;
  r.coefficients = {CoefTarget(CoefList::K, 2, 0, 12.0f), CoefTarget(CoefList::K, 2, 1, 1.5f),
                    CoefTarget(CoefList::K, 2, 3, 0.25f), CoefTarget(CoefList::Obr, 2, 5, 0.125f)};
  return r;
}

WriteRequest Of(WriteKind kind) {
  WriteRequest r = kind == WriteKind::Coefficients ? Coefficients() : WriteRequest{};
  r.kind = kind;
  r.sealText = "C4321106";
  return r;
}

std::vector<std::vector<uint8_t>> Bytes(const ItemsImage& image) {
  std::vector<std::vector<uint8_t>> bytes;
  for (const ImageItem& i : image.items)
    bytes.push_back(i.Raw());
  return bytes;
}

bool AllVerified(const WriteOutcome& o) {
  return !o.verification.empty() &&
         std::all_of(o.verification.begin(), o.verification.end(),
                     [](Verification v) { return v == Verification::Verified; });
}

struct OpCase {
  MeterModel model;
  WriteKind kind;
};

class PtyWrite : public ::testing::TestWithParam<OpCase> {};

TEST_P(PtyWrite, DryRunSendsNothingConfirmedVerifiesRestoreBringsBack) {
  const auto [model, kind] = GetParam();
  Rig rig(model);
  ASSERT_TRUE(rig.started) << rig.server.ErrorText();
  const WriteRequest request = Of(kind);

  TestView dry;
  const WriteOutcome dryRun = rig.Run(request, dry);
  ASSERT_EQ(dryRun.status, WriteStatus::DryRun) << dryRun.reason;
  EXPECT_EQ(rig.meter->WriteCount(), 0u);
  EXPECT_TRUE(std::filesystem::exists(dryRun.imagePath));
  EXPECT_EQ(dry.rows.size(), dryRun.before.items.size());
  if (kind == WriteKind::Coefficients) {
    // Beside the stored value, the window's figure where it differs: K0 is
    // shown scaled by Gmax, Ku only by the GDZ-12.08, K[3] not at all.
    const auto shown = [](const std::string& text) { return text.find("(в окне ") != text.npos; };
    EXPECT_TRUE(shown(dry.rows[0].before) && shown(dry.rows[0].after)) << dry.rows[0].before;
    EXPECT_EQ(shown(dry.rows[1].after), model == MeterModel::Gdz1208x2) << dry.rows[1].after;
    EXPECT_FALSE(shown(dry.rows[2].before) || shown(dry.rows[2].after)) << dry.rows[2].after;
  }

  const WriteOutcome done = rig.Confirmed(request);
  ASSERT_EQ(done.status, WriteStatus::Verified) << done.reason;
  EXPECT_TRUE(AllVerified(done));
  EXPECT_GT(rig.meter->WriteCount(), 0u);
  EXPECT_FALSE(rig.ewriteLeftOn);
  EXPECT_EQ(Bytes(done.before), Bytes(dryRun.before));

  // The next read shows what was written.
  TestView again;
  const WriteOutcome next = rig.Run(request, again);
  ASSERT_EQ(next.before.items.size(), done.after.items.size());
  for (size_t n = 0; n < next.before.items.size(); ++n) {
    if (kind == WriteKind::Clock) continue;  // the clock runs on
    EXPECT_EQ(next.before.items[n].Raw(), done.after.items[n].Raw()) << next.before.items[n].Name();
    if (kind == WriteKind::Coefficients)
      EXPECT_EQ(next.before.items[n].coef.stored, request.coefficients[n].stored);
  }
  if (kind == WriteKind::Clock) return;  // a clock is set, not restored

  std::string error;
  WriteRequest restore;
  restore.kind = WriteKind::Restore;
  restore.restore = LoadImage(done.imagePath, error);
  ASSERT_TRUE(restore.restore) << error;
  const WriteOutcome back = rig.Confirmed(restore);
  ASSERT_EQ(back.status, WriteStatus::Verified) << back.reason;
  EXPECT_EQ(Bytes(back.after), Bytes(dryRun.before));
  EXPECT_FALSE(rig.ewriteLeftOn);
}

std::vector<OpCase> AllOperations() {
  std::vector<OpCase> cases;
  for (MeterModel m :
       {MeterModel::Zfk31, MeterModel::Zfk36, MeterModel::Gdz1207s2, MeterModel::Gdz1208x2})
    for (WriteKind k :
         {WriteKind::Coefficients, WriteKind::Reset, WriteKind::Seal, WriteKind::Clock})
      if (m != MeterModel::Gdz1208x2 || k != WriteKind::Clock) cases.push_back({m, k});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryModel, PtyWrite, ::testing::ValuesIn(AllOperations()),
                         [](const auto& info) {
                           std::string name = metersim::MeterModelName(info.param.model);
                           name += std::string("_") + WriteKindName(info.param.kind);
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// Write faults: each item's verification tells what the meter holds.
struct FaultCase {
  MeterModel model;
  FaultKind fault;
  uint32_t skip;
  std::vector<Verification> expected;
  std::vector<bool> written;
  std::optional<metersim::RequestKind> request = {};  // the requests the fault hits
  const char* reason = "";                            // what the outcome must say
};

class PtyWriteFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(PtyWriteFault, VerificationTellsWhatTheMeterHolds) {
  const FaultCase& c = GetParam();
  Rig rig(c.model);
  ASSERT_TRUE(rig.started) << rig.server.ErrorText();
  WriteRequest request = Coefficients();
  request.coefficients.resize(3);
  TestView dry;
  const WriteOutcome before = rig.Run(request, dry);
  ASSERT_EQ(before.status, WriteStatus::DryRun) << before.reason;

  Fault fault = metersim::MakeFault(c.fault);
  fault.skip = c.skip;
  fault.times = 1;
  fault.request = c.request;
  rig.meter->AddFault(fault);
  const WriteOutcome done = rig.Confirmed(request);
  EXPECT_EQ(done.verification, c.expected);
  EXPECT_EQ(done.written, c.written);
  EXPECT_NE(done.reason.find(c.reason), std::string::npos) << done.reason;
  EXPECT_EQ(done.status, AllVerified(done) ? WriteStatus::Verified : WriteStatus::Failed);
  EXPECT_FALSE(rig.ewriteLeftOn);
  for (size_t n = 0; n < done.after.items.size(); ++n)  // never a value nobody asked for
    if (done.after.items[n].Read())
      EXPECT_TRUE(done.after.items[n].coef.stored == request.coefficients[n].stored ||
                  done.after.items[n].Raw() == before.before.items[n].Raw());

  // Power back; the saved before-image puts every item back.
  rig.meter->ClearFaults();
  rig.meter->PowerOn();
  std::string error;
  WriteRequest restore;
  restore.kind = WriteKind::Restore;
  restore.restore = LoadImage(done.imagePath, error);
  ASSERT_TRUE(restore.restore) << error;
  const WriteOutcome back = rig.Confirmed(restore);
  EXPECT_EQ(back.status, WriteStatus::Verified) << back.reason;
  EXPECT_EQ(Bytes(back.after), Bytes(before.before));
}

constexpr auto V = Verification::Verified;
constexpr auto M = Verification::Mismatch;
constexpr auto N = Verification::NoReply;
constexpr bool W = true;   // written
constexpr bool U = false;  // not written

INSTANTIATE_TEST_SUITE_P(
    Faults, PtyWriteFault,
    ::testing::Values(
        FaultCase{MeterModel::Zfk31, FaultKind::NotStored, 0, {M, V, V}, {W, W, W}},
        FaultCase{MeterModel::Gdz1208x2, FaultKind::NotStored, 1, {V, M, V}, {W, W, W}},
        FaultCase{MeterModel::Zfk31, FaultKind::LostReply, 0, {V, V, V}, {W, W, W}},
        FaultCase{MeterModel::Gdz1208x2, FaultKind::LostReply, 0, {V, V, V}, {W, W, W}},
        FaultCase{MeterModel::Zfk31, FaultKind::PowerLoss, 1, {N, N, N}, {W, U, U}},
        FaultCase{MeterModel::Gdz1208x2, FaultKind::PowerLoss, 2, {N, N, N}, {W, W, U}},
        // The meter refuses the second write: nothing more is sent, and the
        // record says which item and why.
        FaultCase{MeterModel::Gdz1208x2,
                  FaultKind::Exception,
                  1,
                  {V, M, M},
                  {W, U, U},
                  metersim::RequestKind::WriteRegisters,
                  "K[1] к.2 не записан: Прибор отклонил запрос (исключение ModBus 2: недопустимый "
                  "адрес данных)"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// A reset to a meter that dies at its tenth write: the sequence stops there,
// the record says which items went in, and the dead meter is sent no more
// writes than the one it died at (with that write's retries).
TEST(PtyWriteReset, StopsAtTheFirstWriteTheMeterDoesNotTake) {
  for (const MeterModel model : {MeterModel::Zfk31, MeterModel::Gdz1208}) {
    SCOPED_TRACE(metersim::MeterModelName(model));
    Rig rig(model);
    ASSERT_TRUE(rig.started) << rig.server.ErrorText();
    WriteRequest reset = Of(WriteKind::Reset);
    TestView dry;
    const WriteOutcome plan = rig.Run(reset, dry);
    ASSERT_EQ(plan.status, WriteStatus::DryRun) << plan.reason;
    const size_t items = plan.before.items.size();
    ASSERT_GT(items, 10u);

    Fault fault = metersim::MakeFault(FaultKind::PowerLoss);
    fault.skip = 9;
    rig.meter->AddFault(fault);
    const size_t writesBefore = rig.meter->WriteCount();
    const WriteOutcome done = rig.Confirmed(reset);
    EXPECT_EQ(done.status, WriteStatus::Failed);
    std::vector<bool> expected(items, false);
    std::fill_n(expected.begin(), 9, true);
    EXPECT_EQ(done.written, expected);
    // Nine stored, then the write it died at, tried again a few times at most.
    const size_t sent = rig.meter->WriteCount() - writesBefore;
    EXPECT_GE(sent, 10u);
    EXPECT_LE(sent, 9u + 5u) << "writes went on after the meter died";
  }
}

// Refusals: nothing is written, whatever the reason.
struct RefusalCase {
  const char* name;
  MeterModel model;
  WriteRequest request;
  std::optional<std::string> serial;  // what the user confirmed; nullopt: the meter's own
};

class PtyWriteRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(PtyWriteRefusal, NothingIsWritten) {
  const RefusalCase& c = GetParam();
  Rig rig(c.model);
  ASSERT_TRUE(rig.started) << rig.server.ErrorText();
  WriteRequest request = c.request;
  if (request.saveDir == "below-a-file") {
    std::filesystem::create_directories(rig.dir);
    std::ofstream(rig.dir / "file") << "x";
    request.saveDir = (rig.dir / "file" / "images").string();
  }
  TestView dry;
  if (!c.serial) rig.Run(Of(WriteKind::Seal), dry);
  TestView view;
  view.expected = c.serial ? *c.serial : dry.serial;
  view.yes = true;
  const size_t writesBefore = rig.meter->WriteCount();
  const WriteOutcome out = rig.Run(request, view);
  EXPECT_EQ(out.status, WriteStatus::Refused);
  EXPECT_FALSE(out.reason.empty());
  EXPECT_EQ(rig.meter->WriteCount(), writesBefore);
  EXPECT_EQ(writesBefore, 0u);
  EXPECT_FALSE(rig.ewriteLeftOn);
}

WriteRequest K0(float value) {
  WriteRequest r;
  r.coefficients = {CoefTarget(CoefList::K, 1, 0, value)};
  return r;
}

WriteRequest BelowAFile() {
  WriteRequest r = Of(WriteKind::Reset);
  r.saveDir = "below-a-file";
  return r;
}

WriteRequest RestoreOf(const std::string& model, const std::string& serial) {
  WriteRequest r;
  r.kind = WriteKind::Restore;
  r.restore = ItemsImage{model, serial, "", {}};
  ImageItem k0;
  k0.SetRead(true);
  k0.coef.raw = {0, 0, 0, 0};
  r.restore->items.push_back(k0);
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Refused, PtyWriteRefusal,
    ::testing::Values(
        RefusalCase{"WrongSerial", MeterModel::Zfk31, Coefficients(), "310246"},
        RefusalCase{"SaveDirBelowAFile", MeterModel::Zfk36, BelowAFile(), {}},
        RefusalCase{"K0NotWhole", MeterModel::Gdz1208, K0(5.5f), {}},
        RefusalCase{"K0TooLarge", MeterModel::Gdz1208, K0(32768.0f), {}},
        RefusalCase{"K0NotFinite", MeterModel::Zfk31, K0(NAN), {}},
        RefusalCase{"NoClock", MeterModel::Gdz1208, Of(WriteKind::Clock), {}},
        RefusalCase{"RestoreOtherSerial", MeterModel::Zfk31, RestoreOf("ZFK-31", "999"), {}},
        RefusalCase{"RestoreOtherModel", MeterModel::Zfk36, RestoreOf("ZFK-31", "360517"), {}}),
    [](const auto& info) { return std::string(info.param.name); });

// K0 and Ku are one stored value in both lists: given twice, they must agree,
// and then they are written once.
TEST(CoefficientsGivenTwice, MustAgreeAndAreWrittenOnce) {
  const struct {
    std::vector<Coefficient> coefficients;
    bool accepted;
  } cases[] = {
      {{CoefTarget(CoefList::K, 1, 0, 163.95f), CoefTarget(CoefList::Obr, 1, 0, 163.5f)}, false},
      {{CoefTarget(CoefList::K, 2, 1, 1.5f), CoefTarget(CoefList::Obr, 2, 1, 1.25f)}, false},
      {{CoefTarget(CoefList::K, 1, 3, 0.5f), CoefTarget(CoefList::K, 1, 3, 0.25f)}, false},
      {{CoefTarget(CoefList::K, 1, 0, 2.0f), CoefTarget(CoefList::Obr, 1, 0, 2.0f)}, true},
      {{CoefTarget(CoefList::K, 1, 3, 0.5f), CoefTarget(CoefList::Obr, 1, 3, 0.25f)}, true},
      {{CoefTarget(CoefList::K, 1, 0, 2.0f), CoefTarget(CoefList::K, 2, 0, 3.0f)}, true},
  };
  for (const auto& c : cases) {
    WriteRequest r;
    r.coefficients = c.coefficients;
    const std::string why = CheckRequest(r);
    EXPECT_EQ(why.empty(), c.accepted) << why;
  }

  Rig rig(MeterModel::Zfk31);
  ASSERT_TRUE(rig.started) << rig.server.ErrorText();
  WriteRequest twice;
  twice.coefficients = {CoefTarget(CoefList::K, 1, 0, 2.0f), CoefTarget(CoefList::Obr, 1, 0, 2.0f),
                        CoefTarget(CoefList::K, 1, 3, 0.5f)};
  TestView dry;
  const WriteOutcome plan = rig.Run(twice, dry);
  ASSERT_EQ(plan.status, WriteStatus::DryRun) << plan.reason;
  ASSERT_EQ(dry.rows.size(), 2u);
  EXPECT_EQ(dry.rows[0].item, "K[0] к.1");
  EXPECT_EQ(dry.rows[1].item, "K[3] к.1");
}

TEST(SealText, ExactlyEightCharactersOfTheCodePage) {
  const struct {
    const char* text;
    bool accepted;
  } cases[] = {{"C4321106", true}, {"Ж4321106", true},  {"C432110", false}, {"C43211066", false},
               {"C432110€", true}, {"C43211☺6", false}, {"", false}};
  for (const auto& c : cases) {
    WriteRequest r;
    r.kind = WriteKind::Seal;
    r.sealText = c.text;
    EXPECT_EQ(CheckRequest(r).empty(), c.accepted) << c.text;
  }
}

}  // namespace
