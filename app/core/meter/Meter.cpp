#include "Meter.h"

#include "app/core/base/Cp1251.h"

Meter::Meter(MeterModel model, ReadPath path, std::string identification, uint8_t address,
             uint8_t channels, std::string caption)
    : model_(model),
      path_(path),
      identification_(std::move(identification)),
      address_(address),
      channels_(channels),
      id_{RowOf(model).name, {}, std::move(caption)} {}

uint8_t Meter::RecordChannel() const {
  return Row().nodePerChannel ? channels_ : 1;
}

std::string Meter::CheckSameMeter() {
  std::string identification;
  if (ReadIdentification(identification) != ValueState::Read)
    return "прибор не ответил на запрос идентификации";
  if (identification != identification_)
    return "отвечает другой прибор: «" + Cp1251ToUtf8(identification) + "» вместо «" +
           Cp1251ToUtf8(identification_) + "»";
  const std::string first = id_.serial;
  const ValueState state = ReadSerial();
  const std::string now = id_.serial;
  id_.serial = first;  // the object stays the first meter's
  if (state != ValueState::Read) return "прибор не ответил на запрос заводского номера";
  if (now != first) return "отвечает другой прибор: № " + now + " вместо № " + first;
  return {};
}
