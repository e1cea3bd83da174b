#include "BusScan.h"

#include <algorithm>
#include <initializer_list>

#include "app/core/base/Cp1251.h"
#include "app/core/meter/Connection.h"
#include "comm/LumClock.h"
#include "comm/LumUtils.h"

namespace {

// The serial number is asked of a meter already found: one retry is cheap.
constexpr uint8_t kSerialAttempts = 2;

// Whether the identification is that of a meter whose second channel is the
// node at the next address.
bool TwoNodes(const std::string& raw, uint8_t addr) {
  const ReadPath path = Dispatch(raw);
  const auto model = ModelOfPath(path);
  return model && RowOf(*model).nodePerChannel && ChannelsOf(path, false, addr) == 2;
}

}  // namespace

const char* ScanProtocolName(ScanProtocol protocol) {
  return protocol == ScanProtocol::ThreeX ? "3x" : "modbus";
}

const char* FoundStateName(FoundState state) {
  return state == FoundState::Meter ? "meter" : "address_conflict";
}

std::string ScanIdentificationText(const FoundMeter& m) {
  if (m.state == FoundState::Meter) return m.identification;
  return kAddressConflictText + (m.identification.empty() ? "" : " (" + m.identification + ")");
}

TBusScan::TBusScan() {
  for (Tlum3xProtocol* d : std::initializer_list<Tlum3xProtocol*>{&Zfk31, &Zfk36, &Gdz1207s}) {
    d->SetComPort(&lumComPort);
    d->SetEWrite(false);
    // The next probe goes to another address: no recovery pause is owed.
    d->SetRetryPauseMs(0);
  }
  Gdz1208.SetComPort(&lumComPort);
  Gdz1208.SetEWrite(false);
  // Noise ahead of a reply must not hide the meter behind it.
  Gdz1208.SetSkipStrayBytes(true);
}

void TBusScan::Configure(const ScanTimeouts& timeouts) {
  const auto packet = static_cast<uint32_t>(std::max(timeouts.packetMs, 0));
  const auto byte = static_cast<uint32_t>(std::max(timeouts.byteMs, 0));
  byteMs_ = byte;
  for (TlumProtocol* d :
       std::initializer_list<TlumProtocol*>{&Zfk31, &Zfk36, &Gdz1207s, &Gdz1208}) {
    d->SetPacketTimeout(packet);
    d->SetByteTimeout(byte);
  }
}

TBusScan::Probe TBusScan::Ask(ScanProtocol protocol, uint8_t addr) {
  TlumProtocol& engine = protocol == ScanProtocol::ThreeX ? static_cast<TlumProtocol&>(Zfk31)
                                                          : static_cast<TlumProtocol&>(Gdz1208);
  engine.SetNetAddr(addr);
  engine.SetRepeatCount(1);
  std::string text;
  const uint64_t bytesBefore = lumComPort.BytesReceived();
  const uint64_t start = lum::NowMs();
  if (protocol == ScanProtocol::ThreeX)
    Zfk31.GetDevID(text);
  else
    Gdz1208.GetDevID(text);
  Probe probe;
  probe.ms = static_cast<uint32_t>(lum::NowMs() - start);
  const uint32_t code = engine.LastError();
  const bool heard = lumComPort.BytesReceived() != bytesBefore;
  // A 3x reply from another address is a slow neighbour's late answer. The
  // ModBus engine skips such a frame as stray bytes already.
  const bool fromAddr = protocol == ScanProtocol::ModBus || Zfk31.ReplyAddress() == addr;
  if (code == lumOk && !text.empty() && fromAddr) {
    probe.kind = Probe::Answer;
    probe.text = text;
  } else if (heard) {
    probe.kind = Probe::Garbled;
  }
  // A frame that ran to the end its header announced, whole or failing only
  // its check, leaves the line quiet when one meter sent it.
  probe.followed =
      heard && (code == lumOk || code == lumErrChecksum) && lumComPort.WaitForInput(byteMs_);
  return probe;
}

TBusScan::Probe TBusScan::AskAgainIfSilent(ScanProtocol protocol, uint8_t addr) {
  Probe probe = Ask(protocol, addr);
  if (probe.kind == Probe::Silent) probe = Ask(protocol, addr);
  return probe;
}

std::optional<FoundState> TBusScan::Identify(FoundMeter& meter, std::string& raw) {
  const Probe first = AskAgainIfSilent(meter.protocol, meter.address);
  if (first.kind == Probe::Silent) return std::nullopt;
  // One valid frame may still be a neighbour's reply or noise that happened to
  // check out; the same text twice is a meter.
  const Probe second = AskAgainIfSilent(meter.protocol, meter.address);
  const Probe& answer = first.kind == Probe::Answer ? first : second;
  raw = answer.kind == Probe::Answer ? answer.text : std::string();
  meter.replyMs = answer.kind == Probe::Answer ? answer.ms : first.ms;
  if (first.followed || second.followed) return FoundState::AddressConflict;
  if (first.kind != Probe::Answer || second.kind != Probe::Answer) return std::nullopt;
  return first.text == second.text ? FoundState::Meter : FoundState::AddressConflict;
}

template <class Driver>
std::optional<std::string> TBusScan::SerialOf(Driver& driver) {
  driver.SetRepeatCount(kSerialAttempts);
  std::string serials[2];
  for (std::string& serial : serials) {
    serial = driver.GetDeviceNumber();
    // Every attempt answered, none whole: two meters of one model.
    if (driver.LastError() == lumErrChecksum) return std::nullopt;
    if (driver.LastError() != lumOk) serial.clear();
  }
  if (!serials[0].empty() && !serials[1].empty() && serials[0] != serials[1]) return std::nullopt;
  return Cp1251ToUtf8(serials[0].empty() ? serials[1] : serials[0]);
}

void TBusScan::Describe(FoundMeter& meter, const std::string& raw) {
  meter.identification = Cp1251ToUtf8(raw);
  if (const TVerRecord* row = FindVerRecord(VerTable, VerTableKey(raw)))
    meter.caption = row->DevName;
  std::optional<std::string> serial;
  if (meter.protocol == ScanProtocol::ModBus) {
    // Only the GDZ-12.08 family is known to carry a serial number register.
    if (raw.find("BRC") == std::string::npos && raw.find("TGDZ") == std::string::npos) return;
    meter.model = RowOf(MeterModel::Gdz1208).name;
    if (meter.state != FoundState::Meter) return;
    Gdz1208.SetAltRegMapping(raw.find("TGDZ2") != std::string::npos);
    serial = SerialOf(Gdz1208);
  } else {
    // A 3x meter the read does not know has no driver to ask.
    const auto model = ModelOfPath(Dispatch(raw));
    if (!model || *model == MeterModel::Gdz1208) return;
    meter.model = RowOf(*model).name;
    if (meter.state != FoundState::Meter) return;
    const auto serialOf = [&](auto& driver) {
      driver.SetNetAddr(meter.address);
      return SerialOf(driver);
    };
    if (*model == MeterModel::Zfk31)
      serial = serialOf(Zfk31);
    else if (*model == MeterModel::Zfk36)
      serial = serialOf(Zfk36);
    else
      serial = serialOf(Gdz1207s);
  }
  if (serial)
    meter.serial = *serial;
  else
    meter.state = FoundState::AddressConflict;
}

ScanOutcome TBusScan::Run(const ScanRequest& request, ScanListener& listener) {
  ScanOutcome outcome;
  Configure(request.timeouts);
  lumComPort.SetDevice(request.port.device);
  const int from = std::clamp(request.from, 0, 127);
  const int to = std::clamp(request.to, 0, 127);
  for (uint32_t baud : request.bauds) {
    lumComPort.SetBaudRate(baud);
    if (!lumComPort.Open()) {
      outcome.result = ScanResult::PortError;
      outcome.error = kPortOpenError + request.port.name;
      return outcome;
    }
    // Bytes left from the other speed are noise at this one.
    lumComPort.Purge();
    for (ScanProtocol protocol : request.protocols) {
      for (int a = from; a <= to; ++a) {
        if (listener.Cancelled()) {
          lumComPort.Close();
          outcome.result = ScanResult::Cancelled;
          return outcome;
        }
        const auto addr = static_cast<uint8_t>(a);
        listener.OnProgress({baud, protocol, a, outcome.meters.size()});
        FoundMeter meter{addr, std::nullopt, baud, protocol, {}, {}, {}, {}, 0, FoundState::Meter};
        std::string raw;
        const auto state = Identify(meter, raw);
        if (!state) continue;
        meter.state = *state;
        Describe(meter, raw);
        // A meter of one node per channel answers alike at the next
        // address: the same meter.
        if (meter.state == FoundState::Meter && protocol == ScanProtocol::ThreeX && a < to &&
            TwoNodes(raw, addr)) {
          meter.secondAddress = static_cast<uint8_t>(a + 1);
          ++a;
        }
        outcome.meters.push_back(meter);
        listener.OnFound(meter);
      }
    }
  }
  lumComPort.Close();
  return outcome;
}
