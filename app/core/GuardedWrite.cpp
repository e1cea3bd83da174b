#include "GuardedWrite.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>

#include "app/core/Cp1251.h"
#include "app/core/MeterAccess.h"
#include "app/core/MeterSnapshotJson.h"
#include "app/core/RecordingView.h"
#include "comm/LumClock.h"

namespace {

// EWrite is on for as long as this lives, and off afterwards whatever happens.
class EWriteOn {
 public:
  explicit EWriteOn(MeterAccess& m) : m_(m) { m_.SetEWrite(true); }
  ~EWriteOn() { m_.SetEWrite(false); }
  EWriteOn(const EWriteOn&) = delete;
  EWriteOn& operator=(const EWriteOn&) = delete;

 private:
  MeterAccess& m_;
};

class PortClose {
 public:
  explicit PortClose(TlumComPort& p) : p_(p) {}
  ~PortClose() { p_.Close(); }
  PortClose(const PortClose&) = delete;
  PortClose& operator=(const PortClose&) = delete;

 private:
  TlumComPort& p_;
};

std::string LocalTimeText() {
  const LumDateTime t = LocalDateTime();
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour,
                t.Minute, t.Second);
  return text;
}

uint8_t Bcd(int v) {
  return static_cast<uint8_t>((v / 10) << 4 | (v % 10));
}

// The clock from minutes to year as the meters keep it (the seconds are left
// out: they run on between the write and the read-back).
std::vector<uint8_t> ClockMinutesOn(const LumDateTime& t) {
  return {0,
          Bcd(t.Minute),
          0,
          Bcd(t.Hour),
          0,
          static_cast<uint8_t>(t.DayOfWeek + 1),
          Bcd(t.Day),
          Bcd(t.Month),
          Bcd(t.Year % 100)};
}

std::string ValueText(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

std::string ItemText(const ImageItem& i) {
  if (!i.read) return "нет ответа";
  if (i.kind == ItemKind::Coef) return ValueText(i.value);
  if (i.kind == ItemKind::Record && i.raw.size() >= 8)
    return "\"" + Cp1251ToUtf8(std::string(i.raw.begin(), i.raw.begin() + 8)) + "\" " +
           HexBytes(i.raw);
  return HexBytes(i.raw);
}

// The items the operation writes, with the values (or bytes) they are to hold.
struct Plan {
  std::vector<ImageItem> targets;
  std::string refusal;
};

Plan PlanFor(const WriteRequest& request, MeterAccess& meter, const MeterReading& reading) {
  Plan plan;
  const auto coef = [&](const CoefValue& c) {
    ImageItem t;
    t.list = c.list;
    t.channel = c.channel;
    t.index = c.index;
    t.value = c.value;
    t.read = true;
    if (!meter.HasChannel(c.channel))
      plan.refusal = "у " + meter.Model() + " нет канала " + std::to_string(c.channel);
    else if (!meter.CanStore(c.list, c.index, c.value))
      plan.refusal = t.Name() + " = " + ValueText(c.value) + ": " + meter.Model() +
                     " не может хранить такое значение (целое число -32768..32767)";
    plan.targets.push_back(t);
  };
  switch (request.kind) {
    case WriteKind::Coefficients:
      for (const CoefValue& c : request.coefficients)
        coef(c);
      break;
    case WriteKind::Reset:
      for (const CoefValue& c : meter.ResetItems())
        coef(c);
      break;
    case WriteKind::Seal: {
      ImageItem t;
      t.kind = ItemKind::Record;
      const std::string text = Utf8ToCp1251(request.sealText);
      t.raw.assign(text.begin(), text.end());
      plan.targets.push_back(t);
      break;
    }
    case WriteKind::Clock: {
      if (!meter.HasClock()) plan.refusal = "у " + meter.Model() + " нет часов";
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
      if (request.restore->model != meter.Model() || request.restore->serial != reading.serial)
        plan.refusal = "образ снят с " + request.restore->model + " № " + request.restore->serial +
                       ", а подключён " + meter.Model() + " № " + reading.serial;
      for (const ImageItem& i : request.restore->items) {
        if (i.kind == ItemKind::Clock)
          plan.refusal = "часы не восстанавливаются: их ставят по времени компьютера";
        else if (!i.read)
          plan.refusal = "в образе нет байтов: " + i.Name();
        else if (i.kind == ItemKind::Coef && !meter.HasChannel(i.channel))
          plan.refusal = "у " + meter.Model() + " нет канала " + std::to_string(i.channel);
        plan.targets.push_back(i);
      }
      break;
  }
  if (plan.targets.empty() && plan.refusal.empty()) plan.refusal = "нечего записывать";
  return plan;
}

// A stored K0 or Ku with what the main window makes of it, where that
// differs: "163.84 (в окне 0.1)". The engineer knows the window's figures.
std::string StoredAndShown(const ImageItem& item, float stored, const MeterAccess& meter,
                           const MeterReading& reading) {
  std::string text = ValueText(stored);
  const auto shown = meter.Shown(item.list, item.channel, item.index, stored, reading);
  if (!shown || static_cast<float>(*shown) == stored) return text;
  std::string window = FormatShown(*shown, '.');  // the window's own text
  window.erase(0, window.find_first_not_of(' '));
  return text + " (в окне " + window + ")";
}

std::vector<DiffRow> Difference(const ItemsImage& before, const std::vector<ImageItem>& targets,
                                WriteKind kind, const MeterAccess& meter,
                                const MeterReading& reading) {
  std::vector<DiffRow> rows;
  for (size_t n = 0; n < targets.size(); ++n) {
    const ImageItem& b = before.items[n];
    const ImageItem& t = targets[n];
    DiffRow row{t.Name(), ItemText(b), "", ""};
    if (t.kind == ItemKind::Coef) {
      row.before = StoredAndShown(b, b.value, meter, reading);
      row.after = StoredAndShown(t, t.value, meter, reading);
      row.difference = ValueText(t.value - b.value);
    } else if (t.kind == ItemKind::Clock) {
      row.after = "время компьютера " + LocalTimeText();
    } else if (kind == WriteKind::Seal) {
      row.after =
          "\"" + Cp1251ToUtf8(std::string(t.raw.begin(), t.raw.end())) + "\", дата и время записи";
    } else {
      row.after = ItemText(t);
    }
    if (row.difference.empty()) row.difference = b.raw == t.raw ? "без изменений" : "изменится";
    rows.push_back(row);
  }
  return rows;
}

bool Matches(const ImageItem& got, const ImageItem& wanted, WriteKind kind,
             const std::vector<std::vector<uint8_t>>& expected) {
  if (kind == WriteKind::Restore) return got.raw == wanted.raw;
  if (got.kind == ItemKind::Coef)
    return got.value == wanted.value || BitsOfFloat(got.value) == BitsOfFloat(wanted.value);
  if (got.kind == ItemKind::Clock) {
    if (got.raw.size() != 10) return false;
    const std::vector<uint8_t> tail(got.raw.begin() + 1, got.raw.end());
    for (const auto& e : expected)
      if (tail == e) return true;
    return false;
  }
  for (const auto& e : expected)  // the record built just before or after the write
    if (got.raw == e) return true;
  return false;
}

}  // namespace

ItemsImage ImageOfSnapshot(const MeterSnapshot& snapshot) {
  ItemsImage image{ImageModelName(snapshot.path), snapshot.serial, {}, {}};
  const auto add = [&](CoefList list, uint8_t channel, uint8_t index,
                       const SnapshotCoefficient& c) {
    if (c.state != ValueState::Read) return;
    ImageItem item;
    item.list = list;
    item.channel = channel;
    item.index = index;
    item.read = true;
    item.value = c.stored;
    item.raw.assign(c.raw.begin(), c.raw.end());
    image.items.push_back(item);
  };
  for (uint8_t ch = 1; ch <= 2; ++ch) {
    const SnapshotChannel& channel = snapshot.channels[ch - 1u];
    if (!channel.present) continue;
    for (uint8_t i = 0; i < 10; ++i)
      add(CoefList::K, ch, i, channel.k[i]);
    for (uint8_t i = 2; i < 10; ++i)
      add(CoefList::Obr, ch, i, channel.obr[i]);
  }
  if (snapshot.record.state == ValueState::Read) {
    ImageItem record;
    record.kind = ItemKind::Record;
    record.read = true;
    record.raw.assign(snapshot.record.raw.begin(), snapshot.record.raw.end());
    image.items.push_back(record);
  }
  return image;
}

std::optional<ItemsImage> LoadRestoreImage(const std::string& path, std::string& error) {
  if (auto image = LoadImage(path, error)) return image;
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const Json json = Json::parse(text, nullptr, false);
  std::string snapError;
  if (!json.is_discarded())
    if (const auto snap = SnapshotFromJson(json, snapError)) return ImageOfSnapshot(*snap);
  return std::nullopt;
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
  return v == Verification::Verified   ? "проверено"
         : v == Verification::Mismatch ? "не совпадает"
                                       : "нет ответа";
}

WriteView::Answer SerialConfirmation(const std::optional<std::string>& expected, bool yes,
                                     const std::string& serial) {
  if (expected && *expected != serial) return WriteView::Answer::Refuse;
  return expected && yes ? WriteView::Answer::Write : WriteView::Answer::DryRun;
}

std::string CheckRequest(const WriteRequest& request) {
  for (const CoefValue& c : request.coefficients) {
    if (!std::isfinite(c.value)) return "значение должно быть конечным числом";
    if (c.channel < 1 || c.channel > 2) return "канал должен быть 1 или 2";
    if (c.index > 9) return "индекс коэффициента должен быть 0..9";
  }
  if (request.kind == WriteKind::Coefficients && request.coefficients.empty())
    return "не задано ни одного значения";
  if (request.kind == WriteKind::Seal) {
    const std::string text = Utf8ToCp1251(request.sealText);
    if (text.size() != 8 || Cp1251ToUtf8(text) != request.sealText)
      return "текст пломбы должен состоять ровно из 8 символов кодовой страницы 1251, а не \"" +
             request.sealText + "\"";
  }
  return {};
}

Json WriteOutcome::Record(WriteKind kind) const {
  static const char* const kStatus[] = {"verified", "failed",     "dry_run",
                                        "refused",  "port_error", "not_found"};
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

WriteOutcome RunGuardedWrite(TMeterRead& read, const ReadRequest& port, const WriteRequest& request,
                             WriteView& view) {
  WriteOutcome out;
  const auto stop = [&](WriteStatus status, std::string reason) {
    out.status = status;
    out.reason = std::move(reason);
    if (!out.reason.empty()) view.ShowMessage(out.reason);
    return out;
  };
  if (auto why = CheckRequest(request); !why.empty()) return stop(WriteStatus::Refused, why);

  // Which meter, and its serial number: the read writes nothing.
  RecordingView readView;
  const MeterReading reading = read.BRefreshClick(readView, port);
  if (reading.result == ReadResult::PortError)
    return stop(WriteStatus::PortError, readView.errors.empty() ? "" : readView.errors.front());
  auto meter = AccessFor(read, reading.path, reading.address);
  if (reading.result == ReadResult::NotFound || !meter)
    return stop(WriteStatus::NotFound, "Прибор не найден");
  if (reading.serialState != ValueState::Read || reading.serial.empty())
    return stop(WriteStatus::Refused, "прибор не сообщил заводской номер");
  const Plan plan = PlanFor(request, *meter, reading);
  if (!plan.refusal.empty()) return stop(WriteStatus::Refused, plan.refusal);

  read.lumComPort.Open();
  const PortClose closer(read.lumComPort);
  if (!read.lumComPort.Active())
    return stop(WriteStatus::PortError, "Не удалось открыть порт " + port.portText);

  // 1. The before-image, saved before anything is sent.
  out.before = {meter->Model(), reading.serial, LocalTimeText(), {}};
  for (const ImageItem& t : plan.targets) {
    ImageItem b = t;
    meter->ReadItem(b);
    if (!b.read)
      return stop(WriteStatus::Refused, "не удалось прочитать перед записью: " + b.Name());
    out.before.items.push_back(b);
  }
  std::string error;
  out.imagePath = SaveImage(out.before, request.saveDir, error);
  if (out.imagePath.empty())
    return stop(WriteStatus::Refused, "не удалось сохранить образ «до записи»: " + error);

  // 2. and 3. The difference, and the user's word.
  view.ShowDifference(Difference(out.before, plan.targets, request.kind, *meter, reading));
  const WriteView::Answer answer = view.Confirm(reading.serial);
  if (answer == WriteView::Answer::DryRun) return stop(WriteStatus::DryRun, "");
  if (answer == WriteView::Answer::Refuse)
    return stop(WriteStatus::Refused, "запись не подтверждена для прибора № " + reading.serial);

  // 4. The write, EWrite on for it alone. Items are written in order and the
  // first failed write ends it: a meter that stopped answering is not sent
  // the rest.
  std::vector<std::vector<uint8_t>> expected;
  const auto expectNow = [&] {
    if (request.kind == WriteKind::Seal) {
      const CalibrationRecordBytes r = BuildCalibrationRecord(Utf8ToCp1251(request.sealText));
      expected.emplace_back(r.begin(), r.end());
    } else if (request.kind == WriteKind::Clock) {
      expected.push_back(ClockMinutesOn(LocalDateTime()));
    }
  };
  out.written.assign(plan.targets.size(), false);
  expectNow();
  {
    const EWriteOn on(*meter);
    if (request.kind == WriteKind::Reset) {
      out.written.assign(plan.targets.size(), meter->Reset());
    } else if (request.kind == WriteKind::Seal) {
      out.written[0] = meter->WriteSeal(Utf8ToCp1251(request.sealText));
    } else if (request.kind == WriteKind::Clock) {
      out.written[0] = meter->SetClock();
    } else {
      for (size_t n = 0; n < plan.targets.size(); ++n) {
        const ImageItem& t = plan.targets[n];
        out.written[n] = t.kind == ItemKind::Coef ? meter->WriteCoef(t) : meter->WriteRecord(t.raw);
        if (!out.written[n]) break;
      }
    }
  }

  // 5. Every item read back and compared.
  out.after = {meter->Model(), reading.serial, LocalTimeText(), {}};
  for (const ImageItem& t : plan.targets) {
    ImageItem a = t;
    meter->ReadItem(a);
    out.after.items.push_back(a);
  }
  expectNow();
  bool all = true;
  for (size_t n = 0; n < plan.targets.size(); ++n) {
    const ImageItem& a = out.after.items[n];
    const Verification v = !a.read ? Verification::NoReply
                           : Matches(a, plan.targets[n], request.kind, expected)
                               ? Verification::Verified
                               : Verification::Mismatch;
    out.verification.push_back(v);
    all = all && v == Verification::Verified;
  }
  return stop(all ? WriteStatus::Verified : WriteStatus::Failed,
              all ? "" : "not every item reads back as written");
}
