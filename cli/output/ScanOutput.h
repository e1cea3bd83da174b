// What calibrate-cli scan prints of the meters it found: a table, JSON or CSV,
// each with address, speed, protocol, identification, model caption, serial
// number and reply time in ms. A two-node meter's address reads "A+B".
#pragma once

#include <string>
#include <vector>

#include "app/core/ops/BusScan.h"

std::string ScanAddressText(const FoundMeter& meter);
std::string ScanAsText(const std::vector<FoundMeter>& meters);
std::string ScanAsJson(const std::vector<FoundMeter>& meters);
std::string ScanAsCsv(const std::vector<FoundMeter>& meters);
