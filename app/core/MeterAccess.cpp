#include "MeterAccess.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace {

template <class Driver>
class DriverAccess final : public MeterAccess {
 public:
  // nodePerChannel: the GDZ-12.07S, whose channel 2 is the node at the next
  // address.
  DriverAccess(Driver& driver, std::string model, uint8_t channels, bool nodePerChannel)
      : d_(driver),
        model_(std::move(model)),
        channels_(channels),
        nodePerChannel_(nodePerChannel),
        base_(driver.NetAddr()) {}

  std::string Model() const override { return model_; }
  uint8_t Channels() const override { return channels_; }
  bool CanStore(CoefList list, uint8_t index, float value) const override {
    if constexpr (std::is_same_v<Driver, TlumGdz1208>) return Driver::CanStore(list, index, value);
    return true;
  }
  bool HasClock() const override { return std::is_base_of_v<Tlum3xProtocol, Driver>; }
  std::vector<CoefValue> ResetItems() const override { return d_.ResetItems(); }

  void ReadItem(ImageItem& item) override {
    item.read = false;
    if (item.kind == ItemKind::Coef) {
      float value = 0;
      Bytes4 raw{};
      const uint8_t channel = Select(item.channel);
      if (d_.ClbReadKRaw(item.list, channel, item.index, value, raw) && d_.LastError() == 0) {
        item.read = true;
        item.value = value;
        item.raw.assign(raw.begin(), raw.end());
      }
    } else if (item.kind == ItemKind::Record) {
      Select(1);
      CalibrationRecordBytes record{};
      if (d_.ClbReadRecord(record)) {
        item.read = true;
        item.raw.assign(record.begin(), record.end());
      }
    } else if constexpr (std::is_base_of_v<Tlum3xProtocol, Driver>) {
      Select(1);
      std::array<uint8_t, 10> clock{};
      d_.ReadRtc128(0, clock, static_cast<uint8_t>(clock.size()));
      if (d_.LastError() == 0) {
        item.read = true;
        item.raw.assign(clock.begin(), clock.end());
      }
    }
  }
  std::optional<double> Shown(CoefList list, uint8_t channel, uint8_t index, float stored,
                              const MeterReading& reading) const override {
    if (list != CoefList::K || index > 1) return std::nullopt;
    if (index == 1) return Driver::ShownKu(stored);
    // A GDZ-12.08 has one Gmax, that of channel 1, for both channels.
    const size_t ch = std::is_same_v<Driver, TlumGdz1208> ? 0u : channel - 1u;
    if (ch >= reading.channels.size() || reading.channels[ch].gmaxState != ValueState::Read)
      return std::nullopt;
    return Driver::ShownK0(stored, reading.channels[ch].gmax);
  }
  bool ReadPresent(uint8_t channel, float& value) override {
    // The drivers return 0 for a channel they do not have, without an error.
    if (!HasChannel(channel)) return false;
    const float g = d_.ClbReadG(Select(channel));
    if (d_.LastError() != 0) return false;
    value = g;
    return true;
  }
  bool WriteCoef(const ImageItem& item) override {
    const uint8_t channel = Select(item.channel);
    const bool ok = item.list == CoefList::K ? d_.ClbWriteK(channel, item.index, item.value)
                                             : d_.ClbWriteObr(channel, item.index, item.value);
    return ok && d_.LastError() == 0;
  }
  bool WriteRecord(std::span<const uint8_t> bytes) override {
    if (bytes.size() != 16) return false;
    Select(1);
    CalibrationRecordBytes record{};
    std::copy(bytes.begin(), bytes.end(), record.begin());
    return d_.ClbWriteRecordBytes(record);
  }
  bool WriteSeal(const std::string& cp1251) override {
    Select(1);
    d_.SetSealmark(cp1251);
    d_.ClearSealmark();  // a fresh record, even if this object wrote one before
    return d_.ClbWriteSealmark();
  }
  bool Reset() override {
    Select(1);
    return d_.ResetK();
  }
  bool SetClock() override {
    if constexpr (std::is_base_of_v<Tlum3xProtocol, Driver>) {
      Select(1);
      d_.SetDateTime();
      return d_.LastError() == 0;
    }
    return false;
  }
  void SetEWrite(bool on) override { d_.SetEWrite(on); }

 private:
  // Points the driver at the channel's node; the channel to hand it.
  uint8_t Select(uint8_t channel) {
    if (!nodePerChannel_) return channel;
    d_.SetNetAddr(static_cast<uint8_t>(base_ + channel - 1));
    return 1;
  }

  Driver& d_;
  std::string model_;
  uint8_t channels_;
  bool nodePerChannel_;
  uint8_t base_;
};

}  // namespace

std::string ImageModelName(ReadPath path) {
  switch (path) {
    case ReadPath::Zfk31:
      return "ZFK-31";
    case ReadPath::Zfk36:
      return "ZFK-36";
    case ReadPath::GdzSingle:
    case ReadPath::GdzDouble:
      return "GDZ-12.07S";
    case ReadPath::ModBus:
      return "GDZ-12.08";
    case ReadPath::None:
      break;
  }
  return {};
}

bool PathHasClock(ReadPath path) {
  return path == ReadPath::Zfk31 || path == ReadPath::Zfk36 || path == ReadPath::GdzSingle ||
         path == ReadPath::GdzDouble;
}

std::unique_ptr<MeterAccess> AccessFor(TMeterRead& read, ReadPath path, unsigned address) {
  const auto addr = static_cast<uint8_t>(address);
  switch (path) {
    case ReadPath::Zfk31:
      return std::make_unique<DriverAccess<TlumZfk31>>(read.Zfk31, ImageModelName(path), 2, false);
    case ReadPath::Zfk36:
      return std::make_unique<DriverAccess<TlumZfk36>>(read.Zfk36, ImageModelName(path), 2, false);
    case ReadPath::GdzSingle:
    case ReadPath::GdzDouble:
      // The read leaves the driver at the second node; the meter is the first.
      read.Gdz1207s.SetNetAddr(addr);
      return std::make_unique<DriverAccess<TlumGdz1207s>>(
          read.Gdz1207s, ImageModelName(path), path == ReadPath::GdzDouble && addr < 127 ? 2 : 1,
          true);
    case ReadPath::ModBus:
      return std::make_unique<DriverAccess<TlumGdz1208>>(
          read.Gdz1208, ImageModelName(path), read.Gdz1208.AltRegMapping() ? 2 : 1, false);
    default:
      return nullptr;
  }
}
