#include "Connection.h"

#include <array>
#include <string_view>

#include "app/core/line/LineDiagnosis.h"
#include "app/core/meter/DriverMeter.h"

namespace {

bool Contains(const std::string& text, std::string_view key) {
  return text.find(key) != std::string::npos;
}

// The 3x identifications and the path each selects, tried in this order.
struct PathRule {
  std::string_view key;
  ReadPath path;
};
constexpr std::array<PathRule, 6> kPathRules = {{
    {"ZFK-31", ReadPath::Zfk31},
    {"ZFK-36", ReadPath::Zfk36},
    {"BRC", ReadPath::Zfk36},
    {"GDZ23B", ReadPath::Zfk36},
    {"GDZ25", ReadPath::GdzSingle},
    {"GDZ27", ReadPath::GdzDouble},
}};

void Configure(Tlum3xProtocol& d, const TDelayRec& row) {
  d.SetByteTimeout(static_cast<uint32_t>(row.NB));
  d.SetPacketTimeout(static_cast<uint32_t>(row.NP));
  d.SetRepeatCount(static_cast<uint8_t>(row.NR & 0xFF));
}

}  // namespace

ReadPath Dispatch(const std::string& identification) {
  for (const PathRule& rule : kPathRules)
    if (Contains(identification, rule.key)) return rule.path;
  return ReadPath::ModBus;
}

const TVerRecord* FindReference(const std::vector<TVerRecord>& table,
                                const std::string& identification) {
  return FindVerRecord(table, VerTableKey(identification));
}

FirmwareReference ReferenceOf(const TVerRecord* row) {
  if (!row) return {};
  return {row->Configured ? FirmwareSource::Configured : FirmwareSource::BuiltIn,
          DecodeVersion(row->CodedVer), CrcDisplay(row->StoredCRC)};
}

Connection::Connection(PortSpec spec, const Catalogue& catalogue, bool altRegMapping)
    : spec_(std::move(spec)), catalogue_(catalogue) {
  // Design-time settings of the window's components.
  for (Tlum3xProtocol* d : std::initializer_list<Tlum3xProtocol*>{&zfk31_, &zfk36_, &gdz1207s_}) {
    d->SetComPort(&port_);
    d->SetPacketTimeout(300);
    d->SetEWrite(false);
  }
  zfk31_.SetByteTimeout(100);
  zfk36_.SetByteTimeout(100);
  gdz1207s_.SetByteTimeout(40);
  gdz1208_.SetComPort(&port_);
  gdz1208_.SetPacketTimeout(300);
  gdz1208_.SetByteTimeout(40);
  gdz1208_.SetEWrite(false);
  gdz1208_.SetAltRegMapping(altRegMapping);
  SetSpec(spec_);
}

void Connection::SetSpec(const PortSpec& spec) {
  Close();
  meter_.reset();
  identity_ = {};
  lineDiagnosis_.clear();
  spec_ = spec;
  for (TlumProtocol* d :
       std::initializer_list<TlumProtocol*>{&zfk31_, &zfk36_, &gdz1207s_, &gdz1208_}) {
    d->SetNetAddr(spec_.address);
    d->SetEchoSuppression(spec_.echo);
  }
  port_.SetDevice(spec_.device);
  port_.SetBaudRate(spec_.baud);
}

void Connection::SetTrace(const LineTrace& trace) {
  port_.SetOnTrace(trace.bytes);
  port_.SetOnTraceNote(trace.notes);
}

Connection::~Connection() {
  Close();
}

bool Connection::Open() {
  if (spec_.device.empty()) return false;
  port_.Open();
  if (!port_.Active()) return false;
  Configure(zfk31_, catalogue_.delays[1]);
  Configure(zfk36_, catalogue_.delays[7]);
  return true;
}

std::string Connection::OpenErrorDetail() const {
  if (spec_.device.empty()) return "Порт не выбран.\n";
  return ExplainOpenFailure(port_);
}

void Connection::Close() {
  port_.Close();
}

bool Connection::AnyWriteEnabled() const {
  return zfk31_.EWrite() || zfk36_.EWrite() || gdz1207s_.EWrite() || gdz1208_.EWrite();
}

const MeterIdentity& Connection::Identify() {
  identity_ = {};
  meter_.reset();
  lineDiagnosis_.clear();
  MeterIdentity& id = identity_;
  std::vector<LineExchange> traffic3x;
  std::string answered3x;  // a 3x identification that names no known model
  {
    // What the line did, to explain a meter that is not found. A 3x reply
    // that named no known model was a good frame, not noise.
    const LineRecorder recorder(port_);
    zfk31_.GetDevID(id.identification);
    if (zfk31_.LastError() != 0)
      traffic3x = recorder.Exchanges();
    else
      answered3x = id.identification;
  }
  id.path = Dispatch(id.identification);
  if (id.path != ReadPath::ModBus) {
    MakeMeter();
    return id;
  }
  std::string text;
  {
    const LineRecorder recorder(port_);
    gdz1208_.GetDevID(text);
    // A meter answered in 3x but is none we read: say which it is.
    if (gdz1208_.LastError() != 0 && !answered3x.empty()) {
      lineDiagnosis_ = UnsupportedMeterText(answered3x);
    } else if (gdz1208_.LastError() != 0) {
      // Both identifications failed: say what the line did.
      std::vector<LineExchange> all = traffic3x;
      all.insert(all.end(), recorder.Exchanges().begin(), recorder.Exchanges().end());
      lineDiagnosis_ =
          ExplainProbes({ProbeOf(all, spec_.baud, spec_.address, "3x, ModBus")}, 0, spec_.echo);
    }
  }
  id.identification = text;
  if (!Contains(text, "BRC") && !Contains(text, "TGDZ")) {
    if (gdz1208_.LastError() == 0 && !text.empty()) lineDiagnosis_ = UnsupportedMeterText(text);
    id.path = ReadPath::None;
    return id;
  }
  id.twoChannels = Contains(text, "TGDZ2");
  if (id.twoChannels) gdz1208_.SetAltRegMapping(true);
  MakeMeter();
  return id;
}

void Connection::MakeMeter() {
  const auto model = ModelOfPath(identity_.path);
  if (!model) return;
  const TVerRecord* row = FindReference(catalogue_.verTable, identity_.identification);
  std::string caption = row ? row->DevName : "";
  const uint8_t channels = ChannelsOf(identity_.path, identity_.twoChannels, spec_.address);
  const auto make = [&](auto& driver) {
    using Driver = std::remove_reference_t<decltype(driver)>;
    meter_ = std::make_unique<DriverMeter<Driver>>(driver, *model, identity_.path,
                                                   identity_.identification, spec_.address,
                                                   channels, std::move(caption));
  };
  switch (*model) {
    case MeterModel::Zfk31:
      make(zfk31_);
      break;
    case MeterModel::Zfk36:
      make(zfk36_);
      break;
    case MeterModel::Gdz1207s:
      make(gdz1207s_);
      break;
    case MeterModel::Gdz1208:
      make(gdz1208_);
      break;
  }
}

Connected Connect(const PortSpec& spec, const Catalogue& catalogue, const LineTrace& trace,
                  bool altRegMapping) {
  Connected c;
  c.connection = std::make_unique<Connection>(spec, catalogue, altRegMapping);
  c.connection->SetTrace(trace);
  if (!c.connection->Open()) {
    c.result = ConnectResult::PortError;
    c.message = kPortOpenError + spec.name;
    c.detail = c.connection->OpenErrorDetail();
    return c;
  }
  c.connection->Identify();
  c.meter = c.connection->GetMeter();
  if (!c.meter) {
    c.result = ConnectResult::NotFound;
    c.message = kNotFoundError;
    c.detail = c.connection->LineDiagnosis();
    return c;
  }
  c.result = ConnectResult::Ok;
  return c;
}
