#include "MeterModels.h"

const std::vector<ModelRow>& ModelTable() {
  static const std::vector<ModelRow> table = {
      {MeterModel::Zfk31, "ZFK-31", 2, false, true, false},
      {MeterModel::Zfk36, "ZFK-36", 2, false, true, false},
      {MeterModel::Gdz1207s, "GDZ-12.07S", 2, true, true, false},
      {MeterModel::Gdz1208, "GDZ-12.08", 2, false, false, true},
  };
  return table;
}

const ModelRow& RowOf(MeterModel model) {
  return ModelTable()[static_cast<size_t>(model)];
}

std::optional<MeterModel> ModelOfPath(ReadPath path) {
  switch (path) {
    case ReadPath::Zfk31:
      return MeterModel::Zfk31;
    case ReadPath::Zfk36:
      return MeterModel::Zfk36;
    case ReadPath::GdzSingle:
    case ReadPath::GdzDouble:
      return MeterModel::Gdz1207s;
    case ReadPath::ModBus:
      return MeterModel::Gdz1208;
    case ReadPath::None:
      break;
  }
  return std::nullopt;
}

uint8_t ChannelsOf(ReadPath path, bool twoChannels, uint8_t address) {
  switch (path) {
    case ReadPath::GdzSingle:
      return 1;
    case ReadPath::GdzDouble:
      return address < 127 ? 2 : 1;
    case ReadPath::ModBus:
      return twoChannels ? 2 : 1;
    case ReadPath::None:
      return 0;
    default:
      return 2;
  }
}
