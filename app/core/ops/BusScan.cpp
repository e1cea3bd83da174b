#include "BusScan.h"

#include <algorithm>
#include <initializer_list>

#include "app/core/base/Cp1251.h"
#include "app/core/meter/Connection.h"
#include "comm/LumClock.h"

namespace {

// The serial number is asked of a meter already found: one retry is cheap.
constexpr uint8_t kSerialAttempts = 2;

template <class Driver>
std::string ReadSerial(Driver& driver) {
  std::string serial = driver.GetDeviceNumber();
  return driver.LastError() == 0 ? Cp1251ToUtf8(serial) : std::string();
}

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

TBusScan::TBusScan() {
  for (Tlum3xProtocol* d : std::initializer_list<Tlum3xProtocol*>{&Zfk31, &Zfk36, &Gdz1207s}) {
    d->SetComPort(&lumComPort);
    d->SetEWrite(false);
    // The next probe goes to another address: no recovery pause is owed.
    d->SetRetryPauseMs(0);
  }
  Gdz1208.SetComPort(&lumComPort);
  Gdz1208.SetEWrite(false);
}

void TBusScan::Configure(const ScanTimeouts& timeouts) {
  const auto packet = static_cast<uint32_t>(std::max(timeouts.packetMs, 0));
  const auto byte = static_cast<uint32_t>(std::max(timeouts.byteMs, 0));
  for (TlumProtocol* d :
       std::initializer_list<TlumProtocol*>{&Zfk31, &Zfk36, &Gdz1207s, &Gdz1208}) {
    d->SetPacketTimeout(packet);
    d->SetByteTimeout(byte);
  }
}

std::optional<std::string> TBusScan::Identify(ScanProtocol protocol, uint8_t addr,
                                              uint32_t& replyMs) {
  const auto ask = [&](std::string& text) {
    if (protocol == ScanProtocol::ThreeX) {
      Zfk31.SetNetAddr(addr);
      Zfk31.SetRepeatCount(1);
      Zfk31.GetDevID(text);
      return Zfk31.LastError() == 0 && !text.empty();
    }
    Gdz1208.SetNetAddr(addr);
    Gdz1208.SetRepeatCount(1);
    Gdz1208.GetDevID(text);
    return Gdz1208.LastError() == 0 && !text.empty();
  };
  std::string first;
  std::string second;
  const uint64_t start = lum::NowMs();
  if (!ask(first)) return std::nullopt;
  replyMs = static_cast<uint32_t>(lum::NowMs() - start);
  // One valid frame may still be a neighbour's reply or noise that happened to
  // check out; the same text twice is a meter.
  if (!ask(second) || second != first) return std::nullopt;
  return first;
}

void TBusScan::Describe(FoundMeter& meter, const std::string& raw) {
  meter.identification = Cp1251ToUtf8(raw);
  if (const TVerRecord* row = FindVerRecord(VerTable, VerTableKey(raw)))
    meter.caption = row->DevName;
  if (meter.protocol == ScanProtocol::ModBus) {
    // Only the GDZ-12.08 family is known to carry a serial number register.
    if (raw.find("BRC") == std::string::npos && raw.find("TGDZ") == std::string::npos) return;
    Gdz1208.SetAltRegMapping(raw.find("TGDZ2") != std::string::npos);
    Gdz1208.SetRepeatCount(kSerialAttempts);
    meter.serial = ReadSerial(Gdz1208);
    meter.model = RowOf(MeterModel::Gdz1208).name;
    return;
  }
  const auto serialOf = [&](auto& driver) {
    driver.SetNetAddr(meter.address);
    driver.SetRepeatCount(kSerialAttempts);
    return ReadSerial(driver);
  };
  // A 3x meter the read does not know has no driver to ask.
  const auto model = ModelOfPath(Dispatch(raw));
  if (!model || *model == MeterModel::Gdz1208) return;
  meter.model = RowOf(*model).name;
  switch (*model) {
    case MeterModel::Zfk31:
      meter.serial = serialOf(Zfk31);
      break;
    case MeterModel::Zfk36:
      meter.serial = serialOf(Zfk36);
      break;
    default:
      meter.serial = serialOf(Gdz1207s);
      break;
  }
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
        FoundMeter meter{addr, std::nullopt, baud, protocol, {}, {}, {}, {}, 0};
        const auto id = Identify(protocol, addr, meter.replyMs);
        if (!id) continue;
        Describe(meter, *id);
        // A meter of one node per channel answers alike at the next
        // address: the same meter.
        if (protocol == ScanProtocol::ThreeX && a < to && TwoNodes(*id, addr)) {
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
