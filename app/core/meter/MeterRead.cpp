#include "MeterRead.h"

#include "app/core/base/Cp1251.h"
#include "comm/LumClock.h"

MeterReading TMeterRead::BRefreshClick(MeterReadView& view, const PortSpec& spec) {
  view_ = &view;
  reading_ = {};
  reading_.started = std::chrono::system_clock::now();
  const uint64_t startMs = lum::NowMs();
  reading_.address = spec.address;
  reading_.port = spec.name;
  reading_.baud = spec.baud;
  // Every driver has the address before the window repaints.
  line_.SetCatalogue(catalogue_);
  line_.SetSpec(spec);
  line_.SetTrace(trace_);

  view.SetVersionControlsVisible(false);
  view.ProcessMessages();
  view.SetRefreshEnabled(false);
  if (!line_.Open()) {
    reading_.portErrorDetail = line_.OpenErrorDetail();
    view_->ShowError(kPortOpenError + spec.name, reading_.portErrorDetail);
    reading_.result = ReadResult::PortError;
  } else {
    line_.Identify();
    meter_ = line_.GetMeter();
    reading_.lineDiagnosis = line_.LineDiagnosis();
    RunPath();
    line_.Close();
    ShowRecord();
  }
  meter_ = nullptr;
  view.SetRefreshEnabled(true);
  view_ = nullptr;
  reading_.durationMs = lum::NowMs() - startMs;
  return reading_;
}

void TMeterRead::RunPath() {
  reading_.identification = line_.Identity().identification;
  reading_.path = line_.Identity().path;
  if (!meter_) {
    reading_.result = ReadResult::NotFound;
    view_->ShowError(kNotFoundError, reading_.lineDiagnosis);
    return;
  }
  reading_.model = meter_->Id().model;
  switch (meter_->Path()) {
    case ReadPath::Zfk31:
    case ReadPath::Zfk36:
      ReadZfk();
      break;
    case ReadPath::GdzSingle:
    case ReadPath::GdzDouble:
      ShowVerInfo();
      ReadDeviceNumber();
      ReadGdzNode(1, ReadField::Ek00, ReadField::Ek10);
      if (meter_->Path() == ReadPath::GdzDouble) ReadGdzSecondNode();
      break;
    case ReadPath::ModBus:
      ReadModBus();
      break;
    case ReadPath::None:
      break;
  }
}

void TMeterRead::Show(ReadField field) {
  if (auto text = FieldText(reading_, field, decimalSeparator_)) view_->SetFieldText(field, *text);
}

void TMeterRead::ShowVerInfo() {
  reading_.identified = true;
  view_->SetVersionControlsVisible(true);
  view_->SetFieldText(ReadField::EVer, "");
  view_->SetFieldText(ReadField::ECRC, "");
  const TVerRecord* row = FindReference(catalogue_.verTable, reading_.identification);
  if (!row) return;
  reading_.firmware = ReferenceOf(row);
  reading_.caption = row->DevName;
  Show(ReadField::EVer);
  Show(ReadField::ECRC);
  view_->SetDeviceCaption(row->DevName);
}

void TMeterRead::ReadDeviceNumber() {
  reading_.serialState = meter_->ReadSerial();
  reading_.serial = meter_->Id().serial;
  Show(ReadField::ELicNo);
}

bool TMeterRead::ReadGmax(uint8_t channel) {
  ChannelReading& c = reading_.channels[channel - 1u];
  const SnapshotValue gmax = meter_->ReadGmax(channel);
  c.gmax = gmax.value;
  c.gmaxState = gmax.state;
  return c.gmaxState == ValueState::Read;
}

// K0 of a model that shows it scaled by Gmax; without Gmax it is not asked.
void TMeterRead::ReadK0(uint8_t channel, float gmax, bool gmaxRead) {
  ChannelReading& c = reading_.channels[channel - 1u];
  if (!gmaxRead) {
    c.k0.state = ValueState::Failed;
    return;
  }
  c.k0 = meter_->ReadCoefficient({CoefList::K, channel, 0});
  if (c.k0.Read()) c.k0Shown = meter_->Shown(c.k0.ref, c.k0.stored, gmax).value_or(0);
}

void TMeterRead::ReadKu(uint8_t channel) {
  ChannelReading& c = reading_.channels[channel - 1u];
  c.ku = meter_->ReadCoefficient({CoefList::K, channel, 1});
  if (c.ku.Read()) c.kuShown = meter_->Shown(c.ku.ref, c.ku.stored, 0).value_or(0);
}

void TMeterRead::ReadZfk() {
  ShowVerInfo();
  ReadDeviceNumber();
  for (uint8_t channel = 1; channel <= 2; ++channel) {
    // Gmax first: the K0 read needs its value.
    const bool gmaxRead = ReadGmax(channel);
    ReadK0(channel, reading_.channels[channel - 1u].gmax, gmaxRead);
    Show(channel == 1 ? ReadField::Ek00 : ReadField::Ek01);
    ReadKu(channel);
    Show(channel == 1 ? ReadField::Ek10 : ReadField::Ek11);
  }
  ReadRecord();
}

void TMeterRead::ReadGdzNode(uint8_t channel, ReadField k0Field, ReadField kuField) {
  // The node's own Gmax, channel 1 of the node of this channel.
  const bool gmaxRead = ReadGmax(channel);
  ReadK0(channel, reading_.channels[channel - 1u].gmax, gmaxRead);
  Show(k0Field);
  ReadKu(channel);
  Show(kuField);
}

void TMeterRead::ReadGdzSecondNode() {
  // The second channel is channel 1 of the node at the next address. At 127
  // there is no next address (the protocol takes 0..127): rather than read
  // node 127 again and show its values as the second channel's, say ERR.
  if (!meter_->HasChannel(2)) {
    ChannelReading& second = reading_.channels[1];
    second.k0.state = ValueState::Failed;
    second.ku.state = ValueState::Failed;
    Show(ReadField::Ek01);
    Show(ReadField::Ek11);
  } else {
    ReadGdzNode(2, ReadField::Ek01, ReadField::Ek11);
  }
  ReadRecord();
}

void TMeterRead::ReadModBus() {
  ShowVerInfo();
  ReadDeviceNumber();
  // One Gmax, read once, scales both channels' K0; without it neither is
  // asked for.
  const bool gmaxRead = ReadGmax(1);
  for (uint8_t channel = 1; channel <= meter_->Channels(); ++channel) {
    ReadK0(channel, reading_.channels[0].gmax, gmaxRead);
    Show(channel == 1 ? ReadField::Ek00 : ReadField::Ek01);
    ReadKu(channel);
    Show(channel == 1 ? ReadField::Ek10 : ReadField::Ek11);
  }
  ReadRecord();
}

void TMeterRead::ReadRecord() {
  RecordReading& r = reading_.record;
  r.state = meter_->ReadRecord(r.raw);
}

void TMeterRead::ShowRecord() {
  Show(ReadField::EClbLic);
  Show(ReadField::EClbDate);
}
