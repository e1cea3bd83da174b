// One model's driver behind the same few operations, for whatever works on the
// meter the read identified: the guarded write and the live values. It knows
// each model's channels: two on the ZFK meters; on the GDZ-12.07S channel 2 is
// the node at the next address, so that the driver is pointed at the channel's
// node before every operation; one or two on the GDZ-12.08 (AltRegMapping).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/core/MeterRead.h"
#include "app/core/WriteImage.h"

class MeterAccess {
 public:
  virtual ~MeterAccess() = default;
  virtual std::string Model() const = 0;
  virtual uint8_t Channels() const = 0;
  bool HasChannel(uint8_t channel) const { return channel >= 1 && channel <= Channels(); }
  virtual bool CanStore(CoefList list, uint8_t index, float value) const = 0;
  virtual bool HasClock() const = 0;
  virtual std::vector<CoefValue> ResetItems() const = 0;
  // Fills read, raw and value.
  virtual void ReadItem(ImageItem& item) = 0;
  // What the main window shows for a stored K0 (K[0]) or Ku (K[1]) of a
  // channel, K0 scaled by the Gmax the read found; nullopt for every other
  // coefficient, which the window does not show, and for K0 without Gmax.
  virtual std::optional<double> Shown(CoefList list, uint8_t channel, uint8_t index, float stored,
                                      const MeterReading& reading) const = 0;
  // The channel's present flow G; true when the meter gave it.
  virtual bool ReadPresent(uint8_t channel, float& value) = 0;
  virtual bool WriteCoef(const ImageItem& item) = 0;
  virtual bool WriteRecord(std::span<const uint8_t> bytes) = 0;
  virtual bool WriteSeal(const std::string& cp1251) = 0;
  virtual bool Reset() = 0;
  virtual bool SetClock() = 0;
  virtual void SetEWrite(bool on) = 0;
};

// The model as images name it ("ZFK-31", "ZFK-36", "GDZ-12.07S", "GDZ-12.08");
// empty for a path that reaches no meter.
std::string ImageModelName(ReadPath path);
// The models of the 3x paths keep a clock; the GDZ-12.08 has none.
bool PathHasClock(ReadPath path);

// The access to the meter the read (or Identify) found on path at address;
// nullptr when no meter was recognised. Identify must have run: it switches
// a two-channel GDZ-12.08 to AltRegMapping.
std::unique_ptr<MeterAccess> AccessFor(TMeterRead& read, ReadPath path, unsigned address);
