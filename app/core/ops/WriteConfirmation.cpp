#include "WriteConfirmation.h"

#include <algorithm>

#include "app/core/base/Cp1251.h"
#include "app/core/values/ReadFields.h"
#include "app/core/values/ValueText.h"
#include "comm/LumClock.h"

namespace {

// A value as the main window's field shows it: "0.10000".
std::string WindowText(double shown) {
  std::string text = FormatShown(shown, '.');
  text.erase(0, text.find_first_not_of(' '));
  return text;
}

// A stored K0 or Ku with what the main window makes of it, where that
// differs: "163.84 (в окне 0.1)". The engineer knows the window's figures.
std::string StoredAndShown(const Coefficient& c, float stored, const Meter& meter,
                           const std::array<std::optional<float>, 2>& gmax) {
  std::string text = FloatText(stored);
  if (c.ref.index > 1) return text;
  const auto& g = gmax[c.ref.channel - 1u];
  if (c.ref.index == 0 && !g) return text;
  const auto shown = meter.Shown(c.ref, stored, g.value_or(0));
  if (!shown || static_cast<float>(*shown) == stored) return text;
  return text + " (в окне " + WindowText(*shown) + ")";
}

template <size_t N>
std::optional<std::array<uint8_t, N>> Fixed(const std::vector<uint8_t>& bytes) {
  if (bytes.size() != N) return std::nullopt;
  std::array<uint8_t, N> a{};
  std::copy(bytes.begin(), bytes.end(), a.begin());
  return a;
}

std::string RecordOf(const std::vector<uint8_t>& bytes) {
  const auto record = Fixed<std::tuple_size_v<CalibrationRecordBytes>>(bytes);
  return record ? RecordText(*record) : HexBytes(bytes);
}

std::string ClockOf(const std::vector<uint8_t>& bytes) {
  const auto clock = Fixed<std::tuple_size_v<MeterClockBytes>>(bytes);
  if (!clock) return HexBytes(bytes);
  return MeterClockText(*clock).value_or("часы не установлены");
}

bool Unchanged(const ImageItem& before, const ImageItem& target, WriteKind kind) {
  if (target.kind == ItemKind::Clock || kind == WriteKind::Seal) return false;  // time moves on
  if (target.kind != ItemKind::Coef || kind == WriteKind::Restore)
    return before.Raw() == target.Raw();
  return BitsOfFloat(before.coef.stored) == BitsOfFloat(target.coef.stored);
}

DiffRow DiffRowOf(const ImageItem& b, const ImageItem& t, WriteKind kind, const Meter& meter,
                  const std::array<std::optional<float>, 2>& gmax) {
  DiffRow row{t.Name(), "", "", "изменится", "", false};
  if (t.kind == ItemKind::Coef) {
    row.before = StoredAndShown(b.coef, b.coef.stored, meter, gmax);
    row.after = StoredAndShown(t.coef, t.coef.stored, meter, gmax);
    row.difference = DifferenceText(b.coef.stored, t.coef.stored);
    row.share = ShareText(b.coef.stored, t.coef.stored);
  } else if (t.kind == ItemKind::Clock) {
    row.before = ClockOf(b.bytes);
    row.after = "время компьютера " + DateTimeText(lum::LocalDateTime());
  } else {
    row.before = RecordOf(b.bytes);
    // A seal becomes a fresh record dated when it is written.
    const auto record = kind == WriteKind::Seal
                            ? BuildCalibrationRecord(std::string(t.bytes.begin(), t.bytes.end()))
                            : Fixed<std::tuple_size_v<CalibrationRecordBytes>>(t.bytes);
    row.after = record ? RecordText(*record) : HexBytes(t.bytes);
  }
  return row;
}

// K0 and Ku, then the points, then the record and the clock.
int GroupOf(const ImageItem& t) {
  if (t.kind != ItemKind::Coef) return 2;
  return t.coef.ref.index <= 1 ? 0 : 1;
}

double ChangeOf(const ImageItem& b, const ImageItem& t) {
  return t.kind == ItemKind::Coef ? RelativeChange(b.coef.stored, t.coef.stored) : 0;
}

// Why the new K0 or Ku is unusual for the model; empty when it is not.
std::string RangeWarning(const ImageItem& t, const Meter& meter) {
  if (t.kind != ItemKind::Coef || t.coef.ref.index > 1) return {};
  const bool k0 = t.coef.ref.index == 0;
  const auto shown = meter.Shown(t.coef.ref, t.coef.stored, 1.0f);
  const UsualRange& range = k0 ? meter.Row().k0Share : meter.Row().kuShown;
  if (!shown || range.Holds(*shown)) return {};
  const auto text = [k0](double v) {
    return FloatText(static_cast<float>(k0 ? v * 100 : v)) + (k0 ? " %" : "");
  };
  return t.Name() + " = " + FloatText(t.coef.stored) + ": " +
         (k0 ? "K0 " + text(*shown) + " Gmax" : "Ku в окне " + WindowText(*shown)) + ", а у " +
         meter.Id().model + " обычно от " + text(range.low) + " до " + text(range.high);
}

// A change beyond the share; none from 0, which has no share (K0 and Ku are
// checked against their range instead).
std::string ShareWarning(const ImageItem& b, const ImageItem& t, double warnShare) {
  if (t.kind != ItemKind::Coef || b.coef.stored == 0) return {};
  if (!(RelativeChange(b.coef.stored, t.coef.stored) > warnShare)) return {};
  return t.Name() + ": изменение " + ShareText(b.coef.stored, t.coef.stored) + " больше " +
         FloatText(static_cast<float>(warnShare * 100)) + " %";
}

}  // namespace

std::string Confirmation::UnchangedText() const {
  return unchanged == 0 ? std::string() : "без изменений: " + std::to_string(unchanged);
}

Confirmation BuildConfirmation(const ItemsImage& before, const std::vector<ImageItem>& targets,
                               WriteKind kind, const Meter& meter,
                               const std::array<std::optional<float>, 2>& gmax, double warnShare) {
  std::vector<size_t> changed;
  Confirmation out;
  for (size_t n = 0; n < targets.size() && n < before.items.size(); ++n) {
    if (Unchanged(before.items[n], targets[n], kind))
      ++out.unchanged;
    else
      changed.push_back(n);
  }
  std::stable_sort(changed.begin(), changed.end(), [&](size_t x, size_t y) {
    const int gx = GroupOf(targets[x]), gy = GroupOf(targets[y]);
    if (gx != gy) return gx < gy;
    return ChangeOf(before.items[x], targets[x]) > ChangeOf(before.items[y], targets[y]);
  });
  for (size_t n : changed) {
    const ImageItem &b = before.items[n], &t = targets[n];
    DiffRow row = DiffRowOf(b, t, kind, meter, gmax);
    for (const std::string& w :
         {RangeWarning(t, meter), kind == WriteKind::Reset ? "" : ShareWarning(b, t, warnShare)})
      if (!w.empty()) {
        out.warnings.push_back(w);
        row.warned = true;
      }
    out.rows.push_back(std::move(row));
  }
  return out;
}
