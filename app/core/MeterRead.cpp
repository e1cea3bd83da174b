#include "MeterRead.h"

#include <array>
#include <string_view>

#include "app/core/Cp1251.h"
#include "app/core/LineDiagnosis.h"
#include "comm/LumClock.h"

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

// A coefficient as the read takes it: the stored value and its bytes, and the
// shown value from them; the state says whether it came.
template <class Driver>
bool ReadStored(Driver& driver, uint8_t channel, uint8_t index, CoefficientReading& c) {
  if (!driver.ClbReadKRaw(CoefList::K, channel, index, c.stored, c.raw) ||
      driver.LastError() != 0) {
    c.state = ValueState::Failed;
    return false;
  }
  c.state = ValueState::Read;
  return true;
}

template <class Driver>
bool ReadGmax(Driver& driver, uint8_t channel, ChannelReading& c) {
  c.gmax = driver.ClbReadGmax(channel);
  c.gmaxState = driver.LastError() == 0 ? ValueState::Read : ValueState::Failed;
  return c.gmaxState == ValueState::Read;
}

// K0 of a model that shows it scaled by Gmax; without Gmax it is not asked.
template <class Driver>
void ReadScaledK0(Driver& driver, uint8_t channel, float gmax, CoefficientReading& k0) {
  if (ReadStored(driver, channel, 0, k0)) k0.shown = Driver::ShownK0(k0.stored, gmax);
}

template <class Driver>
void ReadKu(Driver& driver, uint8_t channel, CoefficientReading& ku) {
  if (ReadStored(driver, channel, 1, ku)) ku.shown = Driver::ShownKu(ku.stored);
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

TMeterRead::TMeterRead() {
  // Design-time settings of the window's components.
  for (Tlum3xProtocol* d : std::initializer_list<Tlum3xProtocol*>{&Zfk31, &Zfk36, &Gdz1207s}) {
    d->SetComPort(&lumComPort);
    d->SetPacketTimeout(300);
    d->SetEWrite(false);
  }
  Zfk31.SetByteTimeout(100);
  Zfk36.SetByteTimeout(100);
  Gdz1207s.SetByteTimeout(40);
  Gdz1208.SetComPort(&lumComPort);
  Gdz1208.SetPacketTimeout(300);
  Gdz1208.SetByteTimeout(40);
  Gdz1208.SetEWrite(false);
  Gdz1208.SetAltRegMapping(false);
  for (int n = kFirstDelayRow; n <= kLastDelayRow; ++n)
    Delays[static_cast<size_t>(n)] = {};
}

MeterReading TMeterRead::BRefreshClick(MeterReadView& view, const ReadRequest& request) {
  view_ = &view;
  reading_ = {};
  reading_.started = std::chrono::system_clock::now();
  const uint64_t startMs = NowMs();
  // Every driver has the address before the window repaints.
  reading_.address = SetNetAddr(request.netAddr);

  view.SetVersionControlsVisible(false);
  view.ProcessMessages();
  view.SetRefreshEnabled(false);
  for (TlumProtocol* d : std::initializer_list<TlumProtocol*>{&Zfk31, &Zfk36, &Gdz1207s, &Gdz1208})
    d->SetEchoSuppression(EchoSuppression);
  if (Open(request)) {
    const MeterIdentity identity = Identify();
    reading_.identification = identity.identification;
    reading_.path = identity.path;
    RunPath(identity.twoChannels);
    lumComPort.Close();
    ShowRecord();
  }
  view.SetRefreshEnabled(true);
  view_ = nullptr;
  reading_.durationMs = NowMs() - startMs;
  return reading_;
}

uint8_t TMeterRead::SetNetAddr(int netAddr) {
  const auto addr = static_cast<uint8_t>(netAddr < 0 || netAddr > 255 ? 255 : netAddr);
  for (Tlum3xProtocol* d : std::initializer_list<Tlum3xProtocol*>{&Zfk31, &Zfk36, &Gdz1207s})
    d->SetNetAddr(addr);
  Gdz1208.SetNetAddr(addr);
  return addr;
}

bool TMeterRead::Open(const ReadRequest& request) {
  reading_.port = request.portText;
  reading_.baud = request.baudIndex == 0 ? 9600 : 19200;
  if (OpenPort(request)) return true;
  reading_.portErrorDetail = ExplainOpenFailure(lumComPort);
  view_->ShowError(kPortOpenError + request.portText, reading_.portErrorDetail);
  reading_.result = ReadResult::PortError;
  return false;
}

bool TMeterRead::OpenPort(const ReadRequest& request) {
  lumComPort.SetComPort(static_cast<uint8_t>(request.portIndex < 0 ? 0 : request.portIndex + 1));
  lumComPort.SetBaudRate(request.baudIndex == 0 ? 9600 : 19200);
  lumComPort.Open();
  if (!lumComPort.Active()) return false;
  const auto configure = [&](Tlum3xProtocol& d, const TDelayRec& row) {
    d.SetByteTimeout(static_cast<uint32_t>(row.NB));
    d.SetPacketTimeout(static_cast<uint32_t>(row.NP));
    d.SetRepeatCount(static_cast<uint8_t>(row.NR & 0xFF));
  };
  configure(Zfk31, Delays[1]);
  configure(Zfk36, Delays[7]);
  return true;
}

MeterIdentity TMeterRead::Identify() {
  MeterIdentity id;
  {
    // What the line did, to explain a meter that is not found. A 3x reply
    // that named no known model was a good frame, not noise.
    const LineRecorder recorder(lumComPort);
    Zfk31.GetDevID(id.identification);
    identifyTraffic_ = Zfk31.LastError() != 0 ? recorder.Exchanges() : std::vector<LineExchange>{};
  }
  id.path = Dispatch(id.identification);
  if (id.path != ReadPath::ModBus) return id;
  std::string text;
  {
    const LineRecorder recorder(lumComPort);
    Gdz1208.GetDevID(text);
    // Both identifications failed: say what the line did.
    if (Gdz1208.LastError() != 0) {
      std::vector<LineExchange> all = identifyTraffic_;
      all.insert(all.end(), recorder.Exchanges().begin(), recorder.Exchanges().end());
      reading_.lineDiagnosis = ExplainProbes(
          {ProbeOf(all, reading_.baud, reading_.address, "3x, ModBus")}, 0, EchoSuppression);
    }
  }
  id.identification = text;
  if (!Contains(text, "BRC") && !Contains(text, "TGDZ")) {
    id.path = ReadPath::None;
    return id;
  }
  id.twoChannels = Contains(text, "TGDZ2");
  if (id.twoChannels) Gdz1208.SetAltRegMapping(true);
  return id;
}

void TMeterRead::RunPath(bool twoChannels) {
  switch (reading_.path) {
    case ReadPath::Zfk31:
      ReadZfk(Zfk31);
      break;
    case ReadPath::Zfk36:
      ReadZfk(Zfk36);
      break;
    case ReadPath::GdzSingle:
    case ReadPath::GdzDouble:
      ShowVerInfo();
      ReadDeviceNumber(Gdz1207s);
      ReadGdzNode(reading_.channels[0], ReadField::Ek00, ReadField::Ek10);
      if (reading_.path == ReadPath::GdzDouble) ReadGdzSecondNode();
      break;
    case ReadPath::ModBus:
      ReadModBus(twoChannels);
      break;
    case ReadPath::None:
      reading_.result = ReadResult::NotFound;
      view_->ShowError(kNotFoundError, reading_.lineDiagnosis);
  }
}

void TMeterRead::Show(ReadField field) {
  if (auto text = FieldText(reading_, field, DecimalSeparator)) view_->SetFieldText(field, *text);
}

void TMeterRead::ShowVerInfo() {
  reading_.identified = true;
  view_->SetVersionControlsVisible(true);
  view_->SetFieldText(ReadField::EVer, "");
  view_->SetFieldText(ReadField::ECRC, "");
  const TVerRecord* row = FindReference(VerTable, reading_.identification);
  if (!row) return;
  reading_.firmware = ReferenceOf(row);
  reading_.caption = row->DevName;
  Show(ReadField::EVer);
  Show(ReadField::ECRC);
  view_->SetDeviceCaption(row->DevName);
}

template <class Driver>
void TMeterRead::ReadDeviceNumber(Driver& driver) {
  reading_.serial = Cp1251ToUtf8(driver.GetDeviceNumber());
  reading_.serialState = driver.LastError() == 0 ? ValueState::Read : ValueState::Failed;
  Show(ReadField::ELicNo);
}

template <class Driver>
void TMeterRead::ReadZfk(Driver& driver) {
  ShowVerInfo();
  ReadDeviceNumber(driver);
  for (uint8_t channel = 1; channel <= 2; ++channel) {
    ChannelReading& c = reading_.channels[channel - 1u];
    const ReadField k0Field = channel == 1 ? ReadField::Ek00 : ReadField::Ek01;
    if (ReadGmax(driver, channel, c))
      ReadScaledK0(driver, channel, c.gmax, c.k0);
    else
      c.k0.state = ValueState::Failed;
    Show(k0Field);
    ReadKu(driver, channel, c.ku);
    Show(channel == 1 ? ReadField::Ek10 : ReadField::Ek11);
  }
  ReadRecord(driver);
}

void TMeterRead::ReadGdzNode(ChannelReading& c, ReadField k0Field, ReadField kuField) {
  // The node's own Gmax, channel 1 of the node at this address.
  if (ReadGmax(Gdz1207s, 1, c))
    ReadScaledK0(Gdz1207s, 1, c.gmax, c.k0);
  else
    c.k0.state = ValueState::Failed;
  Show(k0Field);
  ReadKu(Gdz1207s, 1, c.ku);
  Show(kuField);
}

void TMeterRead::ReadGdzSecondNode() {
  // The second channel is channel 1 of the node at the next address. At 127
  // there is no next address (the protocol takes 0..127): rather than read
  // node 127 again and show its values as the second channel's, say ERR.
  const uint8_t first = Gdz1207s.NetAddr();
  ChannelReading& second = reading_.channels[1];
  if (first >= 127) {
    second.k0.state = ValueState::Failed;
    second.ku.state = ValueState::Failed;
    Show(ReadField::Ek01);
    Show(ReadField::Ek11);
  } else {
    Gdz1207s.SetNetAddr(static_cast<uint8_t>(first + 1));
    ReadGdzNode(second, ReadField::Ek01, ReadField::Ek11);
  }
  ReadRecord(Gdz1207s);
}

void TMeterRead::ReadModBus(bool twoChannels) {
  ShowVerInfo();
  ReadDeviceNumber(Gdz1208);
  // One Gmax, read once, scales both channels' K0; without it neither is
  // asked for.
  ChannelReading& first = reading_.channels[0];
  const bool gmaxRead = ReadGmax(Gdz1208, 1, first);
  for (uint8_t channel = 1; channel <= (twoChannels ? 2 : 1); ++channel) {
    ChannelReading& c = reading_.channels[channel - 1u];
    if (gmaxRead)
      ReadScaledK0(Gdz1208, channel, first.gmax, c.k0);
    else
      c.k0.state = ValueState::Failed;
    Show(channel == 1 ? ReadField::Ek00 : ReadField::Ek01);
    ReadKu(Gdz1208, channel, c.ku);
    Show(channel == 1 ? ReadField::Ek10 : ReadField::Ek11);
  }
  ReadRecord(Gdz1208);
}

template <class Driver>
void TMeterRead::ReadRecord(Driver& driver) {
  RecordReading& r = reading_.record;
  r.state = driver.ClbReadRecord(r.raw) ? ValueState::Read : ValueState::Failed;
}

void TMeterRead::ShowRecord() {
  Show(ReadField::EClbLic);
  Show(ReadField::EClbDate);
}
