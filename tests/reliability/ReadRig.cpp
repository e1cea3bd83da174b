#include "ReadRig.h"

#include <algorithm>
#include <stdexcept>

#include "comm/LumClock.h"

namespace rel {

using metersim::FaultKind;
using metersim::MeterModel;
using metersim::RequestKind;

const char* TargetName(Target target) {
  switch (target) {
    case Target::Identification:
      return "identification";
    case Target::Coefficient:
      return "coefficient";
    case Target::Record:
      return "record";
  }
  return "?";
}

const std::vector<ModelCase>& Models() {
  using F = ReadField;
  static const std::vector<ModelCase> models = {
      // Ku of channel 1 at 1816, the record at 32 of the Rtc2k area.
      {MeterModel::Zfk31,
       false,
       {RequestKind::ReadRtc2k, 1816},
       RequestAim{RequestKind::ReadRtc2k, 32},
       {F::Ek01, F::Ek11, F::EClbLic, F::EClbDate}},
      // Ku of channel 1 in the coefficient block at 1504; the record at 2016.
      {MeterModel::Zfk36,
       false,
       {RequestKind::ReadRtc2k, 1508},
       RequestAim{RequestKind::ReadRtc2k, 2016},
       {F::Ek01, F::Ek11, F::EClbLic, F::EClbDate}},
      // Ku at 260; the single-node path reads no record and ends with Ku.
      {MeterModel::Gdz1207s, false, {RequestKind::ReadRtc2k, 260}, std::nullopt, {}},
      // The second node answers at the next address and holds the record at 496.
      {MeterModel::Gdz1207s2,
       false,
       {RequestKind::ReadRtc2k, 260},
       RequestAim{RequestKind::ReadRtc2k, 496, kMeterAddress + 1},
       {F::Ek01, F::Ek11, F::EClbLic, F::EClbDate}},
      // Ku of channel 1 in registers 371-372, the record in 171-178.
      {MeterModel::Gdz1208,
       true,
       {RequestKind::ReadRegisters, 371},
       RequestAim{RequestKind::ReadRegisters, 171},
       {F::EClbLic, F::EClbDate}},
      {MeterModel::Gdz1208x2,
       true,
       {RequestKind::ReadRegisters, 371},
       RequestAim{RequestKind::ReadRegisters, 171},
       {F::Ek01, F::Ek11, F::EClbLic, F::EClbDate}},
  };
  return models;
}

const ModelCase& ModelOf(MeterModel model) {
  for (const auto& m : Models())
    if (m.model == model) return m;
  throw std::invalid_argument("no such model");
}

std::optional<RequestAim> AimOf(const ModelCase& model, Target target) {
  switch (target) {
    case Target::Identification:
      return RequestAim{RequestKind::Identify, std::nullopt};
    case Target::Coefficient:
      return model.coefficient;
    case Target::Record:
      return model.record;
  }
  return std::nullopt;
}

std::vector<FaultKind> FaultsFor(const ModelCase& model) {
  std::vector<FaultKind> kinds = {
      FaultKind::Silence,   FaultKind::Stray,  FaultKind::BadChecksum, FaultKind::BadComplement,
      FaultKind::Gap,       FaultKind::Cut,    FaultKind::LongLength,  FaultKind::Garbage,
      FaultKind::Exception, FaultKind::HangUp, FaultKind::ShortReply};
  std::erase(kinds, model.modbus ? FaultKind::BadComplement : FaultKind::Exception);
  return kinds;
}

bool FaultMeansSomething(FaultKind kind, Target target) {
  // An identification text asks for no length, so it cannot come short.
  return !(kind == FaultKind::ShortReply && target == Target::Identification);
}

metersim::Fault AimedFault(FaultKind kind, const RequestAim& aim, uint32_t times) {
  metersim::Fault f = metersim::MakeFault(kind);
  f.request = aim.kind;
  f.start = aim.start;
  f.address = aim.address;
  f.times = times;
  return f;
}

ReadRun RunRead(TMeterRead& read, const std::string& device, const std::string& name) {
  ReadRun run;
  const PortSpec port{device, name, 9600, kMeterAddress, false};
  const uint64_t start = lum::NowMs();
  run.outcome = read.BRefreshClick(run.view, port);
  run.ms = lum::NowMs() - start;
  run.portOpenAfter = read.LastConnection() && read.LastConnection()->Port().Active();
  return run;
}

bool SameScreen(const RecordingView& a, const RecordingView& b) {
  return a.fields == b.fields && a.caption == b.caption && a.errors == b.errors &&
         a.versionVisible == b.versionVisible;
}

namespace {

bool IsRecordField(ReadField f) {
  return f == ReadField::EClbLic || f == ReadField::EClbDate;
}

const char* FieldName(ReadField f) {
  static const char* names[] = {"ELicNo", "Ek00", "Ek10",    "Ek01",    "Ek11",
                                "EVer",   "ECRC", "EClbLic", "EClbDate"};
  return names[static_cast<size_t>(f)];
}

// A 3x master skips bytes before the start byte; nothing else is absorbed
// when it hits every attempt. A fault on one attempt is absorbed by the next,
// except a line that hangs up (gone for the rest of the read) and a ModBus
// exception (a well-formed answer, so the master does not ask again).
bool Absorbed(const ModelCase& model, FaultKind kind, uint32_t times) {
  if (kind == FaultKind::HangUp || kind == FaultKind::Exception) return false;
  if (times == 1) return true;
  return kind == FaultKind::Stray && !model.modbus;
}

}  // namespace

Expectation Expect(const ModelCase& model, Target target, FaultKind kind, uint32_t times) {
  Expectation e;
  if (Absorbed(model, kind, times)) {
    // The ModBus identification asks again at once, without a pause. When the
    // faulty reply is still coming as it does (stray bytes ahead of it make
    // the master stop after five bytes; a gap makes it give up while the rest
    // is still to come), the new answer arrives behind the old reply's tail,
    // and whether the attempts left can find their frame depends on how long
    // the reply is.
    e.foundOrNot = model.modbus && target == Target::Identification && times == 1 &&
                   (kind == FaultKind::Stray || kind == FaultKind::Gap);
    return e;
  }
  switch (target) {
    case Target::Identification:
      e.notFound = true;
      break;
    case Target::Coefficient:
      e.failed.insert(ReadField::Ek10);
      if (kind == FaultKind::HangUp)
        e.failed.insert(model.afterCoefficient.begin(), model.afterCoefficient.end());
      break;
    case Target::Record:
      e.failed = {ReadField::EClbLic, ReadField::EClbDate};
      break;
  }
  return e;
}

std::string Check(const Expectation& expected, const ReadRun& run, const ReadRun& clean) {
  if (expected.foundOrNot && run.outcome.result == ReadResult::NotFound) {
    Expectation notFound;
    notFound.notFound = true;
    return Check(notFound, run, clean);
  }
  std::string problems;
  const auto fail = [&](const std::string& what) { problems += what + "; "; };
  if (run.portOpenAfter) fail("port left open");
  if (run.view.refreshStates != std::vector<bool>{false, true}) fail("button not enabled again");
  if (expected.notFound) {
    if (run.outcome.result != ReadResult::NotFound) fail("meter was found");
    if (run.view.errors != std::vector<std::string>{kNotFound}) fail("no \"Прибор не найден \"");
    if (run.view.versionVisible) fail("version controls shown");
    for (size_t i = 0; i < kReadFieldCount; ++i) {
      const auto f = static_cast<ReadField>(i);
      const auto& text = run.view.Field(f);
      if (IsRecordField(f) ? text != std::optional<std::string>(kNoData) : text.has_value())
        fail(std::string(FieldName(f)) + " = " + text.value_or("(unset)"));
    }
    return problems;
  }
  if (run.outcome.result != ReadResult::Ok) fail("read did not end Ok");
  if (!run.view.errors.empty()) fail("message box " + run.view.errors.front());
  if (run.view.caption != clean.view.caption) fail("caption " + run.view.caption);
  if (run.view.versionVisible != clean.view.versionVisible) fail("version controls");
  for (size_t i = 0; i < kReadFieldCount; ++i) {
    const auto f = static_cast<ReadField>(i);
    std::optional<std::string> want = clean.view.Field(f);
    if (expected.failed.count(f)) want = IsRecordField(f) ? kNoData : "ERR";
    if (run.view.Field(f) != want)
      fail(std::string(FieldName(f)) + " = " + run.view.Field(f).value_or("(unset)") +
           ", expected " + want.value_or("(unset)"));
  }
  return problems;
}

std::string Describe(const ReadRun& run, const ReadRun& clean) {
  std::string text;
  const auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  for (const auto& e : run.view.errors)
    add("\"" + e + "\"");
  if (run.outcome.result == ReadResult::NotFound) return text;
  std::vector<std::string> errs;
  for (size_t i = 0; i < kReadFieldCount; ++i) {
    const auto f = static_cast<ReadField>(i);
    if (IsRecordField(f) || run.view.Field(f) == clean.view.Field(f)) continue;
    add(std::string(FieldName(f)) + " " + run.view.Field(f).value_or("(unset)"));
  }
  if (run.view.Field(ReadField::EClbLic) != clean.view.Field(ReadField::EClbLic))
    add("record " + run.view.Field(ReadField::EClbLic).value_or("(unset)"));
  return text.empty() ? "all values" : text;
}

EngineLimits Limits3x(const Tlum3xProtocol& engine) {
  // Up to 256 stray bytes before the start byte, then a frame of up to 255.
  return {engine.PacketTimeout(), engine.ByteTimeout(), engine.RepeatCount(), 200, 256 + 255};
}

EngineLimits LimitsModBus(const TlumModBusProtocol& engine, bool identification) {
  // The longest frame a ModBus header can announce; no pause between the
  // attempts of the identification, 100 ms after a failed register read.
  return {engine.PacketTimeout(), engine.ByteTimeout(), engine.RepeatCount(),
          identification ? 0u : 100u, 255 + 6};
}

double AttemptMs(const EngineLimits& e, double byteMs) {
  return 10.0 + (e.packetMs + 10.0) + (e.byteMs + 10.0) + e.maxBytes * byteMs;
}

double FailedOperationMs(const EngineLimits& e, double byteMs) {
  return e.attempts * (AttemptMs(e, byteMs) + e.pauseMs);
}

EngineLimits PathLimits(const Connection& read, const ModelCase& model) {
  switch (model.model) {
    case MeterModel::Zfk31:
      return Limits3x(read.Zfk31());
    case MeterModel::Zfk36:
      return Limits3x(read.Zfk36());
    case MeterModel::Gdz1207s:
    case MeterModel::Gdz1207s2:
      return Limits3x(read.Gdz1207s());
    case MeterModel::Gdz1208:
    case MeterModel::Gdz1208x2:
      return LimitsModBus(read.Gdz1208(), false);
  }
  return Limits3x(read.Zfk31());
}

double IdentificationFailureMs(const Connection& read, const ModelCase& model, double byteMs) {
  // A ModBus meter never answers the 3x request, with or without a fault: that
  // time is in its clean read already.
  const double modbusId = FailedOperationMs(LimitsModBus(read.Gdz1208(), true), byteMs);
  return model.modbus ? modbusId : FailedOperationMs(Limits3x(read.Zfk31()), byteMs) + modbusId;
}

double FaultBoundMs(const Connection& read, const ModelCase& model, Target target, FaultKind kind,
                    uint64_t cleanMs, size_t operationsFromTarget, double byteMs) {
  if (target == Target::Identification)
    return static_cast<double>(cleanMs) + IdentificationFailureMs(read, model, byteMs);
  // A line that hangs up fails every operation from there on; any other fault
  // fails the one it hits.
  const size_t failing = kind == FaultKind::HangUp ? operationsFromTarget : 1;
  return static_cast<double>(cleanMs) +
         static_cast<double>(failing) * FailedOperationMs(PathLimits(read, model), byteMs);
}

double AnyReadBoundMs(const Connection& read, const ModelCase& model, size_t pathOperations,
                      double byteMs) {
  return FailedOperationMs(Limits3x(read.Zfk31()), byteMs) +
         FailedOperationMs(LimitsModBus(read.Gdz1208(), true), byteMs) +
         static_cast<double>(pathOperations) * FailedOperationMs(PathLimits(read, model), byteMs);
}

namespace {

bool Hits(const metersim::RequestRecord& r, const RequestAim& aim) {
  return r.forMe && r.kind == aim.kind && r.address == aim.address &&
         (!aim.start || *aim.start == r.start);
}

}  // namespace

size_t CountAimed(const std::vector<metersim::RequestRecord>& log, const RequestAim& aim) {
  return static_cast<size_t>(
      std::count_if(log.begin(), log.end(), [&](const auto& r) { return Hits(r, aim); }));
}

size_t OperationsFrom(const std::vector<metersim::RequestRecord>& log, const RequestAim& aim) {
  const auto first =
      std::find_if(log.begin(), log.end(), [&](const auto& r) { return Hits(r, aim); });
  return static_cast<size_t>(
      std::count_if(first, log.end(), [](const auto& r) { return r.forMe; }));
}

size_t CountWrites(const std::vector<metersim::RequestRecord>& log) {
  return static_cast<size_t>(
      std::count_if(log.begin(), log.end(), [](const auto& r) { return r.writes; }));
}

}  // namespace rel
