#include "MeterSnapshotRead.h"

#include <span>

#include "app/core/base/Cp1251.h"
#include "comm/LumClock.h"

namespace {

// A coefficient of a list the model has: one the area read did not bring is
// a failed one, not one the model lacks.
Coefficient Taken(const Coefficient& c, CoefRef place) {
  if (!c.Read()) return {place, ValueState::Failed, 0, {}};
  return {place, ValueState::Read, c.stored, c.raw};
}

class SnapshotReader {
 public:
  SnapshotReader(Meter& meter, MeterSnapshot& snap) : m_(meter), snap_(snap) {}

  void Run() {
    ReadMeterItems();
    if (!m_.Row().nodePerChannel) {
      ReadChannels(1, m_.Channels());
    } else {
      ReadChannels(1, 1);
      if (m_.Path() == ReadPath::GdzDouble) {
        if (!m_.HasChannel(2)) return NoSecondNode();
        ReadChannels(2, 1);
      }
    }
    snap_.record.state = m_.ReadRecord(snap_.record.raw);
  }

 private:
  // Serial number, firmware text and clock: once per meter. On the GDZ-12.08
  // the serial number comes first: it tells whether the channels are swapped,
  // which SFR needs.
  void ReadMeterItems() {
    snap_.serialState = m_.ReadSerial();
    snap_.serial = m_.Id().serial;
    std::string version;
    snap_.softVerState = m_.ReadSoftVer(version);
    snap_.softVer = Cp1251ToUtf8(version);
    snap_.clock.state = m_.ReadClock(snap_.clock.raw);
  }

  // The lists of count channels from first on in one area read, then each
  // channel's Gmax, G and SFR.
  void ReadChannels(uint8_t first, uint8_t count) {
    std::array<CoefficientLists, 2> lists{};
    if (m_.ReadLists(first, std::span(lists).first(count)))
      snap_.integrity = m_.IntegrityFault(false);  // what that read found
    for (uint8_t i = 0; i < count; ++i) {
      SnapshotChannel& c = snap_.channels[first - 1u + i];
      const auto channel = static_cast<uint8_t>(first + i);
      c.present = true;
      for (size_t n = 0; n < c.k.size(); ++n) {
        c.k[n] = Taken(lists[i].k[n], c.k[n].ref);
        c.obr[n] = Taken(lists[i].obr[n], c.obr[n].ref);
      }
      c.gmax = m_.ReadGmax(channel);
      c.g = m_.ReadPresent(channel);
      c.sfr = m_.ReadSfr(channel);
    }
  }

  // A two-node GDZ-12.07S at 127: no node after it to ask, so its items fail
  // rather than repeat node 127's.
  void NoSecondNode() {
    SnapshotChannel& second = snap_.channels[1];
    second.present = true;
    for (size_t n = 0; n < second.k.size(); ++n)
      second.k[n].state = second.obr[n].state = ValueState::Failed;
    second.gmax.state = second.g.state = second.sfr.state = ValueState::Failed;
    snap_.record.state = ValueState::Failed;
  }

  Meter& m_;
  MeterSnapshot& snap_;
};

void CheckFirmware(MeterSnapshot& snap) {
  if (snap.softVerState != ValueState::Read)
    snap.firmwareCheck = FirmwareCheck::NotChecked;
  else if (snap.firmware.source == FirmwareSource::None)
    snap.firmwareCheck = FirmwareCheck::NoReference;
  else if (!snap.firmwareVersionConfigured)
    snap.firmwareCheck = FirmwareCheck::Placeholder;
  else
    snap.firmwareCheck = CompareFirmware(snap.softVer, snap.firmware.version);
}

}  // namespace

MeterSnapshot TakeSnapshot(Meter& meter, const Catalogue& catalogue) {
  MeterSnapshot snap;
  snap.path = meter.Path();
  snap.identification = meter.Identification();
  snap.address = meter.Address();
  const TVerRecord* row = FindReference(catalogue.verTable, snap.identification);
  snap.firmware = ReferenceOf(row);
  snap.firmwareVersionConfigured = row && row->VersionConfigured;
  if (row) snap.caption = row->DevName;
  SnapshotReader(meter, snap).Run();
  CheckFirmware(snap);
  return snap;
}

MeterSnapshot TakeSnapshot(const PortSpec& spec, const Catalogue& catalogue,
                           const LineTrace& trace) {
  // To the millisecond, as files keep it.
  const auto started =
      std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
  const uint64_t startMs = lum::NowMs();
  Connected c = Connect(spec, catalogue, trace);
  MeterSnapshot snap;
  if (c.result == ConnectResult::Ok) {
    snap = TakeSnapshot(*c.meter, catalogue);
  } else {
    snap.result =
        c.result == ConnectResult::PortError ? ReadResult::PortError : ReadResult::NotFound;
    snap.identification = c.connection->Identity().identification;
    snap.path = c.connection->Identity().path;
  }
  c.connection->Close();
  snap.started = started;
  snap.port = spec.name;
  snap.baud = spec.baud;
  snap.address = spec.address;
  snap.durationMs = lum::NowMs() - startMs;
  return snap;
}
