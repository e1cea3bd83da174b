// What the engineer sees before a write, for the command line and the window
// alike: the items that change, K0 and Ku first (they move every reading of
// the meter), then the calibration points, then the record and the clock;
// within each group the largest relative change first, so that a slip of a
// decimal point stands at the top. Items that stay as they are leave only
// their count. Changes beyond the configured share, and K0 or Ku outside the
// model's usual range, become warnings the engineer must acknowledge.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/core/meter/Meter.h"
#include "app/core/values/WriteImage.h"

enum class WriteKind { Coefficients, Reset, Seal, Clock, Restore };

// One item that changes.
struct DiffRow {
  std::string item;  // "K[3] к.1"
  std::string before, after;
  std::string difference;  // "+0.00001"; for a record or clock "изменится"
  std::string share;       // "+0.4 %"; empty where there is no share
  bool warned = false;     // one of the warnings is about this item
};

struct Confirmation {
  std::vector<DiffRow> rows;
  size_t unchanged = 0;               // items left out as they would not change
  std::vector<std::string> warnings;  // one line each
  // "без изменений: 3"; empty when every item changes.
  std::string UnchangedText() const;
};

// The share of the old value a change may reach without a warning.
constexpr double kDefaultWarnShare = 0.05;

// The confirmation of writing targets over before (item for item, as read
// just now). gmax per channel lets K0 be shown as the main window shows it.
// A reset is not warned of for its changes, which are its purpose, only for
// values outside the usual range.
Confirmation BuildConfirmation(const ItemsImage& before, const std::vector<ImageItem>& targets,
                               WriteKind kind, const Meter& meter,
                               const std::array<std::optional<float>, 2>& gmax,
                               double warnShare = kDefaultWarnShare);
