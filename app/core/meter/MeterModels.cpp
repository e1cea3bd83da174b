#include "MeterModels.h"

// The usual ranges follow from what the drivers document of each model:
// every model resets K0 to 0 and Ku to a value the window shows as 1.0 (the
// GDZ-12.08 keeps Ku in units of 1.25 × 2^-23 and K0 in units of Gmax that
// its ShownK0 applies; the ZFK-31 keeps K0 in 1/26214 of Gmax). A
// calibration moves them from there by a few per cent: a zero offset beyond a
// tenth of Gmax, or a gain off by more than a factor of two, is not one. The
// GDZ-12.08's K0 register cannot leave its range at all (±32767 units are
// under 0.5 % of Gmax); the range is the same so that a change of its scale
// in the driver still gets checked.
constexpr UsualRange kK0Share{-0.1, 0.1};
constexpr UsualRange kKuShown{0.5, 2.0};

const std::vector<ModelRow>& ModelTable() {
  static const std::vector<ModelRow> table = {
      {MeterModel::Zfk31, "ZFK-31", 2, false, true, false, kK0Share, kKuShown},
      {MeterModel::Zfk36, "ZFK-36", 2, false, true, false, kK0Share, kKuShown},
      {MeterModel::Gdz1207s, "GDZ-12.07S", 2, true, true, false, kK0Share, kKuShown},
      {MeterModel::Gdz1208, "GDZ-12.08", 2, false, false, true, kK0Share, kKuShown},
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
