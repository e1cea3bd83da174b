// The snapshot of a meter: identified as the read identifies it, then read
// whole through its driver, without a single write (EWrite stays off on every
// driver). Runs on the read's port, drivers, Delays and firmware table.
#pragma once

#include "app/core/MeterRead.h"
#include "app/core/MeterSnapshot.h"

class TMeterSnapshot {
 public:
  explicit TMeterSnapshot(TMeterRead& read) : read_(read) {}

  // Opens the port, identifies the meter, reads every item its model has,
  // closes the port. result says PortError or NotFound when it got no
  // further; a failed item is marked Failed and the rest still read.
  MeterSnapshot Take(const ReadRequest& request);

 private:
  void ReadModel();
  // Serial number, firmware text and clock: once per meter.
  template <class Driver>
  void ReadMeterItems(Driver& driver);
  // Coefficients, Gmax, G and SFR of count channels of the driver (1..count)
  // into the snapshot's channels first.. .
  template <class Driver>
  void ReadChannels(Driver& driver, size_t count, size_t first = 0);
  template <class Driver>
  void ReadRecord(Driver& driver);
  // A two-node GDZ-12.07S: the second channel is the node at the next address.
  void ReadSecondGdzNode();
  void CheckFirmware();

  TMeterRead& read_;
  MeterSnapshot snap_;
  bool twoChannels_ = false;
};
