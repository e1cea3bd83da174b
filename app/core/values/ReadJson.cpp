#include "ReadJson.h"

#include "app/core/values/ReadFields.h"

namespace {

Json FieldJson(const MeterReading& reading, ReadField field) {
  const auto text = FieldText(reading, field);
  return text ? Json(*text) : Json(nullptr);
}

Json CoefficientJson(const Coefficient& c, double shown) {
  switch (c.state) {
    case ValueState::NotRead:
      return nullptr;
    case ValueState::Failed:
      return "ERR";
    case ValueState::Read:
      break;
  }
  return ShownNumber(shown);
}

}  // namespace

Json ReadCommandJson(const MeterReading& reading) {
  Json j;
  j["result"] = ResultName(reading.result);
  j["identification"] = reading.IdentificationUtf8();
  j["device_caption"] = reading.Caption();
  for (const ReadFieldInfo& info : kReadFields) {
    bool coefficient = false;
    for (const CoefficientField& f : kCoefficientFields) {
      if (f.field != info.field) continue;
      j[info.jsonKey] = CoefficientJson(CoefficientOf(reading, f), ShownOf(reading, f));
      coefficient = true;
    }
    if (!coefficient) j[info.jsonKey] = FieldJson(reading, info.field);
  }
  j.update(ReadingDetails(reading));
  return j;
}
