// What calibrate-cli scan prints of the meters it found: a table, JSON or CSV,
// each with address, speed, protocol, identification, model caption, serial
// number, state (a meter or an address conflict) and reply time in ms. A
// two-node meter's address reads "A+B"; an address conflict reads
// "конфликт адресов" in the table's identification and in JSON's "message".
#pragma once

#include <string>
#include <vector>

#include "app/core/ops/BusScan.h"

std::string ScanAddressText(const FoundMeter& meter);
std::string ScanAsText(const std::vector<FoundMeter>& meters);
std::string ScanAsJson(const std::vector<FoundMeter>& meters);
std::string ScanAsCsv(const std::vector<FoundMeter>& meters);
