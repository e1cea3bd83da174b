// One text per kind of value, for everything the engineer and the customer
// read: the service window, the confirmations, the command line, the journal
// view, the comparisons and the report. The main window's fields keep their
// own fixed forms (ReadFields); every other output goes through these, so the
// same float never reads two ways on one page.
#pragma once

#include <optional>
#include <string>

#include "MeterSnapshot.h"
#include "comm/Lum3xClock.h"
#include "comm/LumClock.h"
#include "drivers/CalibrationRecord.h"

// A coefficient: the shortest decimal that reads back as the very same float
// (0.00102, 163.84, 1e-30); "не число" or "±бесконечность" for what is none.
std::string FloatText(float value);
// A number as the journal and the snapshots keep it (a JSON double): a value
// that came from a float as FloatText, any other in its own shortest form.
std::string NumberText(double value);
// to − from, signed, at the precision the two values are shown with, so that
// 0.0025 → 0.00251 differs by "+0.00001" and not by 1.00000761e-05.
std::string DifferenceText(float from, float to);
// The change from → to as a share of from, in percent ("+0.4 %"); empty when
// from is 0 (no share of nothing).
std::string ShareText(float from, float to);
// |to − from| / |from|; infinity when from is 0 and to is not.
double RelativeChange(float from, float to);

// Dates as a Russian reader takes them: "09.12.2026", "09.12.2026 00:52:54".
std::string DateText(int year, int month, int day);
std::string DateTimeText(const LumDateTime& t);
// A journal's local time ("2026-12-09T00:52:54+03:00" or without the zone)
// shown as "09.12.2026 00:52:54"; anything else is shown as it stands.
std::string JournalTimeText(const std::string& isoLocal);
// A meter's clock and a calibration record's date, decoded (the meters keep
// the year modulo 100; they were made in this century). nullopt when the
// bytes hold no valid date, such as an erased FF clock.
std::optional<std::string> MeterClockText(const MeterClockBytes& bytes);
std::optional<std::string> RecordDateText(const CalibrationRecordBytes& record);
// A calibration record for people: the seal, licence, version and date, e.g.
// "C1051234 (лицензия 1234, версия 1.05), 09.12.2026 00:52:54", or why not.
std::string RecordText(const CalibrationRecordBytes& record);

// The firmware version's check against the reference, in words:
// "совпадает с эталоном", "эталон не задан (заглушка в firmware.ini)", ...
const char* FirmwareCheckText(FirmwareCheck check);
