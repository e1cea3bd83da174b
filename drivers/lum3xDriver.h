// What the three 3x drivers (ZFK-31, ZFK-36, GDZ-12.07S) share beyond the
// driver contract: the meter's clock, the firmware version text, and reads of
// a whole memory area that insist on every byte asked for.
#pragma once

#include <span>
#include <string>

#include "comm/lum3xProtocol.h"
#include "drivers/lumCalibrationDriver.h"

class Tlum3xDriver : public TlumCalibrationDriver<Tlum3xProtocol> {
 public:
  // The 3x meters keep a clock in their Rtc128 area, in the layout SetDateTime
  // writes: one read of its ten bytes. False (clock untouched) on failure,
  // and with code 3 when the reply carries fewer bytes.
  bool ClbReadClock(MeterClockBytes& clock);
  // The firmware version text the meter reports (GetSoftVer), in the meter's
  // code page. False (text untouched) when the request failed.
  bool ClbReadSoftVer(std::string& text);

 protected:
  // ReadRtc2k of bytes.size() bytes (at most 248) at address; false, with
  // code 3, when the reply carries fewer than that.
  bool ReadRtc2kWhole(uint16_t address, std::span<uint8_t> bytes);

 private:
  bool WholeReply(size_t expected);
};
