#include "MeterSnapshotJson.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "app/core/base/Cp1251.h"

namespace {

using std::chrono::system_clock;

// The document is not what a snapshot is; caught at the edge of
// SnapshotFromJson and turned into its error text.
struct BadSnapshot : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Looks a name up among the values first..last of an enumeration.
template <class Enum, class NameOf>
Enum FromName(const Json& j, Enum first, Enum last, NameOf nameOf, const char* what) {
  const std::string name = j.get<std::string>();
  for (int v = static_cast<int>(first); v <= static_cast<int>(last); ++v) {
    const char* n = nameOf(static_cast<Enum>(v));
    if (n && name == n) return static_cast<Enum>(v);
  }
  throw BadSnapshot(std::string("unknown ") + what + " '" + name + "'");
}

ValueState StateFrom(const Json& j) {
  const auto s =
      FromName(j.at("state"), ValueState::NotRead, ValueState::Failed, StateName, "state");
  if (s == ValueState::NotRead) throw BadSnapshot("значение есть, но помечено непрочитанным");
  return s;
}

template <size_t N>
std::array<uint8_t, N> BytesFrom(const Json& j) {
  const std::string hex = j.get<std::string>();
  if (hex.size() != 2 * N) throw BadSnapshot("байты не той длины: " + hex);
  std::array<uint8_t, N> out{};
  for (size_t i = 0; i < N; ++i) {
    unsigned v = 0;
    for (char c : hex.substr(2 * i, 2)) {
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
      if (d < 0) throw BadSnapshot("не шестнадцатеричные цифры: " + hex);
      v = v * 16 + static_cast<unsigned>(d);
    }
    out[i] = static_cast<uint8_t>(v);
  }
  return out;
}

// UTC with milliseconds: "2024-03-07T09:05:30.250Z".
std::string TimeText(system_clock::time_point t) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(t.time_since_epoch());
  const auto day = floor<days>(ms);
  const year_month_day ymd{sys_days{day}};
  const hh_mm_ss hms{ms - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int{ymd.year()},
                unsigned{ymd.month()}, unsigned{ymd.day()}, static_cast<int>(hms.hours().count()),
                static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count()),
                static_cast<int>(hms.subseconds().count()));
  return text;
}

system_clock::time_point TimeFrom(const Json& j) {
  using namespace std::chrono;
  const std::string text = j.get<std::string>();
  int y = 0;
  unsigned mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  char z = 0;
  if (std::sscanf(text.c_str(), "%4d-%2u-%2uT%2u:%2u:%2u.%3u%c", &y, &mo, &d, &h, &mi, &s, &ms,
                  &z) != 8 ||
      z != 'Z' || h > 23 || mi > 59 || s > 60)
    throw BadSnapshot("не время UTC: " + text);
  const year_month_day ymd{year{y}, month{mo}, day{d}};
  if (!ymd.ok()) throw BadSnapshot("не дата: " + text);
  return system_clock::time_point{sys_days{ymd}.time_since_epoch() + hours{h} + minutes{mi} +
                                  seconds{s} + milliseconds{ms}};
}

Json StateOnly(ValueState s) {
  return s == ValueState::NotRead ? Json(nullptr) : Json{{"state", StateName(s)}};
}

Json TextItem(ValueState s, const std::string& text) {
  Json j = StateOnly(s);
  if (s == ValueState::Read) j["text"] = text;
  return j;
}

Json CoefficientJson(const Coefficient& c) {
  Json j = StateOnly(c.state);
  if (c.state != ValueState::Read) return j;
  j["stored"] = FloatNumber(c.stored);
  j["bits"] = HexBytes(BigEndianBytes(BitsOfFloat(c.stored)));
  j["raw"] = HexBytes(c.raw);
  return j;
}

Json ValueJson(const SnapshotValue& v) {
  Json j = StateOnly(v.state);
  if (v.state == ValueState::Read) {
    j["value"] = FloatNumber(v.value);
    j["bits"] = HexBytes(BigEndianBytes(BitsOfFloat(v.value)));
  }
  return j;
}

Json ChannelJson(const SnapshotChannel& c) {
  if (!c.present) return nullptr;
  Json k = Json::array(), obr = Json::array();
  for (size_t i = 0; i < c.k.size(); ++i) {
    k.push_back(CoefficientJson(c.k[i]));
    obr.push_back(CoefficientJson(c.obr[i]));
  }
  return {{"k", k},
          {"obr", obr},
          {"gmax", ValueJson(c.gmax)},
          {"g", ValueJson(c.g)},
          {"sfr", ValueJson(c.sfr)}};
}

Json RecordJson(const RecordReading& r) {
  Json j = StateOnly(r.state);
  if (r.state == ValueState::Read) AddRecordFields(j, r);
  return j;
}

Json ClockJson(const ClockReading& c) {
  Json j = StateOnly(c.state);
  if (c.state != ValueState::Read) return j;
  j["raw"] = HexBytes(c.raw);
  const auto t = c.Time();
  j["valid"] = t.has_value();
  if (t) {
    j["text"] = c.Text();
    j["year"] = t->Year;
    j["month"] = t->Month;
    j["day"] = t->Day;
    j["hour"] = t->Hour;
    j["minute"] = t->Minute;
    j["second"] = t->Second;
    j["weekday"] = t->DayOfWeek;
  }
  return j;
}

Json FirmwareJson(const MeterSnapshot& s) {
  Json ref = nullptr;
  if (s.firmware.source != FirmwareSource::None)
    ref = {{"source", FirmwareSourceName(s.firmware.source)},
           {"version", s.firmware.version},
           {"crc32", s.firmware.crc32},
           {"version_configured", s.firmwareVersionConfigured}};
  return {{"meter", TextItem(s.softVerState, s.softVer)},
          {"reference", ref},
          {"check", FirmwareCheckName(s.firmwareCheck)}};
}

// --- back from JSON -------------------------------------------------------

float FloatFromBitsText(const Json& j) {
  return FloatFromBits(BigEndianU32(BytesFrom<4>(j)));
}

Coefficient CoefficientFrom(const Json& j, CoefRef ref) {
  Coefficient c;
  c.ref = ref;
  if (j.is_null()) return c;
  c.state = StateFrom(j);
  if (c.state == ValueState::Read) {
    c.stored = FloatFromBitsText(j.at("bits"));
    c.raw = BytesFrom<4>(j.at("raw"));
  }
  return c;
}

SnapshotValue ValueFrom(const Json& j) {
  SnapshotValue v;
  if (j.is_null()) return v;
  v.state = StateFrom(j);
  if (v.state == ValueState::Read) v.value = FloatFromBitsText(j.at("bits"));
  return v;
}

void TextItemFrom(const Json& j, ValueState& state, std::string& text) {
  if (j.is_null()) return;
  state = StateFrom(j);
  if (state == ValueState::Read) text = j.at("text").get<std::string>();
}

SnapshotChannel ChannelFrom(const Json& j, uint8_t channel) {
  SnapshotChannel c = SnapshotChannel::Of(channel);
  if (j.is_null()) return c;
  c.present = true;
  const Json& k = j.at("k");
  const Json& obr = j.at("obr");
  if (k.size() != c.k.size() || obr.size() != c.obr.size())
    throw BadSnapshot("список коэффициентов не из десяти значений");
  for (size_t i = 0; i < c.k.size(); ++i) {
    c.k[i] = CoefficientFrom(k.at(i), c.k[i].ref);
    c.obr[i] = CoefficientFrom(obr.at(i), c.obr[i].ref);
  }
  c.gmax = ValueFrom(j.at("gmax"));
  c.g = ValueFrom(j.at("g"));
  c.sfr = ValueFrom(j.at("sfr"));
  return c;
}

FirmwareSource SourceFrom(const Json& j) {
  return FromName(j, FirmwareSource::BuiltIn, FirmwareSource::Configured, FirmwareSourceName,
                  "firmware source");
}

void FirmwareFrom(const Json& j, MeterSnapshot& s) {
  TextItemFrom(j.at("meter"), s.softVerState, s.softVer);
  const Json& ref = j.at("reference");
  if (!ref.is_null()) {
    s.firmware = {SourceFrom(ref.at("source")), ref.at("version").get<std::string>(),
                  ref.at("crc32").get<std::string>()};
    s.firmwareVersionConfigured = ref.at("version_configured").get<bool>();
  }
  s.firmwareCheck = FromName(j.at("check"), FirmwareCheck::NotChecked, FirmwareCheck::Unreadable,
                             FirmwareCheckName, "firmware check");
}

MeterSnapshot SnapshotFrom(const Json& j) {
  if (!j.is_object() || !j.contains("schema")) throw BadSnapshot("не снимок прибора");
  const int schema = j.at("schema").get<int>();
  if (schema != MeterSnapshot::kSchema)
    throw BadSnapshot("схема " + std::to_string(schema) + " этой программе не известна");
  MeterSnapshot s;
  s.result = FromName(j.at("result"), ReadResult::Ok, ReadResult::NotFound, ResultName, "result");
  s.path = FromName(j.at("path"), ReadPath::None, ReadPath::ModBus, PathName, "path");
  s.identification = Utf8ToCp1251(j.at("identification").get<std::string>());
  if (!j.at("caption").is_null()) s.caption = j.at("caption").get<std::string>();
  s.port = j.at("port").get<std::string>();
  s.baud = j.at("baud").get<unsigned>();
  s.address = j.at("address").get<unsigned>();
  s.started = TimeFrom(j.at("started"));
  s.durationMs = j.at("duration_ms").get<uint64_t>();
  TextItemFrom(j.at("serial"), s.serialState, s.serial);
  FirmwareFrom(j.at("firmware"), s);
  const Json& channels = j.at("channels");
  if (channels.size() != s.channels.size()) throw BadSnapshot("не два канала");
  for (size_t i = 0; i < s.channels.size(); ++i)
    s.channels[i] = ChannelFrom(channels.at(i), static_cast<uint8_t>(i + 1));
  if (const Json& r = j.at("record"); !r.is_null()) {
    s.record.state = StateFrom(r);
    if (s.record.state == ValueState::Read) s.record.raw = BytesFrom<16>(r.at("raw"));
  }
  if (const Json& c = j.at("clock"); !c.is_null()) {
    s.clock.state = StateFrom(c);
    if (s.clock.state == ValueState::Read) s.clock.raw = BytesFrom<10>(c.at("raw"));
  }
  s.integrity = j.value("integrity", "");  // files of earlier versions have none
  return s;
}

}  // namespace

const char* FirmwareCheckName(FirmwareCheck check) {
  switch (check) {
    case FirmwareCheck::NoReference:
      return "no_reference";
    case FirmwareCheck::Placeholder:
      return "placeholder";
    case FirmwareCheck::Match:
      return "match";
    case FirmwareCheck::Mismatch:
      return "mismatch";
    case FirmwareCheck::Unreadable:
      return "unreadable";
    case FirmwareCheck::NotChecked:
      break;
  }
  return "not_checked";
}

Json SnapshotToJson(const MeterSnapshot& s) {
  Json channels = Json::array();
  for (const SnapshotChannel& c : s.channels)
    channels.push_back(ChannelJson(c));
  Json json = {
      {"schema", MeterSnapshot::kSchema},
      {"result", ResultName(s.result)},
      {"path", PathName(s.path)},
      {"identification", Cp1251ToUtf8(s.identification)},
      {"caption", s.caption ? Json(*s.caption) : Json(nullptr)},
      {"port", s.port},
      {"baud", s.baud},
      {"address", s.address},
      {"started", TimeText(s.started)},
      {"duration_ms", s.durationMs},
      {"serial", TextItem(s.serialState, s.serial)},
      {"firmware", FirmwareJson(s)},
      {"channels", channels},
      {"record", RecordJson(s.record)},
      {"clock", ClockJson(s.clock)},
  };
  if (!s.integrity.empty()) json["integrity"] = s.integrity;
  return json;
}

std::optional<MeterSnapshot> SnapshotFromJson(const Json& json, std::string& error) {
  try {
    return SnapshotFrom(json);
  } catch (const BadSnapshot& e) {
    error = e.what();
  } catch (const Json::exception& e) {
    error = e.what();
  }
  return std::nullopt;
}
