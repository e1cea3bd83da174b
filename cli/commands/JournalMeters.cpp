#include "JournalMeters.h"

#include <iostream>

std::string MeterKey(const JournalMeter& m) {
  return m.serial.empty() ? m.file : m.serial;
}

std::string MeterFile(const JournalListing& listing, const std::string& serial) {
  for (const JournalMeter& m : listing.meters)
    if (m.serial == serial || m.file == serial) return MeterKey(m);
  return {};
}

std::string ChosenMeterFile(const CliOptions& o, const std::string& dir, bool newest) {
  const JournalListing listing = ListJournalMeters(dir);
  if (!listing.ok) {
    std::cerr << "calibrate-cli: " << listing.error << "\n";
    return {};
  }
  if (listing.meters.empty()) {
    std::cerr << "calibrate-cli: в журнале " << dir << " нет событий\n";
    return {};
  }
  if (!o.operands.empty()) {
    const std::string file = MeterFile(listing, o.operands[0]);
    if (file.empty())
      std::cerr << "calibrate-cli: в журнале " << dir << " нет прибора " << o.operands[0] << "\n";
    return file;
  }
  const JournalMeter* chosen = &listing.meters.front();
  for (const JournalMeter& m : listing.meters) {
    if (!newest && &m != chosen) {
      std::cerr << "calibrate-cli: в журнале приборов: " << listing.meters.size()
                << "; укажите заводской номер одного из них (calibrate-cli history)\n";
      return {};
    }
    if (m.lastTimeUtc > chosen->lastTimeUtc) chosen = &m;
  }
  return MeterKey(*chosen);
}
