// The guarded write against virtual meters of every model over real
// pseudo-terminals: dry runs send nothing, confirmed writes verify, a restore
// brings back the before-image byte for byte, and write faults are reported
// as what they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/core/ops/GuardedWrite.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/core/values/MeterSnapshotJson.h"
#include "app/core/values/StorableValue.h"
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
  bool acceptWarnings = true;
  std::string serial;
  Confirmation shown;
  void ShowDifference(const Confirmation& c) override { shown = c; }
  Answer Confirm(const std::string& s) override {
    serial = s;
    return SerialConfirmation(expected, yes, s);
  }
  bool WarningsAccepted() const override { return acceptWarnings; }
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
  Catalogue Lines() const {
    Catalogue catalogue;
    // The ModBus meter does not answer the 3x identification: keep that wait short.
    if (metersim::SpeaksModBus(meter->Model())) catalogue.delays[1] = {50, 100, 1};
    return catalogue;
  }
  PortSpec Spec() const { return {server.DevicePath(), "pty", 19200, kAddr, false}; }
  // One operation over a fresh connection, as each command line run has.
  WriteOutcome Run(WriteRequest request, TestView& view, WriteRecorder* recorder = nullptr) {
    if (request.saveDir.empty()) request.saveDir = dir.string();
    Connected c = Connect(Spec(), Lines());
    if (c.result != ConnectResult::Ok) {
      WriteOutcome out;
      out.status =
          c.result == ConnectResult::PortError ? WriteStatus::PortError : WriteStatus::NotFound;
      out.reason = c.message + c.detail;
      return out;
    }
    WriteOutcome out = RunGuardedWrite(*c.meter, request, view, recorder);
    ewriteLeftOn = c.connection->AnyWriteEnabled();
    return out;
  }
  // A dry run, then the same confirmed with the serial number it showed.
  WriteOutcome Confirmed(const WriteRequest& request, WriteRecorder* recorder = nullptr) {
    TestView dry;
    Run(request, dry);
    TestView view;
    view.expected = dry.serial;
    view.yes = true;
    return Run(request, view, recorder);
  }

  // The before-image file written back, confirmed.
  WriteOutcome RestoreFrom(const std::string& path) {
    std::string error;
    WriteRequest restore;
    restore.kind = WriteKind::Restore;
    restore.restore = LoadRestoreImage(path, error);
    if (!restore.restore) {
      WriteOutcome out;
      out.reason = error;
      return out;
    }
    return Confirmed(restore);
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

// The before-image files in dir.
size_t ImagesIn(const std::filesystem::path& dir) {
  std::error_code ec;
  size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    n += e.path().extension() == ".json" && e.path().filename() != "snapshot.json";
  return n;
}

DiffRow RowNamed(const Confirmation& c, const std::string& item) {
  for (const DiffRow& r : c.rows)
    if (r.item == item) return r;
  ADD_FAILURE() << item << " not in the confirmation";
  return {};
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
  EXPECT_EQ(dryRun.imagePath, "");  // nothing to undo
  EXPECT_EQ(ImagesIn(rig.dir), 0u);
  EXPECT_EQ(dry.shown.rows.size() + dry.shown.unchanged, dryRun.before.items.size());
  if (kind == WriteKind::Coefficients) {
    // Beside the stored value, the window's figure where it differs: K0 is
    // shown scaled by Gmax, Ku only by the GDZ-12.08, K[3] not at all.
    const auto shown = [](const std::string& text) { return text.find("(в окне ") != text.npos; };
    const DiffRow k0 = RowNamed(dry.shown, "K[0] к.2"), ku = RowNamed(dry.shown, "K[1] к.2"),
                  k3 = RowNamed(dry.shown, "K[3] к.2");
    EXPECT_TRUE(shown(k0.before) && shown(k0.after)) << k0.before;
    EXPECT_EQ(shown(ku.after), model == MeterModel::Gdz1208x2) << ku.after;
    EXPECT_FALSE(shown(k3.before) || shown(k3.after)) << k3.after;
  }

  const WriteOutcome done = rig.Confirmed(request);
  ASSERT_EQ(done.status, WriteStatus::Verified) << done.reason;
  EXPECT_TRUE(AllVerified(done));
  EXPECT_EQ(ImagesIn(rig.dir), 1u);
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

  const WriteOutcome back = rig.RestoreFrom(done.imagePath);
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
  uint32_t times = 1;                                 // 0: every request from skip on
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
  fault.times = c.times;
  fault.request = c.request;
  rig.meter->AddFault(fault);
  const WriteOutcome done = rig.Confirmed(request);
  EXPECT_EQ(done.verification, c.expected);
  EXPECT_EQ(done.written, c.written);
  EXPECT_NE(done.reason.find(c.reason), std::string::npos) << done.reason;
  EXPECT_EQ(done.status, AllVerified(done) ? WriteStatus::Verified : WriteStatus::Failed);
  if (!AllVerified(done))
    EXPECT_NE(done.reason.find("Восстановите из образа до записи: " + done.imagePath),
              std::string::npos)
        << done.reason;
  EXPECT_FALSE(rig.ewriteLeftOn);
  for (size_t n = 0; n < done.after.items.size(); ++n)  // never a value nobody asked for
    if (done.after.items[n].Read())
      EXPECT_TRUE(done.after.items[n].coef.stored == request.coefficients[n].stored ||
                  done.after.items[n].Raw() == before.before.items[n].Raw());

  // Power back; the saved before-image puts every item back.
  rig.meter->ClearFaults();
  rig.meter->PowerOn();
  const WriteOutcome back = rig.RestoreFrom(done.imagePath);
  EXPECT_EQ(back.status, WriteStatus::Verified) << back.reason;
  EXPECT_EQ(Bytes(back.after), Bytes(before.before));
}

constexpr auto V = Verification::Verified;
constexpr auto M = Verification::Mismatch;
constexpr auto N = Verification::NoReply;
constexpr auto C = Verification::Corrupt;
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
                  "адрес данных)"},
        // The ZFK-36 takes its block in 12 pieces, the checksum and K[3] к.2
        // in the last. That piece acknowledged but not kept: K0 and Ku read
        // back as written, yet the meter holds a block whose checksum does
        // not match, which it will not use.
        FaultCase{MeterModel::Zfk36,
                  FaultKind::NotStored,
                  11,
                  {C, C, M},
                  {W, W, W},
                  metersim::RequestKind::WriteRtc2k,
                  "блок коэффициентов повреждён: контрольная сумма"},
        // The last piece kept but never acknowledged: the block write fails,
        // and its items are not called verified though they read back right.
        FaultCase{MeterModel::Zfk36,
                  FaultKind::LostReply,
                  11,
                  {Verification::NotWritten, Verification::NotWritten, Verification::NotWritten},
                  {U, U, U},
                  metersim::RequestKind::WriteRtc2k,
                  "K[0] к.2 не записан",
                  0}),
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
  std::optional<Fault> fault = {};    // what the meter does once it was read
  const char* why = "";               // what the refusal must say
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
  if (c.fault) rig.meter->AddFault(*c.fault);
  TestView view;
  view.expected = c.serial ? *c.serial : dry.serial;
  view.yes = true;
  const size_t writesBefore = rig.meter->WriteCount();
  const WriteOutcome out = rig.Run(request, view);
  EXPECT_EQ(out.status, WriteStatus::Refused);
  EXPECT_FALSE(out.reason.empty());
  EXPECT_NE(out.reason.find(c.why), std::string::npos) << out.reason;
  EXPECT_EQ(rig.meter->WriteCount(), writesBefore);
  EXPECT_EQ(writesBefore, 0u);
  EXPECT_FALSE(rig.ewriteLeftOn);
  EXPECT_EQ(ImagesIn(rig.dir), 0u);
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

ImageItem SavedCoef(CoefRef ref, float stored, Bytes4 raw) {
  ImageItem i = ImageItem::Of({ref, ValueState::Read, stored, raw});
  return i;
}

WriteRequest RestoreOf(const std::string& model, const std::string& serial,
                       std::vector<ImageItem> items = {SavedCoef({}, 0, {0, 0, 0, 0})}) {
  WriteRequest r;
  r.kind = WriteKind::Restore;
  r.restore = ItemsImage{model, serial, "", std::move(items)};
  return r;
}

// The meter exchanged after it was read: another serial number from the
// re-identification on.
Fault Exchange() {
  Fault f = metersim::MakeFault(FaultKind::Exchange);
  f.request = metersim::RequestKind::Identify;
  f.skip = 1;
  f.times = 1;
  return f;
}

WriteRequest Seal(const char* text) {
  WriteRequest r = Of(WriteKind::Seal);
  r.sealText = text;
  return r;
}

constexpr CoefRef kK3{CoefList::K, 1, 3};

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
        RefusalCase{"RestoreOtherModel", MeterModel::Zfk36, RestoreOf("ZFK-31", "360517"), {}},
        RefusalCase{"RestoreValueAndBytesDisagree",
                    MeterModel::Zfk31,
                    RestoreOf("ZFK-31", "310245", {SavedCoef(kK3, 2.0f, {0x3F, 0x80, 0, 0})}),
                    {},
                    {},
                    "не сходятся значение и байты"},
        RefusalCase{"RestoreOnePlaceTwice",
                    MeterModel::Zfk31,
                    RestoreOf("ZFK-31", "310245",
                              {SavedCoef(kK3, 1.0f, {0x3F, 0x80, 0, 0}),
                               SavedCoef(kK3, 2.0f, {0x40, 0, 0, 0})}),
                    {},
                    {},
                    "дважды одно место"},
        RefusalCase{"SealCyrillicC", MeterModel::Zfk31, Seal("С4321106"), {}, {}, "кириллическая"},
        RefusalCase{"MeterExchangedZfk31",
                    MeterModel::Zfk31,
                    Coefficients(),
                    {},
                    Exchange(),
                    "отвечает другой прибор: № 310246 вместо № 310245"},
        RefusalCase{"MeterExchangedGdz1208",
                    MeterModel::Gdz1208x2,
                    Coefficients(),
                    {},
                    Exchange(),
                    "отвечает другой прибор"}),
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
  ASSERT_EQ(dry.shown.rows.size(), 2u);
  EXPECT_EQ(dry.shown.rows[0].item, "K[0] к.1");
  EXPECT_EQ(dry.shown.rows[1].item, "K[3] к.1");
}

TEST(SealText, ExactlyEightCharactersOfTheCodePage) {
  const struct {
    const char* text;
    bool accepted;
    const char* why = "";
  } cases[] = {{"C4321106", true},
               {"Ж4321106", false, "латинской буквы C, а не «Ж»"},
               {"С4321106", false, "кириллическая «С»"},
               {"с4321106", false, "кириллическая «с»"},
               {"C432110", false},
               {"C43211066", false},
               {"C432110€", true},
               {"C43211☺6", false},
               {"", false}};
  for (const auto& c : cases) {
    WriteRequest r;
    r.kind = WriteKind::Seal;
    r.sealText = c.text;
    const std::string why = CheckRequest(r);
    EXPECT_EQ(why.empty(), c.accepted) << c.text;
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
  }
}

// A number is stored as a 32-bit float: one that would come back as
// something else is refused, before any meter is asked.
TEST(StorableFloat, RefusesWhatTheFloatWouldChange) {
  const struct {
    double typed;
    bool accepted;
  } cases[] = {{0.0, true},     {-0.0, true},  {163.84, true},   {3.4e38, true},
               {1e-40, true},   {1e39, false}, {-1e39, false},   {1e-46, false},
               {-1e-46, false}, {NAN, false},  {INFINITY, false}};
  for (const auto& c : cases) {
    std::string why;
    EXPECT_EQ(StorableFloat(c.typed, why).has_value(), c.accepted) << c.typed << " " << why;
  }
}

// A before-image file is taken only as the tool writes it: places that do
// not fit are not wrapped round, numbers the float cannot keep refused.
TEST(RestoreFile, RefusesWhatDoesNotFit) {
  const Json good = {{"model", "ZFK-31"},
                     {"serial", "310245"},
                     {"items",
                      {{{"item", "coef"},
                        {"list", "K"},
                        {"channel", 1},
                        {"index", 3},
                        {"read", true},
                        {"raw", "FFFFFFFF"},
                        {"stored", nullptr}}}}};
  std::string error;
  const auto erased = ImageFromJson(good, error);
  ASSERT_TRUE(erased) << error;
  EXPECT_TRUE(std::isnan(erased->items[0].coef.stored));  // the bytes tell the value
  const struct {
    const char* key;
    Json value;
  } cases[] = {{"channel", 257},   {"channel", 0},  {"index", 259},
               {"index", -1},      {"list", "X"},   {"stored", 1e39},
               {"stored", -1e-46}, {"raw", "FFFF"}, {"raw", "zz00zz00"}};
  for (const auto& c : cases) {
    Json bad = good;
    bad["items"][0][c.key] = c.value;
    EXPECT_FALSE(ImageFromJson(bad, error)) << c.key << " = " << c.value.dump();
  }
}

// Erased (FFFFFFFF) coefficients come back from the before-image bit for bit,
// on every model's byte order.
TEST(PtyRestore, BringsBackErasedBits) {
  for (const MeterModel model :
       {MeterModel::Zfk31, MeterModel::Zfk36, MeterModel::Gdz1207s, MeterModel::Gdz1208}) {
    SCOPED_TRACE(metersim::MeterModelName(model));
    Rig rig(model);
    ASSERT_TRUE(rig.started) << rig.server.ErrorText();
    WriteRequest write;
    write.coefficients = {CoefTarget(CoefList::K, 1, 3, 0.25f)};
    TestView dry;
    const WriteOutcome plan = rig.Run(write, dry);
    ASSERT_EQ(plan.status, WriteStatus::DryRun) << plan.reason;
    // Where the meter keeps K[3] к.1: the one place holding its bytes.
    const auto area = metersim::SpeaksModBus(model) ? metersim::MemoryArea::Registers
                                                    : metersim::MemoryArea::Rtc2k;
    const std::vector<uint8_t> k3 = plan.before.items[0].Raw();
    const std::vector<uint8_t> memory = rig.meter->Read(area, 0, metersim::MemoryAreaSize(area));
    const auto at = std::search(memory.begin(), memory.end(), k3.begin(), k3.end());
    ASSERT_NE(at, memory.end());
    ASSERT_EQ(std::search(at + 1, memory.end(), k3.begin(), k3.end()), memory.end());
    const auto place = static_cast<uint32_t>(at - memory.begin());
    const std::vector<uint8_t> erased(4, 0xFF);
    rig.meter->Write(area, place, erased);

    const WriteOutcome done = rig.Confirmed(write);
    ASSERT_EQ(done.status, WriteStatus::Verified) << done.reason;
    EXPECT_EQ(done.before.items[0].Raw(), erased);
    const WriteOutcome back = rig.RestoreFrom(done.imagePath);
    EXPECT_EQ(back.status, WriteStatus::Verified) << back.reason;
    EXPECT_EQ(rig.meter->Read(area, place, 4), erased);
  }
}

// A snapshot file restores what it holds, every coefficient and the record,
// through the one loader of the window and the command line; a demo's
// before-image says so in its name.
TEST(PtyRestore, FromASnapshotFile) {
  const std::pair<MeterModel, bool> cases[] = {// the model, a demo's write
                                               {MeterModel::Zfk31, false},
                                               {MeterModel::Zfk36, true},
                                               {MeterModel::Gdz1207s2, true},
                                               {MeterModel::Gdz1208x2, false}};
  for (const auto& [model, demo] : cases) {
    SCOPED_TRACE(metersim::MeterModelName(model));
    Rig rig(model);
    ASSERT_TRUE(rig.started) << rig.server.ErrorText();
    const MeterSnapshot first = TakeSnapshot(rig.Spec(), rig.Lines());
    ASSERT_EQ(first.result, ReadResult::Ok);
    std::filesystem::create_directories(rig.dir);
    const std::string file = (rig.dir / "snapshot.json").string();
    std::ofstream(file) << DumpJson(SnapshotToJson(first));

    WriteRequest write = Of(WriteKind::Coefficients);
    write.demo = demo;
    const WriteOutcome done = rig.Confirmed(write);
    ASSERT_EQ(done.status, WriteStatus::Verified) << done.reason;
    EXPECT_EQ(done.imagePath.ends_with("-demo.json"), demo) << done.imagePath;
    ASSERT_NE(TakeSnapshot(rig.Spec(), rig.Lines()).channels[1].k, first.channels[1].k);

    const WriteOutcome back = rig.RestoreFrom(file);
    ASSERT_EQ(back.status, WriteStatus::Verified) << back.reason;
    const MeterSnapshot now = TakeSnapshot(rig.Spec(), rig.Lines());
    EXPECT_EQ(now.channels, first.channels);
    EXPECT_EQ(now.record, first.record);
    EXPECT_EQ(ImagesIn(rig.dir), 2u);  // the write's and the restore's, no dry run's
  }
}

// The confirmation of a request on a virtual meter's own values (ZFK-36
// channel 1: K0 0.0025, Ku 1.0042, K[2] 0.00102, K[3] 0.00255, K[4] 0.0051;
// channel 2: K0 -0.0015, Ku 0.9968): K0 and Ku first, then the points, each
// by the largest change; unchanged items only counted; changes beyond the
// share and unusual K0 or Ku warned of.
TEST(PtyConfirmation, OrderUnchangedAndWarnings) {
  const auto k = [](uint8_t channel, uint8_t index, float value) {
    return CoefTarget(CoefList::K, channel, index, value);
  };
  const std::vector<Coefficient> mixed = {k(1, 4, 0.0052f),  k(1, 0, 0.0026f), k(1, 2, 0.002f),
                                          k(2, 0, -0.0015f), k(1, 3, 0.003f),  k(1, 1, 1.1f),
                                          k(2, 1, 0.9968f)};
  const std::vector<std::string> order = {"1", "0", "2", "3", "4"};  // K[i] к.1
  const struct {
    MeterModel model;
    std::vector<Coefficient> coefficients;
    double warnShare;
    std::vector<std::string> order, warned;
    size_t unchanged;
  } cases[] = {
      {MeterModel::Zfk36, mixed, 0.05, order, {"1", "2", "3"}, 2},
      {MeterModel::Zfk36, mixed, 0.2, order, {"2"}, 2},
      {MeterModel::Zfk36, mixed, 1.0, order, {}, 2},
      {MeterModel::Zfk36, {k(1, 0, 12.0f)}, 1e9, {"0"}, {"0"}, 0},  // twelve times Gmax
      // 163.84 of 26214 is 0.6 % of Gmax, 5000 of it 19 %.
      {MeterModel::Zfk31, {k(1, 0, 165.0f)}, 0.05, {"0"}, {}, 0},
      {MeterModel::Zfk31, {k(1, 0, 5000.0f)}, 1e9, {"0"}, {"0"}, 0},
      // Ku in units of 1.25 × 2^-23: 1.0 is shown as 6710886.4.
      {MeterModel::Gdz1208x2, {k(1, 1, 1.52e-7f)}, 0.05, {"1"}, {}, 0},
      {MeterModel::Gdz1208x2, {k(1, 1, 1.0f)}, 1e9, {"1"}, {"1"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(metersim::MeterModelName(c.model)) + " " +
                 std::to_string(c.warnShare));
    Rig rig(c.model);
    ASSERT_TRUE(rig.started) << rig.server.ErrorText();
    WriteRequest request;
    request.coefficients = c.coefficients;
    request.warnShare = c.warnShare;
    TestView dry;
    ASSERT_EQ(rig.Run(request, dry).status, WriteStatus::DryRun);
    std::vector<std::string> order, warned;
    for (const DiffRow& r : dry.shown.rows) {
      order.push_back(r.item.substr(2, 1));
      if (r.warned) warned.push_back(order.back());
    }
    EXPECT_EQ(order, c.order);
    EXPECT_EQ(dry.shown.unchanged, c.unchanged);
    EXPECT_EQ(warned, c.warned);  // with a share of 1e9 only for the range
    EXPECT_EQ(dry.shown.warnings.size(), c.warned.size());
  }
}

// Ctrl+C or a signal between items: the item under way is finished, the
// rest not sent, and the outcome says how far it got.
TEST(PtyWriteStop, FinishesTheItemUnderWayAndSendsNoMore) {
  const struct {
    MeterModel model;
    WriteKind kind;
    int asks;        // how many times the stop is asked before it says yes
    size_t written;  // items written by then
  } cases[] = {
      {MeterModel::Zfk31, WriteKind::Reset, 6, 5},
      {MeterModel::Gdz1208, WriteKind::Reset, 4, 3},
      {MeterModel::Zfk36, WriteKind::Coefficients, 1, 0},  // one block: all or nothing
      {MeterModel::Zfk31, WriteKind::Seal, 0, 0},          // before anything was begun
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(metersim::MeterModelName(c.model) + std::string(" ") + WriteKindName(c.kind));
    Rig rig(c.model);
    ASSERT_TRUE(rig.started) << rig.server.ErrorText();
    WriteRequest request = Of(c.kind);
    int asked = 0;
    request.stop = [&] { return asked++ >= c.asks; };
    const WriteOutcome done = rig.Confirmed(request);
    EXPECT_EQ(done.status, WriteStatus::Interrupted) << done.reason;
    EXPECT_EQ(static_cast<size_t>(std::count(done.written.begin(), done.written.end(), true)),
              c.written);
    EXPECT_EQ(rig.meter->WriteCount(), c.written) << "a write went out after the stop";
    EXPECT_NE(done.reason.find("прервана"), std::string::npos) << done.reason;
    EXPECT_FALSE(rig.ewriteLeftOn);
  }
}

// The record of a write is announced before the first byte goes out; a
// record that cannot be kept stops the write with nothing sent.
TEST(PtyWriteRecorder, AnnouncedBeforeTheFirstByte) {
  struct Recorder : WriteRecorder {
    VirtualMeter* meter = nullptr;
    std::string refusal;
    int calls = 0;
    size_t writesAtStart = 99;
    WriteOutcome intent;
    std::string Started(WriteKind, const WriteOutcome& i) override {
      ++calls;
      writesAtStart = meter->WriteCount();
      intent = i;
      return refusal;
    }
  };
  for (const char* refusal : {"", "журнал недоступен: диск полон"}) {
    Rig rig(MeterModel::Zfk31);
    ASSERT_TRUE(rig.started) << rig.server.ErrorText();
    Recorder recorder;
    recorder.meter = rig.meter.get();
    recorder.refusal = refusal;
    const WriteRequest request = Coefficients();
    const WriteOutcome done = rig.Confirmed(request, &recorder);
    EXPECT_EQ(recorder.calls, 1);
    EXPECT_EQ(recorder.writesAtStart, 0u);
    EXPECT_EQ(recorder.intent.before.items.size(), request.coefficients.size());
    // Saved before the start is announced; gone again when the write is refused.
    EXPECT_NE(recorder.intent.imagePath, "");
    EXPECT_EQ(std::filesystem::is_regular_file(recorder.intent.imagePath), !*refusal);
    if (*refusal) {
      EXPECT_EQ(done.status, WriteStatus::Refused);
      EXPECT_NE(done.reason.find(refusal), std::string::npos) << done.reason;
      EXPECT_EQ(rig.meter->WriteCount(), 0u);
    } else {
      EXPECT_EQ(done.status, WriteStatus::Verified) << done.reason;
    }
  }
}

// A ZFK-36 block whose checksum does not match its bytes is no sound
// calibration, and a snapshot says so.
TEST(PtySnapshot, SaysWhenTheZfk36BlockIsCorrupt) {
  for (const bool corrupt : {false, true}) {
    Rig rig(MeterModel::Zfk36);
    ASSERT_TRUE(rig.started) << rig.server.ErrorText();
    if (corrupt) {
      std::vector<uint8_t> b = rig.meter->Read(metersim::MemoryArea::Rtc2k, 1504 + 10, 1);
      b[0] ^= 0x01;
      rig.meter->Write(metersim::MemoryArea::Rtc2k, 1504 + 10, b);
    }
    const MeterSnapshot snap = TakeSnapshot(rig.Spec(), rig.Lines());
    EXPECT_EQ(snap.integrity.find("контрольная сумма") != std::string::npos, corrupt)
        << snap.integrity;
    EXPECT_EQ(snap.AnyFailed(), corrupt);
  }
}

}  // namespace
