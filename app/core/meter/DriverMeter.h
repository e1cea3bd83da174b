// A Meter through one model's driver. Only Connection.cpp makes them.
#pragma once

#include <type_traits>

#include "app/core/base/Cp1251.h"
#include "app/core/meter/Meter.h"
#include "comm/LumUtils.h"
#include "drivers/lumGdz1207s.h"
#include "drivers/lumGdz1208.h"
#include "drivers/lumZfk31.h"
#include "drivers/lumZfk36.h"

template <class Driver>
class DriverMeter final : public Meter {
 public:
  DriverMeter(Driver& driver, MeterModel model, ReadPath path, std::string identification,
              uint8_t address, uint8_t channels, std::string caption)
      : Meter(model, path, std::move(identification), address, channels, std::move(caption)),
        d_(driver) {}

  ValueState ReadSerial() override {
    Select(1);
    std::string serial = Cp1251ToUtf8(d_.GetDeviceNumber());
    const ValueState state = StateOf(d_.LastError() == 0);
    SetSerial(std::move(serial));
    return state;
  }
  Coefficient ReadCoefficient(CoefRef ref) override {
    Coefficient c;
    c.ref = ref;
    const uint8_t channel = Select(ref.channel);
    c.state = StateOf(d_.ClbReadKRaw(ref.list, channel, ref.index, c.stored, c.raw) &&
                      d_.LastError() == 0);
    if (!c.Read()) c.stored = 0;
    return c;
  }
  bool ReadLists(uint8_t first, std::span<CoefficientLists> lists) override {
    Select(first);
    const bool ok = d_.ClbReadLists(lists);
    // A node's lists are its channel 1: name them as the meter's channels.
    for (size_t i = 0; i < lists.size(); ++i)
      for (Coefficient* c : Places(lists[i]))
        c->ref.channel = static_cast<uint8_t>(first + i);
    return ok;
  }
  SnapshotValue ReadGmax(uint8_t channel) override {
    return Value([&](uint8_t ch) { return d_.ClbReadGmax(ch); }, channel);
  }
  SnapshotValue ReadPresent(uint8_t channel) override {
    // The drivers return 0 for a channel they do not have, without an error.
    if (!HasChannel(channel)) return {ValueState::Failed, 0};
    return Value([&](uint8_t ch) { return d_.ClbReadG(ch); }, channel);
  }
  SnapshotValue ReadSfr(uint8_t channel) override {
    if constexpr (requires { d_.ClbReadSFR(channel); })
      return Value([&](uint8_t ch) { return d_.ClbReadSFR(ch); }, channel);
    return {};
  }
  ValueState ReadSoftVer(std::string& cp1251) override {
    Select(1);
    return StateOf(d_.ClbReadSoftVer(cp1251));
  }
  ValueState ReadRecord(CalibrationRecordBytes& record) override {
    Select(RecordChannel());
    return StateOf(d_.ClbReadRecord(record));
  }
  ValueState ReadClock(MeterClockBytes& clock) override {
    if constexpr (requires { d_.ClbReadClock(clock); }) {
      Select(1);
      return StateOf(d_.ClbReadClock(clock));
    }
    return ValueState::NotRead;
  }

  ValueState ReadIdentification(std::string& cp1251) override {
    Select(1);
    std::string text;
    d_.GetDevID(text);
    if (d_.LastError() != 0) return ValueState::Failed;
    cp1251 = text;
    return ValueState::Read;
  }
  std::string IntegrityFault(bool fresh) override {
    if constexpr (std::is_same_v<Driver, TlumZfk36>) {
      if ((fresh || !d_.LastBlockSum().read) && !d_.ClbCheckBlock())
        return "блок коэффициентов не прочитан целиком";
      const auto& sum = d_.LastBlockSum();
      if (!sum.Sound())
        return "блок коэффициентов повреждён: контрольная сумма в приборе " + HexWord(sum.stored) +
               ", а по его байтам " + HexWord(sum.computed) + "; прибор не примет эти коэффициенты";
    }
    return {};
  }

  std::optional<double> Shown(CoefRef ref, float stored, float gmax) const override {
    if (ref.index == 1) return Driver::ShownKu(stored);
    if (ref.index == 0) return Driver::ShownK0(stored, gmax);
    return std::nullopt;
  }
  bool CanStore(const Coefficient& c) const override {
    if constexpr (std::is_same_v<Driver, TlumGdz1208>)
      return Driver::CanStore(c.ref.list, c.ref.index, c.stored);
    return true;
  }
  std::vector<Coefficient> ResetItems() const override { return d_.ResetItems(); }
  float StoredOf(CoefRef ref, const Bytes4& raw) const override {
    return Driver::StoredValue(ref.index, raw);
  }

  size_t WriteCoefficients(std::span<const Coefficient> items,
                           const std::function<bool()>& stop) override {
    if constexpr (std::is_same_v<Driver, TlumZfk36>) {
      if (items.empty() || (stop && stop())) return 0;
      return d_.ClbWriteItems(items) && d_.LastError() == 0 ? items.size() : 0;
    }
    size_t written = 0;
    for (const Coefficient& c : items) {
      if (stop && stop()) break;
      const uint8_t channel = Select(c.ref.channel);
      const bool ok = c.ref.list == CoefList::K ? d_.ClbWriteK(channel, c.ref.index, c.stored)
                                                : d_.ClbWriteObr(channel, c.ref.index, c.stored);
      if (!ok || d_.LastError() != 0) break;
      ++written;
    }
    return written;
  }
  bool WriteRecord(const CalibrationRecordBytes& record) override {
    Select(RecordChannel());
    return d_.ClbWriteRecordBytes(record);
  }
  bool WriteSeal(const std::string& cp1251) override {
    Select(RecordChannel());
    d_.SetSealmark(cp1251);
    d_.ClearSealmark();  // a fresh record, even if this driver wrote one before
    return d_.ClbWriteSealmark();
  }
  bool SetClock() override {
    if constexpr (std::is_base_of_v<Tlum3xProtocol, Driver>) {
      Select(1);
      d_.SetDateTime();
      return d_.LastError() == 0;
    }
    return false;
  }

  std::string LastFailure() const override {
    const uint32_t code = d_.LastError();
    if (code == lumOk) return {};
    std::string text(ResultMessage(code));
    if (text.empty()) text = "код " + std::to_string(code);
    if constexpr (std::is_same_v<Driver, TlumGdz1208>)
      if (code == lumErrRefused)
        text += " (исключение ModBus " + std::to_string(d_.LastException()) + ": " +
                std::string(ModBusExceptionName(d_.LastException())) + ")";
    return text;
  }

 private:
  static ValueState StateOf(bool ok) { return ok ? ValueState::Read : ValueState::Failed; }
  static std::string HexWord(uint16_t w) {
    const std::array<uint8_t, 2> b = {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
    return HexDump(b, false);
  }
  static std::array<Coefficient*, 20> Places(CoefficientLists& l) {
    std::array<Coefficient*, 20> all{};
    for (size_t i = 0; i < 10; ++i) {
      all[i] = &l.k[i];
      all[10 + i] = &l.obr[i];
    }
    return all;
  }
  template <class Op>
  SnapshotValue Value(Op op, uint8_t channel) {
    const float v = op(Select(channel));
    return {StateOf(d_.LastError() == 0), v};
  }
  // Points the driver at the channel's node; the channel to hand it.
  uint8_t Select(uint8_t channel) {
    if (!Row().nodePerChannel) return channel;
    d_.SetNetAddr(static_cast<uint8_t>(Address() + channel - 1));
    return 1;
  }
  void SetEWrite(bool on) override { d_.SetEWrite(on); }

  Driver& d_;
};
