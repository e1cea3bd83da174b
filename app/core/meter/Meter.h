// The meter we are connected to: what identification found (model, channels,
// clock, through the one model table) and every operation on it, each at the
// node of its channel, so that no caller needs to know that a GDZ-12.07S's
// channel 2 is the node at the next address. Nothing here writes unless a
// WriteScope is alive: EWrite is on for that one operation alone.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/core/meter/MeterModels.h"
#include "app/core/values/MeterSnapshot.h"
#include "drivers/CoefficientLists.h"

// One name of a meter for every file and every heading.
struct MeterId {
  std::string model;    // Latin: "ZFK-31", "ZFK-36", "GDZ-12.07S", "GDZ-12.08"
  std::string serial;   // UTF-8; empty until read
  std::string caption;  // the firmware table's caption ("ЗФК-31"); empty when unknown
  bool operator==(const MeterId&) const = default;
};

class Meter {
 public:
  Meter(MeterModel model, ReadPath path, std::string identification, uint8_t address,
        uint8_t channels, std::string caption);
  virtual ~Meter() = default;
  Meter(const Meter&) = delete;
  Meter& operator=(const Meter&) = delete;

  const MeterId& Id() const { return id_; }
  MeterModel Model() const { return model_; }
  const ModelRow& Row() const { return RowOf(model_); }
  ReadPath Path() const { return path_; }
  // As the meter sent it (code page 1251).
  const std::string& Identification() const { return identification_; }
  uint8_t Address() const { return address_; }
  uint8_t Channels() const { return channels_; }
  bool HasChannel(uint8_t channel) const { return channel >= 1 && channel <= channels_; }
  bool HasClock() const { return Row().hasClock; }
  // The channel whose node keeps the calibration record: a two-node
  // GDZ-12.07S keeps it in its second node, where the read takes it from.
  uint8_t RecordChannel() const;

  // --- reads: none of them writes --------------------------------------
  // The serial number; once read it is part of Id().
  virtual ValueState ReadSerial() = 0;
  virtual Coefficient ReadCoefficient(CoefRef ref) = 0;
  // Both lists of count channels from first on, as whole-area reads.
  virtual bool ReadLists(uint8_t first, std::span<CoefficientLists> lists) = 0;
  virtual SnapshotValue ReadGmax(uint8_t channel) = 0;
  // The present flow G.
  virtual SnapshotValue ReadPresent(uint8_t channel) = 0;
  // NotRead on a model without SFR.
  virtual SnapshotValue ReadSfr(uint8_t channel) = 0;
  virtual ValueState ReadSoftVer(std::string& cp1251) = 0;
  virtual ValueState ReadRecord(CalibrationRecordBytes& record) = 0;
  // NotRead on a model without a clock.
  virtual ValueState ReadClock(MeterClockBytes& clock) = 0;
  // The identification text as the meter sends it now (code page 1251).
  virtual ValueState ReadIdentification(std::string& cp1251) = 0;
  // Why the meter would not use what it holds: on a ZFK-36 a coefficient
  // block whose checksum does not match its bytes (a piece of a block write
  // lost), or a block that could not be read whole to tell. Fresh reads the
  // block now; otherwise the last whole read of it counts, if there was one.
  // Empty when sound, and always on the other models.
  virtual std::string IntegrityFault(bool fresh) = 0;
  // Asks again for the identification and the serial number: empty when the
  // same meter answers, else why not ("отвечает другой прибор: № 2 вместо
  // № 1"). Id() keeps the serial number of the meter this object was made for.
  std::string CheckSameMeter();

  // What the main window shows for a stored K0 (index 0) or Ku (index 1),
  // K0 scaled by gmax; nullopt for every other coefficient.
  virtual std::optional<double> Shown(CoefRef ref, float stored, float gmax) const = 0;
  // Whether the model can keep the value (the GDZ-12.08 keeps K0 as an
  // integer register).
  virtual bool CanStore(const Coefficient& c) const = 0;
  // What the model's reset writes, in its order: a reset is the write of
  // these items, which stops at the first that fails.
  virtual std::vector<Coefficient> ResetItems() const = 0;
  // The stored value of the four bytes as the model keeps them at ref, which
  // the write of that value gives back bit for bit (a NaN or an erased
  // FFFFFFFF included).
  virtual float StoredOf(CoefRef ref, const Bytes4& raw) const = 0;

  // --- writes: only inside a WriteScope --------------------------------
  // Writes the items' stored values in order and stops at the first that
  // fails, or before the next item once stop says so; how many were written.
  // A ZFK-36 takes them all in one block write, all or none.
  virtual size_t WriteCoefficients(std::span<const Coefficient> items,
                                   const std::function<bool()>& stop = {}) = 0;
  virtual bool WriteRecord(const CalibrationRecordBytes& record) = 0;
  // The seal text (8 characters, code page 1251) as a fresh record.
  virtual bool WriteSeal(const std::string& cp1251) = 0;
  // The clock set to the computer's time.
  virtual bool SetClock() = 0;
  // Why the last operation failed, in the engineer's words ("Прибор отклонил
  // запрос (исключение ModBus 2: недопустимый адрес данных)"); empty when it
  // did not.
  virtual std::string LastFailure() const = 0;

 protected:
  void SetSerial(std::string serial) { id_.serial = std::move(serial); }

 private:
  friend class WriteScope;
  virtual void SetEWrite(bool on) = 0;

  MeterModel model_;
  ReadPath path_;
  std::string identification_;
  uint8_t address_;
  uint8_t channels_;
  MeterId id_;
};

// EWrite is on for as long as this lives, and off afterwards whatever happens.
class WriteScope {
 public:
  explicit WriteScope(Meter& meter) : meter_(meter) { meter_.SetEWrite(true); }
  ~WriteScope() { meter_.SetEWrite(false); }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

 private:
  Meter& meter_;
};
