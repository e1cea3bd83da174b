#include "MeterRead.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/core/Cp1251.h"
#include "comm/LumUtils.h"

namespace {

constexpr const char* kNoData = "Нет данных или не поддерживается";

// GDZ-12.08 scaling: K0 is stored in units of 2^-23 * 1.25 of Gmax, and Ku so
// that a reset meter shows 1.0.
constexpr double kGdz1208K0Scale = 1.4901161194e-7;
constexpr double kGdz1208KuScale = 6710886.4;

bool Contains(const std::string& text, const char* key) {
  return text.find(key) != std::string::npos;
}

using Value = std::optional<double>;

// A 4-byte big-endian float read straight from the Rtc2k area (Gmax of the ZFK
// meters); nullopt when the read failed.
template <class Engine>
Value ReadGmax(Engine& engine, uint16_t address) {
  std::array<uint8_t, 4> b{};
  engine.ReadRtc2k(address, b, 4);
  if (engine.LastError() != 0) return std::nullopt;
  SwapBytes32(std::span<uint8_t, 4>(b));
  float gmax;
  std::memcpy(&gmax, b.data(), 4);
  return gmax;
}

template <class Driver>
Value ReadCoefficient(Driver& driver, uint8_t channel, uint8_t index) {
  float value = 0;
  driver.ClbReadK(channel, index, value);
  if (driver.LastError() != 0) return std::nullopt;
  return value;
}

}  // namespace

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

std::string TMeterRead::Format(double value) const {
  // A float times a float may run to some eighty digits before the point (a
  // meter with odd memory); the text takes whatever length the number needs,
  // since a cut-off number would read as another.
  const int length = std::snprintf(nullptr, 0, "%8.5f", value);
  std::string s(static_cast<size_t>(std::max(length, 0)), '\0');
  std::snprintf(s.data(), s.size() + 1, "%8.5f", value);
  for (char& c : s)
    if (c == '.') c = DecimalSeparator;
  return s;
}

ReadOutcome TMeterRead::BRefreshClick(MeterReadView& view, const ReadRequest& request) {
  view_ = &view;
  ReadOutcome outcome;
  const auto addr =
      static_cast<uint8_t>(request.netAddr < 0 || request.netAddr > 255 ? 255 : request.netAddr);
  Zfk31.SetNetAddr(addr);
  Zfk36.SetNetAddr(addr);
  Gdz1207s.SetNetAddr(addr);
  Gdz1208.SetNetAddr(addr);

  view.SetVersionControlsVisible(false);
  view.ProcessMessages();
  record_ = {};
  recordRead_ = false;
  view.SetRefreshEnabled(false);

  lumComPort.SetComPort(static_cast<uint8_t>(request.portIndex < 0 ? 0 : request.portIndex + 1));
  lumComPort.SetBaudRate(request.baudIndex == 0 ? 9600 : 19200);
  lumComPort.Open();
  if (!lumComPort.Active()) {
    view.ShowError("Не удалось открыть порт " + request.portText);
    view.SetRefreshEnabled(true);
    outcome.result = ReadResult::PortError;
    return outcome;
  }

  const auto configure = [&](Tlum3xProtocol& d, const TDelayRec& row) {
    d.SetNetAddr(addr);
    d.SetByteTimeout(static_cast<uint32_t>(row.NB));
    d.SetPacketTimeout(static_cast<uint32_t>(row.NP));
    d.SetRepeatCount(static_cast<uint8_t>(row.NR & 0xFF));
  };
  configure(Zfk31, Delays[1]);
  configure(Zfk36, Delays[7]);

  std::string text;
  Zfk31.GetDevID(text);
  outcome.identification = text;
  outcome.path = Dispatch(text);
  switch (outcome.path) {
    case ReadPath::Zfk31:
      ShowVerInfo(text);
      ShowDeviceNumber(Zfk31);
      ReadZfk(Zfk31, 204, 208, 26214.0, 32);
      break;
    case ReadPath::Zfk36:
      ShowVerInfo(text);
      ShowDeviceNumber(Zfk36);
      ReadZfk(Zfk36, 308, 312, 1.0, 2016);
      break;
    case ReadPath::GdzSingle:
    case ReadPath::GdzDouble:
      ShowVerInfo(text);
      ShowDeviceNumber(Gdz1207s);
      ReadGdzNode(ReadField::Ek00, ReadField::Ek10);
      if (outcome.path == ReadPath::GdzDouble) ReadGdzSecondNode();
      break;
    default: {
      std::string modbusText;
      Gdz1208.GetDevID(modbusText);
      outcome.identification = modbusText;
      if (ReadModBus(modbusText)) {
        outcome.path = ReadPath::ModBus;
      } else {
        outcome.path = ReadPath::None;
        outcome.result = ReadResult::NotFound;
        view.ShowError("Прибор не найден ");
      }
    }
  }

  lumComPort.Close();
  ShowRecord();
  view.SetRefreshEnabled(true);
  view_ = nullptr;
  return outcome;
}

ReadPath TMeterRead::Dispatch(const std::string& text) const {
  if (Contains(text, "ZFK-31")) return ReadPath::Zfk31;
  if (Contains(text, "ZFK-36") || Contains(text, "BRC") || Contains(text, "GDZ23B"))
    return ReadPath::Zfk36;
  if (Contains(text, "GDZ25")) return ReadPath::GdzSingle;
  if (Contains(text, "GDZ27")) return ReadPath::GdzDouble;
  return ReadPath::ModBus;
}

void TMeterRead::ShowVerInfo(const std::string& identification) {
  view_->SetVersionControlsVisible(true);
  view_->SetFieldText(ReadField::EVer, "");
  view_->SetFieldText(ReadField::ECRC, "");
  const TVerRecord* row = FindVerRecord(VerTable, VerTableKey(identification));
  if (!row) return;
  view_->SetFieldText(ReadField::EVer, DecodeVersion(row->CodedVer));
  view_->SetFieldText(ReadField::ECRC, CrcDisplay(row->StoredCRC));
  view_->SetDeviceCaption(row->DevName);
}

template <class Driver>
void TMeterRead::ShowDeviceNumber(Driver& driver) {
  view_->SetFieldText(ReadField::ELicNo, Cp1251ToUtf8(driver.GetDeviceNumber()));
}

void TMeterRead::Show(ReadField field, const std::optional<double>& value) {
  view_->SetFieldText(field, value ? Format(*value) : "ERR");
}

template <class Driver>
void TMeterRead::ReadZfk(Driver& driver, uint16_t gmax1, uint16_t gmax2, double k0Divisor,
                         uint16_t recordAddress) {
  const auto k0 = [&](uint16_t gmaxAddress, uint8_t channel) -> Value {
    const Value gmax = ReadGmax(driver, gmaxAddress);
    if (!gmax) return std::nullopt;
    const Value k = ReadCoefficient(driver, channel, 0);
    if (!k) return std::nullopt;
    return *k * *gmax / k0Divisor;
  };
  Show(ReadField::Ek00, k0(gmax1, 1));
  Show(ReadField::Ek10, ReadCoefficient(driver, 1, 1));
  Show(ReadField::Ek01, k0(gmax2, 2));
  Show(ReadField::Ek11, ReadCoefficient(driver, 2, 1));
  driver.ReadRtc2k(recordAddress, record_, 16);
  recordRead_ = driver.LastError() == 0;
}

void TMeterRead::ReadGdzNode(ReadField k0Field, ReadField kuField) {
  const auto k0 = [&]() -> Value {
    const float gmax = Gdz1207s.ClbReadGmax(1);
    if (Gdz1207s.LastError() != 0) return std::nullopt;
    const Value k = ReadCoefficient(Gdz1207s, 1, 0);
    if (!k) return std::nullopt;
    return *k * double{gmax};
  };
  Show(k0Field, k0());
  Show(kuField, ReadCoefficient(Gdz1207s, 1, 1));
}

void TMeterRead::ReadGdzSecondNode() {
  // The second channel is channel 1 of the node at the next address. At 127
  // there is no next address (the protocol takes 0..127): rather than read
  // node 127 again and show its values as the second channel's, say ERR.
  const uint8_t first = Gdz1207s.NetAddr();
  if (first >= 127) {
    view_->SetFieldText(ReadField::Ek01, "ERR");
    view_->SetFieldText(ReadField::Ek11, "ERR");
  } else {
    Gdz1207s.SetNetAddr(static_cast<uint8_t>(first + 1));
    ReadGdzNode(ReadField::Ek01, ReadField::Ek11);
  }
  Gdz1207s.ReadCfg(496, record_, 16);
  recordRead_ = Gdz1207s.LastError() == 0;
}

bool TMeterRead::ReadModBus(const std::string& text) {
  if (!Contains(text, "BRC") && !Contains(text, "TGDZ")) return false;
  const bool twoChannels = Contains(text, "TGDZ2");
  if (twoChannels) Gdz1208.SetAltRegMapping(true);
  ShowVerInfo(text);
  ShowDeviceNumber(Gdz1208);
  const float gmax = Gdz1208.ClbReadGmax(1);
  const bool gmaxRead = Gdz1208.LastError() == 0;
  const auto k0 = [&](uint8_t channel) -> Value {
    // Both channels scale by the one Gmax read; without it there is no value.
    if (!gmaxRead) return std::nullopt;
    const Value k = ReadCoefficient(Gdz1208, channel, 0);
    if (!k) return std::nullopt;
    return *k * kGdz1208K0Scale * double{gmax};
  };
  const auto ku = [&](uint8_t channel) -> Value {
    const Value k = ReadCoefficient(Gdz1208, channel, 1);
    if (!k) return std::nullopt;
    return *k * kGdz1208KuScale;
  };
  Show(ReadField::Ek00, k0(1));
  Show(ReadField::Ek10, ku(1));
  if (twoChannels) {
    Show(ReadField::Ek01, k0(2));
    Show(ReadField::Ek11, ku(2));
  }
  recordRead_ = Gdz1208.ReadHoldingRegisters(171, 8, record_) && Gdz1208.LastError() == 0;
  return true;
}

std::string RecordLicenceText(const std::array<uint8_t, 16>& r) {
  const std::string raw = {static_cast<char>(r[4]), static_cast<char>(r[5]),
                           static_cast<char>(r[6]), static_cast<char>(r[7])};
  const std::string version = {static_cast<char>(r[1]), '.', static_cast<char>(r[2]),
                               static_cast<char>(r[3])};
  return Cp1251ToUtf8(raw + ", v." + version);
}

std::string RecordDateText(const std::array<uint8_t, 16>& r) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2x.%.2x.%.2x %.2x:%.2x:%.2x", r[10], r[11], r[12], r[13],
                r[14], r[15]);
  return text;
}

void TMeterRead::ShowRecord() {
  if (!recordRead_) {
    view_->SetFieldText(ReadField::EClbLic, kNoData);
    view_->SetFieldText(ReadField::EClbDate, kNoData);
  } else if (record_[0] == 'C') {
    view_->SetFieldText(ReadField::EClbLic, RecordLicenceText(record_));
    view_->SetFieldText(ReadField::EClbDate, RecordDateText(record_));
  } else {
    view_->SetFieldText(ReadField::EClbLic, "Ошибка в данных");
    view_->SetFieldText(ReadField::EClbDate, "");
  }
}
