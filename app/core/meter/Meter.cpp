#include "Meter.h"

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
