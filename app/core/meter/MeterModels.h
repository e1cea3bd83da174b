// The one table of the meter models this program drives: the Latin name every
// file, image and journal event uses, how many channels the model has and how
// they are reached, whether it keeps a clock, and the K0 and Ku a calibrated
// meter of the model usually holds. Addresses, registers and scales stay in
// the drivers.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/core/values/MeterReading.h"

enum class MeterModel { Zfk31, Zfk36, Gdz1207s, Gdz1208 };

// A closed range of a coefficient as the main window shows it.
struct UsualRange {
  double low, high;
  bool Holds(double shown) const { return shown >= low && shown <= high; }
};

struct ModelRow {
  MeterModel model;
  const char* name;     // "ZFK-31", "ZFK-36", "GDZ-12.07S", "GDZ-12.08"
  uint8_t maxChannels;  // 2 on every model; a meter may have fewer
  // The GDZ-12.07S is one node per channel: channel 2 is channel 1 of the
  // node at the next network address.
  bool nodePerChannel;
  // The 3x meters keep a clock in their Rtc128 area; the GDZ-12.08 has none.
  bool hasClock;
  // The GDZ-12.08 has one Gmax, that of channel 1, for both channels.
  bool sharedGmax;
  // Where K0 and Ku of a calibrated meter lie, in the window's terms: K0 as
  // a share of Gmax (the driver's ShownK0 with Gmax 1), Ku as the driver's
  // ShownKu. A value beyond them is more likely a slip than a calibration,
  // and the confirmation warns of it.
  UsualRange k0Share;
  UsualRange kuShown;
};

const std::vector<ModelRow>& ModelTable();
const ModelRow& RowOf(MeterModel model);
// The model a read path reaches; nullopt for None.
std::optional<MeterModel> ModelOfPath(ReadPath path);
// How many channels the meter of this path has: the two-node GDZ-12.07S two
// (one at address 127, whose next node cannot be addressed), a GDZ-12.08 two
// when it identified as two-channel, the ZFK meters two.
uint8_t ChannelsOf(ReadPath path, bool twoChannels, uint8_t address);
