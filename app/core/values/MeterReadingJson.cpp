#include "MeterReadingJson.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/core/values/ReadFields.h"
#include "comm/LumUtils.h"

const char* ResultName(ReadResult result) {
  switch (result) {
    case ReadResult::PortError:
      return "port_error";
    case ReadResult::NotFound:
      return "not_found";
    case ReadResult::Ok:
      break;
  }
  return "ok";
}

const char* PathName(ReadPath path) {
  switch (path) {
    case ReadPath::Zfk31:
      return "zfk31";
    case ReadPath::Zfk36:
      return "zfk36";
    case ReadPath::GdzSingle:
      return "gdz1207s";
    case ReadPath::GdzDouble:
      return "gdz1207s-2";
    case ReadPath::ModBus:
      return "gdz1208";
    case ReadPath::None:
      break;
  }
  return "none";
}

const char* StateName(ValueState state) {
  switch (state) {
    case ValueState::Read:
      return "read";
    case ValueState::Failed:
      return "failed";
    case ValueState::NotRead:
      break;
  }
  return "not_read";
}

const char* FirmwareSourceName(FirmwareSource source) {
  switch (source) {
    case FirmwareSource::BuiltIn:
      return "placeholder";
    case FirmwareSource::Configured:
      return "configured";
    case FirmwareSource::None:
      break;
  }
  return nullptr;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  return HexDump(bytes, false);
}

Json ShownNumber(double shown) {
  const std::string text = FormatShown(shown, '.');
  const auto first = text.find_first_not_of(' ');
  const char* begin = text.data() + (first == std::string::npos ? text.size() : first);
  double rounded = 0;
  const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), rounded);
  if (!std::isfinite(shown) || ec != std::errc() || end != text.data() + text.size())
    return std::string(begin);
  return rounded;
}

Json FloatNumber(float value) {
  if (!std::isfinite(value)) return nullptr;
  // The shortest decimal that gives the same float back, not the float's
  // exact binary value in double precision (163.84, not 163.83999633789063).
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  double shortest = value;
  if (ec == std::errc()) std::from_chars(text, end, shortest);
  return shortest;
}

namespace {

Json CoefficientJson(const Coefficient& c, double shown) {
  Json j = {{"state", StateName(c.state)}};
  if (c.state != ValueState::Read) return j;
  j["stored"] = FloatNumber(c.stored);
  j["raw"] = HexBytes(c.raw);
  j["shown"] = ShownNumber(shown);
  return j;
}

Json Record(const RecordReading& r) {
  Json j = {{"state", StateName(r.state)}};
  if (r.state == ValueState::Read) AddRecordFields(j, r);
  return j;
}

}  // namespace

void AddRecordFields(Json& j, const RecordReading& r) {
  j["raw"] = HexBytes(r.raw);
  j["valid"] = r.Valid();
  if (r.Valid()) {
    j["seal"] = r.Seal();
    j["licence"] = r.Licence();
    j["version"] = r.Version();
    j["date"] = r.DateText();
  }
}

Json ReadingDetails(const MeterReading& reading) {
  Json channels = Json::array();
  for (const ChannelReading& c : reading.channels) {
    Json ch = {{"k0", CoefficientJson(c.k0, c.k0Shown)}, {"ku", CoefficientJson(c.ku, c.kuShown)}};
    ch["gmax"] = c.gmaxState == ValueState::Read ? FloatNumber(c.gmax) : Json(nullptr);
    channels.push_back(ch);
  }
  const char* source = FirmwareSourceName(reading.firmware.source);
  return {
      {"path", PathName(reading.path)},
      {"firmware_reference", source ? Json(source) : Json(nullptr)},
      {"port", reading.port},
      {"baud", reading.baud},
      {"address", reading.address},
      {"duration_ms", reading.durationMs},
      {"channels", channels},
      {"record", Record(reading.record)},
  };
}

std::string DumpJson(const Json& json, int indent) {
  return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}
