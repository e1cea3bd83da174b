#include "MeterSnapshotRead.h"

#include <span>

#include "app/core/Cp1251.h"
#include "comm/LumClock.h"

namespace {

ValueState StateOf(bool ok) {
  return ok ? ValueState::Read : ValueState::Failed;
}

// A value the driver returns as a float, judged by LastError.
template <class Driver, class Op>
void TakeValue(Driver& driver, SnapshotValue& v, Op op) {
  v.value = op();
  v.state = StateOf(driver.LastError() == 0);
}

SnapshotCoefficient Coefficient(const StoredCoefficient& c) {
  return {StateOf(c.read), c.read ? c.value : 0.0f, c.read ? c.raw : Bytes4{}};
}

}  // namespace

MeterSnapshot TMeterSnapshot::Take(const ReadRequest& request) {
  snap_ = {};
  // To the millisecond, as files keep it.
  snap_.started = std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
  const uint64_t startMs = NowMs();
  // Nothing of this is ever written: whatever an earlier operation left on.
  for (Tlum3xProtocol* d :
       std::initializer_list<Tlum3xProtocol*>{&read_.Zfk31, &read_.Zfk36, &read_.Gdz1207s})
    d->SetEWrite(false);
  read_.Gdz1208.SetEWrite(false);

  snap_.address = read_.SetNetAddr(request.netAddr);
  snap_.port = request.portText;
  snap_.baud = request.baudIndex == 0 ? 9600 : 19200;
  if (!read_.OpenPort(request)) {
    snap_.result = ReadResult::PortError;
  } else {
    const MeterIdentity identity = read_.Identify();
    snap_.identification = identity.identification;
    snap_.path = identity.path;
    twoChannels_ = identity.twoChannels;
    if (snap_.path == ReadPath::None)
      snap_.result = ReadResult::NotFound;
    else
      ReadModel();
    read_.lumComPort.Close();
  }
  snap_.durationMs = NowMs() - startMs;
  return snap_;
}

void TMeterSnapshot::ReadModel() {
  const TVerRecord* row = FindReference(read_.VerTable, snap_.identification);
  snap_.firmware = ReferenceOf(row);
  snap_.firmwareVersionConfigured = row && row->VersionConfigured;
  if (row) snap_.caption = row->DevName;
  switch (snap_.path) {
    case ReadPath::Zfk31:
      ReadMeterItems(read_.Zfk31);
      ReadChannels(read_.Zfk31, 2);
      ReadRecord(read_.Zfk31);
      break;
    case ReadPath::Zfk36:
      ReadMeterItems(read_.Zfk36);
      ReadChannels(read_.Zfk36, 2);
      ReadRecord(read_.Zfk36);
      break;
    case ReadPath::GdzSingle:
      ReadMeterItems(read_.Gdz1207s);
      ReadChannels(read_.Gdz1207s, 1);
      ReadRecord(read_.Gdz1207s);
      break;
    case ReadPath::GdzDouble:
      ReadMeterItems(read_.Gdz1207s);
      ReadChannels(read_.Gdz1207s, 1);
      ReadSecondGdzNode();
      break;
    case ReadPath::ModBus:
      // GetDeviceNumber first: it learns whether the channels are swapped,
      // which ClbReadSFR needs.
      ReadMeterItems(read_.Gdz1208);
      ReadChannels(read_.Gdz1208, twoChannels_ ? 2 : 1);
      ReadRecord(read_.Gdz1208);
      break;
    case ReadPath::None:
      break;
  }
  CheckFirmware();
}

template <class Driver>
void TMeterSnapshot::ReadMeterItems(Driver& driver) {
  snap_.serial = Cp1251ToUtf8(driver.GetDeviceNumber());
  snap_.serialState = StateOf(driver.LastError() == 0);
  std::string version;
  snap_.softVerState = StateOf(driver.ClbReadSoftVer(version));
  snap_.softVer = Cp1251ToUtf8(version);
  if constexpr (requires(MeterClockBytes & b) { driver.ClbReadClock(b); })
    snap_.clock.state = StateOf(driver.ClbReadClock(snap_.clock.raw));
}

template <class Driver>
void TMeterSnapshot::ReadChannels(Driver& driver, size_t count, size_t first) {
  std::array<CoefficientLists, 2> lists{};
  driver.ClbReadLists(std::span(lists).first(count));
  for (size_t i = 0; i < count; ++i) {
    SnapshotChannel& c = snap_.channels[first + i];
    const auto channel = static_cast<uint8_t>(i + 1);
    c.present = true;
    for (size_t n = 0; n < c.k.size(); ++n) {
      c.k[n] = Coefficient(lists[i].k[n]);
      c.obr[n] = Coefficient(lists[i].obr[n]);
    }
    TakeValue(driver, c.gmax, [&] { return driver.ClbReadGmax(channel); });
    TakeValue(driver, c.g, [&] { return driver.ClbReadG(channel); });
    if constexpr (requires { driver.ClbReadSFR(channel); })
      TakeValue(driver, c.sfr, [&] { return driver.ClbReadSFR(channel); });
  }
}

template <class Driver>
void TMeterSnapshot::ReadRecord(Driver& driver) {
  snap_.record.state = StateOf(driver.ClbReadRecord(snap_.record.raw));
}

void TMeterSnapshot::ReadSecondGdzNode() {
  TlumGdz1207s& gdz = read_.Gdz1207s;
  const uint8_t first = gdz.NetAddr();
  if (first >= 127) {
    // No node after 127: its items fail rather than repeat node 127's.
    SnapshotChannel& second = snap_.channels[1];
    second.present = true;
    for (size_t n = 0; n < second.k.size(); ++n)
      second.k[n].state = second.obr[n].state = ValueState::Failed;
    second.gmax.state = second.g.state = second.sfr.state = ValueState::Failed;
    snap_.record.state = ValueState::Failed;
    return;
  }
  gdz.SetNetAddr(static_cast<uint8_t>(first + 1));
  ReadChannels(gdz, 1, 1);
  // The read takes a two-node meter's calibration record from this node.
  ReadRecord(gdz);
  gdz.SetNetAddr(first);
}

void TMeterSnapshot::CheckFirmware() {
  if (snap_.softVerState != ValueState::Read)
    snap_.firmwareCheck = FirmwareCheck::NotChecked;
  else if (snap_.firmware.source == FirmwareSource::None)
    snap_.firmwareCheck = FirmwareCheck::NoReference;
  else if (!snap_.firmwareVersionConfigured)
    snap_.firmwareCheck = FirmwareCheck::Placeholder;
  else
    snap_.firmwareCheck = CompareFirmware(snap_.softVer, snap_.firmware.version);
}
