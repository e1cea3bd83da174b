#include "GuardedWrite.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "app/core/base/Cp1251.h"
#include "app/core/settings/InspectorMode.h"
#include "app/core/values/MeterSnapshotJson.h"
#include "app/core/values/ValueText.h"
#include "comm/LumClock.h"

namespace {

std::string LocalTimeText() {
  const LumDateTime t = lum::LocalDateTime();
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour,
                t.Minute, t.Second);
  return text;
}

// The clock from minutes to year as the meters keep it (the seconds are left
// out: they run on between the write and the read-back).
std::vector<uint8_t> ClockMinutesOn(const LumDateTime& t) {
  const MeterClockBytes clock = EncodeMeterClock(t);
  return {clock.begin() + 1, clock.end()};
}

std::string ItemText(const ImageItem& i) {
  if (!i.Read()) return "нет ответа";
  if (i.kind == ItemKind::Coef) return FloatText(i.coef.stored);
  if (i.kind == ItemKind::Record && i.bytes.size() >= 8)
    return "\"" + Cp1251ToUtf8(std::string(i.bytes.begin(), i.bytes.begin() + 8)) + "\" " +
           HexBytes(i.bytes);
  return HexBytes(i.bytes);
}

// Reads the item from the meter: its state, value and bytes.
void ReadItem(Meter& meter, ImageItem& item) {
  item.SetRead(false);
  if (item.kind == ItemKind::Coef) {
    const Coefficient c = meter.ReadCoefficient(item.coef.ref);
    if (c.Read()) item.coef = c;
  } else if (item.kind == ItemKind::Record) {
    CalibrationRecordBytes record{};
    if (meter.ReadRecord(record) == ValueState::Read) {
      item.SetRead(true);
      item.bytes.assign(record.begin(), record.end());
    }
  } else {
    MeterClockBytes clock{};
    if (meter.ReadClock(clock) == ValueState::Read) {
      item.SetRead(true);
      item.bytes.assign(clock.begin(), clock.end());
    }
  }
}

// Above this many coefficients, the whole lists are read as areas (one
// request for both channels of a ZFK) rather than item by item.
constexpr size_t kItemsWorthAnArea = 4;

// Reads every item as ReadItem does; many coefficients come from whole-area
// reads of their channels' lists, the same bytes in far fewer requests.
// Whether the lists were read as areas.
bool ReadItems(Meter& meter, std::vector<ImageItem>& items) {
  const size_t coefs = static_cast<size_t>(std::count_if(
      items.begin(), items.end(), [](const ImageItem& i) { return i.kind == ItemKind::Coef; }));
  std::array<CoefficientLists, 2> lists{};
  std::array<bool, 2> wanted{};
  std::array<bool, 2> areaRead{};  // the channel's lists were asked for as a whole
  for (const ImageItem& i : items)
    if (i.kind == ItemKind::Coef && meter.HasChannel(i.coef.ref.channel))
      wanted[i.coef.ref.channel - 1u] = true;
  if (coefs > kItemsWorthAnArea) {
    if (!meter.Row().nodePerChannel) {
      meter.ReadLists(1, std::span(lists).first(meter.Channels()));
      areaRead = {true, true};
    } else {
      for (uint8_t ch = 1; ch <= meter.Channels(); ++ch) {
        if (!wanted[ch - 1u]) continue;
        meter.ReadLists(ch, std::span(lists).subspan(ch - 1u, 1));
        areaRead[ch - 1u] = true;
      }
    }
  }
  for (ImageItem& item : items) {
    if (item.kind == ItemKind::Coef && meter.HasChannel(item.coef.ref.channel)) {
      const Coefficient& c =
          lists[item.coef.ref.channel - 1u].At(item.coef.ref.list, item.coef.ref.index);
      if (c.Read()) {
        const CoefRef asked = item.coef.ref;  // Obr[0] stays Obr[0], though it is K0's place
        item.coef = c;
        item.coef.ref = asked;
        continue;
      }
      // A meter that did not give the whole area is not asked item by item,
      // which against a dead meter costs every item's time-outs.
      if (areaRead[item.coef.ref.channel - 1u]) {
        item.SetRead(false);
        continue;
      }
    }
    ReadItem(meter, item);
  }
  return coefs > kItemsWorthAnArea;
}

// A restored item is the bytes it was saved with, written bit for bit: its
// stored value is the one those bytes hold, which the file's own number must
// agree with (null for a NaN or an erased FFFFFFFF). Adds it to targets;
// why not, when it cannot be.
std::string RestoreTarget(const Meter& meter, const ImageItem& item,
                          std::vector<ImageItem>& targets) {
  for (const ImageItem& t : targets)
    if (t.kind == item.kind && (t.kind != ItemKind::Coef || t.coef.ref.SamePlace(item.coef.ref)))
      return "в образе дважды одно место: " + item.Name();
  ImageItem target = item;
  if (item.kind == ItemKind::Coef) {
    const float fromBytes = meter.StoredOf(item.coef.ref, item.coef.raw);
    const bool agree = std::isnan(item.coef.stored)
                           ? !std::isfinite(fromBytes)
                           : item.coef.stored == fromBytes ||
                                 BitsOfFloat(item.coef.stored) == BitsOfFloat(fromBytes);
    if (!agree)
      return "в образе не сходятся значение и байты: " + item.Name() + " = " +
             FloatText(item.coef.stored) + ", а байты " + HexBytes(item.Raw());
    target.coef.stored = fromBytes;
    if (!meter.CanStore(target.coef))
      return item.Name() + " = " + FloatText(fromBytes) + ": " + meter.Id().model +
             " не может хранить такое значение";
  }
  targets.push_back(target);
  return {};
}

// The items the operation writes, with the values (or bytes) they are to hold.
struct Plan {
  std::vector<ImageItem> targets;
  std::string refusal;
};

Plan PlanFor(const WriteRequest& request, const Meter& meter) {
  Plan plan;
  const std::string model = meter.Id().model;
  const auto coef = [&](const Coefficient& c) {
    ImageItem t = ImageItem::Of(c);
    t.coef.state = ValueState::Read;
    if (!meter.HasChannel(c.ref.channel))
      plan.refusal = "у " + model + " нет канала " + std::to_string(c.ref.channel);
    else if (!meter.CanStore(c))
      plan.refusal = t.Name() + " = " + FloatText(c.stored) + ": " + model +
                     " не может хранить такое значение (целое число -32768..32767)";
    plan.targets.push_back(t);
  };
  switch (request.kind) {
    case WriteKind::Coefficients:
      // A place given twice with the same value is written once.
      for (size_t n = 0; n < request.coefficients.size(); ++n) {
        const Coefficient& c = request.coefficients[n];
        const auto first = std::find_if(
            request.coefficients.begin(), request.coefficients.begin() + static_cast<long>(n),
            [&](const Coefficient& e) { return e.ref.SamePlace(c.ref); });
        if (first == request.coefficients.begin() + static_cast<long>(n)) coef(c);
      }
      break;
    case WriteKind::Reset:
      for (const Coefficient& c : meter.ResetItems())
        coef(c);
      break;
    case WriteKind::Seal: {
      ImageItem t;
      t.kind = ItemKind::Record;
      t.SetRead(true);
      const std::string text = Utf8ToCp1251(request.sealText);
      t.bytes.assign(text.begin(), text.end());
      plan.targets.push_back(t);
      break;
    }
    case WriteKind::Clock: {
      if (!meter.HasClock()) plan.refusal = "у " + model + " нет часов";
      ImageItem t;
      t.kind = ItemKind::Clock;
      plan.targets.push_back(t);
      break;
    }
    case WriteKind::Restore:
      if (!request.restore) {
        plan.refusal = "нет образа для восстановления";
        break;
      }
      if (request.restore->model != model || request.restore->serial != meter.Id().serial)
        plan.refusal = "образ снят с " + request.restore->model + " № " + request.restore->serial +
                       ", а подключён " + model + " № " + meter.Id().serial;
      for (const ImageItem& i : request.restore->items) {
        if (i.kind == ItemKind::Clock)
          plan.refusal = "часы не восстанавливаются: их ставят по времени компьютера";
        else if (!i.Read())
          plan.refusal = "в образе нет байтов: " + i.Name();
        else if (i.kind == ItemKind::Coef && !meter.HasChannel(i.coef.ref.channel))
          plan.refusal = "у " + model + " нет канала " + std::to_string(i.coef.ref.channel);
        else if (auto why = RestoreTarget(meter, i, plan.targets); !why.empty())
          plan.refusal = why;
        if (!plan.refusal.empty()) break;
      }
      break;
  }
  if (plan.targets.empty() && plan.refusal.empty()) plan.refusal = "нечего записывать";
  return plan;
}

// The Gmax of each channel that a K0 among the targets needs to be shown as
// the main window shows it.
std::array<std::optional<float>, 2> GmaxFor(Meter& meter, const std::vector<ImageItem>& targets) {
  std::array<std::optional<float>, 2> gmax;
  for (const ImageItem& t : targets) {
    if (t.kind != ItemKind::Coef || t.coef.ref.index != 0) continue;
    const uint8_t channel = meter.Row().sharedGmax ? 1 : t.coef.ref.channel;
    auto& g = gmax[t.coef.ref.channel - 1u];
    if (g || channel < 1 || channel > 2) continue;
    const SnapshotValue v = meter.ReadGmax(channel);
    if (v.state == ValueState::Read) g = v.value;
  }
  return gmax;
}

bool Matches(const ImageItem& got, const ImageItem& wanted, WriteKind kind,
             const std::vector<std::vector<uint8_t>>& expected) {
  if (kind == WriteKind::Restore) return got.Raw() == wanted.Raw();
  if (got.kind == ItemKind::Coef)
    return got.coef.stored == wanted.coef.stored ||
           BitsOfFloat(got.coef.stored) == BitsOfFloat(wanted.coef.stored);
  if (got.kind == ItemKind::Clock) {
    if (got.bytes.size() != 10) return false;
    const std::vector<uint8_t> tail(got.bytes.begin() + 1, got.bytes.end());
    for (const auto& e : expected)
      if (tail == e) return true;
    return false;
  }
  for (const auto& e : expected)  // the record built just before or after the write
    if (got.bytes == e) return true;
  return false;
}

}  // namespace

ItemsImage ImageOfSnapshot(const MeterSnapshot& snapshot) {
  const auto model = ModelOfPath(snapshot.path);
  ItemsImage image{model ? RowOf(*model).name : "", snapshot.serial, {}, {}};
  const auto add = [&](const Coefficient& c) {
    if (c.Read()) image.items.push_back(ImageItem::Of(c));
  };
  for (const SnapshotChannel& channel : snapshot.channels) {
    if (!channel.present) continue;
    for (uint8_t i = 0; i < 10; ++i)
      add(channel.k[i]);
    for (uint8_t i = 2; i < 10; ++i)
      add(channel.obr[i]);
  }
  if (snapshot.record.state == ValueState::Read) {
    ImageItem record;
    record.kind = ItemKind::Record;
    record.SetRead(true);
    record.bytes.assign(snapshot.record.raw.begin(), snapshot.record.raw.end());
    image.items.push_back(record);
  }
  return image;
}

std::optional<ItemsImage> LoadRestoreImage(const std::string& path, std::string& error) {
  const auto json = LoadJsonFile(path, error);
  if (!json) return std::nullopt;
  // Only snapshots carry a schema: the reason given is that of the kind of
  // file it claims to be, not of the other kind.
  if (!json->is_object() || !json->contains("schema")) {
    auto image = ImageFromJson(*json, error);
    if (!image) error = path + ": " + error;
    return image;
  }
  const auto snap = SnapshotFromJson(*json, error);
  if (!snap) {
    error = path + ": not a meter snapshot: " + error;
    return std::nullopt;
  }
  ItemsImage image = ImageOfSnapshot(*snap);
  if (image.model.empty() || snap->serialState != ValueState::Read) {
    error = path + ": снимок не называет прибора (модель или заводской номер не прочитаны)";
    return std::nullopt;
  }
  return image;
}

const char* WriteKindName(WriteKind kind) {
  switch (kind) {
    case WriteKind::Coefficients:
      return "write";
    case WriteKind::Reset:
      return "reset";
    case WriteKind::Seal:
      return "seal";
    case WriteKind::Clock:
      return "clock";
    case WriteKind::Restore:
      return "restore";
  }
  return "";
}

const char* VerificationText(Verification v) {
  switch (v) {
    case Verification::Verified:
      return "проверено";
    case Verification::Mismatch:
      return "не совпадает";
    case Verification::NoReply:
      return "нет ответа";
    case Verification::NotWritten:
      return "не записано";
    case Verification::Corrupt:
      return "блок повреждён";
  }
  return "";
}

std::string WriteItemText(const ImageItem& item) {
  return ItemText(item);
}

WriteView::Answer SerialConfirmation(const std::optional<std::string>& expected, bool yes,
                                     const std::string& serial) {
  if (expected && *expected != serial) return WriteView::Answer::Refuse;
  return expected && yes ? WriteView::Answer::Write : WriteView::Answer::DryRun;
}

std::string CheckRequest(const WriteRequest& request) {
  for (const Coefficient& c : request.coefficients) {
    if (!std::isfinite(c.stored)) return "значение должно быть конечным числом";
    if (c.ref.channel < 1 || c.ref.channel > 2) return "канал должен быть 1 или 2";
    if (c.ref.index > 9) return "индекс коэффициента должен быть 0..9";
  }
  // K[0] and Obr[0] (K[1] and Obr[1]) are one stored value: two different
  // values for one place would leave the meter holding whichever went last.
  const auto& coefs = request.coefficients;
  for (size_t i = 0; i < coefs.size(); ++i)
    for (size_t j = i + 1; j < coefs.size(); ++j)
      if (coefs[i].ref.SamePlace(coefs[j].ref) &&
          BitsOfFloat(coefs[i].stored) != BitsOfFloat(coefs[j].stored))
        return ImageItem::Of(coefs[i]).Name() + " и " + ImageItem::Of(coefs[j]).Name() +
               " — одно значение в приборе, а заданы два: " + FloatText(coefs[i].stored) + " и " +
               FloatText(coefs[j].stored);
  if (request.kind == WriteKind::Coefficients && request.coefficients.empty())
    return "не задано ни одного значения";
  if (request.kind == WriteKind::Seal) {
    const std::string text = Utf8ToCp1251(request.sealText);
    if (text.size() != 8 || Cp1251ToUtf8(text) != request.sealText)
      return "текст пломбы должен состоять ровно из 8 символов кодовой страницы 1251, а не \"" +
             request.sealText + "\"";
    // The meters' record counts only when it starts with a Latin C; any
    // other first byte reads back as "Ошибка в данных".
    if (text[0] != 'C')
      return std::string("текст пломбы должен начинаться с латинской буквы C") +
             (text[0] == '\xD1' || text[0] == '\xF1'
                  ? ", а первая буква — кириллическая «" + Cp1251ToUtf8(text.substr(0, 1)) + "»"
                  : ", а не «" + Cp1251ToUtf8(text.substr(0, 1)) + "»") +
             ": иначе прибор покажет «Ошибка в данных»";
  }
  return {};
}

Json WriteOutcome::Record(WriteKind kind) const {
  static const char* const kStatus[] = {"verified",   "failed",    "dry_run",    "refused",
                                        "port_error", "not_found", "interrupted"};
  Json items = Json::array();
  for (size_t n = 0; n < verification.size() && n < after.items.size(); ++n)
    items.push_back({{"item", after.items[n].Name()},
                     {"before", n < before.items.size() ? ItemText(before.items[n]) : ""},
                     {"after", ItemText(after.items[n])},
                     {"written", n < written.size() && written[n]},
                     {"verification", VerificationText(verification[n])}});
  return {{"operation", WriteKindName(kind)},
          {"status", kStatus[static_cast<int>(status)]},
          {"reason", reason},
          {"before_image_file", imagePath},
          {"before", ImageJson(before)},
          {"after", ImageJson(after)},
          {"items", items}};
}

namespace {

// How the writing went: why the first failed item failed, naming it, and
// whether a stop was asked for; both empty when every item was written.
struct WriteRun {
  std::string failure;
  bool stopped = false;
};

// Writes the targets in order and stops at the first that fails, or before
// the next once a stop is asked: a meter that stopped answering is not sent
// the rest. Coefficients go as one batch, so that a ZFK-36 takes them in one
// block write.
WriteRun WriteTargets(Meter& meter, const std::vector<ImageItem>& targets,
                      const std::function<bool()>& stop, std::vector<bool>& written) {
  WriteRun run;
  const auto stopping = [&] { return run.stopped = run.stopped || (stop && stop()); };
  std::vector<Coefficient> coefs;
  for (const ImageItem& t : targets)
    if (t.kind == ItemKind::Coef) coefs.push_back(t.coef);
  const size_t coefsWritten = meter.WriteCoefficients(coefs, stopping);
  const std::string coefFailure = coefsWritten < coefs.size() ? meter.LastFailure() : "";
  size_t coef = 0;
  for (size_t n = 0; n < targets.size(); ++n) {
    if (targets[n].kind == ItemKind::Coef) {
      written[n] = coef++ < coefsWritten;
    } else if (!stopping()) {
      CalibrationRecordBytes record{};
      if (targets[n].bytes.size() == record.size()) {
        std::copy(targets[n].bytes.begin(), targets[n].bytes.end(), record.begin());
        written[n] = meter.WriteRecord(record);
      }
    }
    if (written[n]) continue;
    if (run.stopped) return run;
    const std::string why = targets[n].kind == ItemKind::Coef ? coefFailure : meter.LastFailure();
    run.failure = targets[n].Name() + " не записан" + (why.empty() ? "" : ": " + why);
    return run;
  }
  return run;
}

// One write of the seal or the clock, or the targets in order.
WriteRun WriteAll(Meter& meter, const WriteRequest& request, const std::vector<ImageItem>& targets,
                  std::vector<bool>& written) {
  const WriteScope on(meter);
  if (request.kind != WriteKind::Seal && request.kind != WriteKind::Clock)
    return WriteTargets(meter, targets, request.stop, written);
  if (request.stop && request.stop()) return {"", true};
  written[0] = request.kind == WriteKind::Seal ? meter.WriteSeal(Utf8ToCp1251(request.sealText))
                                               : meter.SetClock();
  if (written[0]) return {};
  const std::string why = meter.LastFailure();
  return {targets[0].Name() + " не записан" + (why.empty() ? "" : ": " + why), false};
}

// The before-image of a write that was not begun after all: nothing to undo.
void DropImage(std::string& path) {
  std::error_code ec;
  std::filesystem::remove(std::filesystem::path(path), ec);
  path.clear();
}

// What the engineer is to do after a write that did not verify: how much
// went in, and the file that undoes it.
std::string Advice(const WriteOutcome& out) {
  const auto written = std::count(out.written.begin(), out.written.end(), true);
  std::string text =
      "Записано " + std::to_string(written) + " из " + std::to_string(out.written.size()) + ".";
  if (written > 0 || out.status == WriteStatus::Failed)
    text += " Восстановите из образа до записи: " + out.imagePath;
  return text;
}

// Inspector mode refuses every write, whichever front end asks: the mode the
// process holds, or else the installation's flag, looked for at each write
// so that it binds a front end that never held a mode as well.
std::string InspectorRefusal() {
  InspectorMode mode = HeldInspectorMode();
  if (!mode.On()) mode.installationFlag = FindInspectorFlag(InspectorFlagFolders());
  return mode.Reason();
}

WriteOutcome Refused(WriteView& view, std::string reason) {
  view.ShowMessage(reason);
  WriteOutcome out;
  out.status = WriteStatus::Refused;
  out.reason = std::move(reason);
  return out;
}

}  // namespace

WriteOutcome RunGuardedWrite(Meter& meter, const WriteRequest& request, WriteView& view,
                             WriteRecorder* recorder) {
  WriteOutcome out;
  const auto stop = [&](WriteStatus status, std::string reason) {
    out.status = status;
    out.reason = std::move(reason);
    if (!out.reason.empty()) view.ShowMessage(out.reason);
    return out;
  };
  if (auto why = InspectorRefusal(); !why.empty()) return stop(WriteStatus::Refused, why);
  if (auto why = CheckRequest(request); !why.empty()) return stop(WriteStatus::Refused, why);

  // Which meter: its serial number, as the connection read it or now.
  if (meter.Id().serial.empty() && meter.ReadSerial() != ValueState::Read)
    return stop(WriteStatus::Refused, "прибор не сообщил заводской номер");
  const std::string serial = meter.Id().serial;
  if (serial.empty()) return stop(WriteStatus::Refused, "прибор не сообщил заводской номер");
  const Plan plan = PlanFor(request, meter);
  if (!plan.refusal.empty()) return stop(WriteStatus::Refused, plan.refusal);
  const auto gmax = GmaxFor(meter, plan.targets);

  // 1. What the items hold now: the before-image once the write goes ahead.
  out.before = {meter.Id().model, serial, LocalTimeText(), plan.targets};
  ReadItems(meter, out.before.items);
  for (const ImageItem& b : out.before.items)
    if (!b.Read())
      return stop(WriteStatus::Refused, "не удалось прочитать перед записью: " + b.Name());

  // 2. and 3. The difference, and the user's word.
  const Confirmation confirmation =
      BuildConfirmation(out.before, plan.targets, request.kind, meter, gmax, request.warnShare);
  view.ShowDifference(confirmation);
  const WriteView::Answer answer = view.Confirm(serial);
  if (answer == WriteView::Answer::DryRun) return stop(WriteStatus::DryRun, "");
  if (answer == WriteView::Answer::Refuse)
    return stop(WriteStatus::Refused, "запись не подтверждена для прибора № " + serial);
  if (!confirmation.warnings.empty() && !view.WarningsAccepted())
    return stop(WriteStatus::Refused,
                "запись не подтверждена: предупреждения не проверены, ничего не записано");
  out.changeReason = view.ChangeReason();

  // The meter answering now is the one confirmed: a meter exchanged on the
  // line since the read is not written to under the first one's name.
  if (auto why = meter.CheckSameMeter(); !why.empty())
    return stop(WriteStatus::Refused, "ничего не записано: " + why);
  out.after = {meter.Id().model, serial, LocalTimeText(), plan.targets};
  if (request.stop && request.stop())  // no item list: nothing was begun
    return stop(WriteStatus::Interrupted, "запись прервана до начала: ничего не отправлено");

  // 4. The before-image, saved before anything is sent; only a write that
  // goes ahead leaves one, so that the folder holds undos and nothing else.
  std::string error;
  out.imagePath = SaveImage(out.before, request.saveDir, error, request.demo);
  if (out.imagePath.empty())
    return stop(WriteStatus::Refused, "не удалось сохранить образ «до записи»: " + error);
  out.written.assign(plan.targets.size(), false);
  if (recorder)
    if (auto why = recorder->Started(request.kind, out); !why.empty()) {
      DropImage(out.imagePath);
      return stop(WriteStatus::Refused, "запись не начата: " + why);
    }

  // The write, EWrite on for it alone.
  std::vector<std::vector<uint8_t>> expected;
  const auto expectNow = [&] {
    if (request.kind == WriteKind::Seal) {
      const CalibrationRecordBytes r = BuildCalibrationRecord(Utf8ToCp1251(request.sealText));
      expected.emplace_back(r.begin(), r.end());
    } else if (request.kind == WriteKind::Clock) {
      expected.push_back(ClockMinutesOn(lum::LocalDateTime()));
    }
  };
  expectNow();
  const WriteRun run = WriteAll(meter, request, plan.targets, out.written);

  // 5. Every item read back and compared. On a ZFK-36 the block is read
  // whole too: its checksum tells whether the meter will use what it holds.
  out.after.time = LocalTimeText();  // the items are still the targets
  const bool areasRead = ReadItems(meter, out.after.items);
  const bool coefs = std::any_of(plan.targets.begin(), plan.targets.end(),
                                 [](const ImageItem& t) { return t.kind == ItemKind::Coef; });
  const std::string integrity = coefs ? meter.IntegrityFault(!areasRead) : "";
  expectNow();
  bool all = true;
  for (size_t n = 0; n < plan.targets.size(); ++n) {
    const ImageItem& a = out.after.items[n];
    const Verification v =
        !a.Read()                                              ? Verification::NoReply
        : !Matches(a, plan.targets[n], request.kind, expected) ? Verification::Mismatch
        : !out.written[n]                                      ? Verification::NotWritten
        : a.kind == ItemKind::Coef && !integrity.empty()       ? Verification::Corrupt
                                                               : Verification::Verified;
    out.verification.push_back(v);
    all = all && v == Verification::Verified;
  }
  if (all) return stop(WriteStatus::Verified, "");
  out.status = run.stopped ? WriteStatus::Interrupted : WriteStatus::Failed;
  const std::string what = run.stopped ? "Запись прервана: остальное не отправлено."
                           : !run.failure.empty() ? run.failure + "."
                           : !integrity.empty()   ? integrity + "."
                                                : "Не всё читается так, как записано.";
  return stop(out.status, what + " " + Advice(out));
}

WriteOutcome RunGuardedWrite(const PortSpec& spec, const Catalogue& catalogue,
                             const WriteRequest& request, WriteView& view, const LineTrace& trace,
                             WriteRecorder* recorder) {
  // Both refusals come before the port is opened.
  if (auto why = InspectorRefusal(); !why.empty()) return Refused(view, why);
  if (auto why = CheckRequest(request); !why.empty()) return Refused(view, why);
  Connected c = Connect(spec, catalogue, trace);
  if (c.result != ConnectResult::Ok) {
    WriteOutcome out;
    out.status =
        c.result == ConnectResult::PortError ? WriteStatus::PortError : WriteStatus::NotFound;
    out.reason = c.result == ConnectResult::PortError ? c.message : "Прибор не найден";
    view.ShowMessage(out.reason);
    return out;
  }
  return RunGuardedWrite(*c.meter, request, view, recorder);
}
