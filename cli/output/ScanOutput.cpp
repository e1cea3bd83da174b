#include "ScanOutput.h"
#include <cstdio>

#include <nlohmann/json.hpp>

#include "app/core/base/CsvField.h"

std::string ScanAddressText(const FoundMeter& m) {
  return std::to_string(m.address) +
         (m.secondAddress ? "+" + std::to_string(*m.secondAddress) : std::string());
}

std::string ScanAsText(const std::vector<FoundMeter>& meters) {
  if (meters.empty()) return "Приборы не найдены.\n";
  std::string out = "адрес    бод    протокол  мс   идентификация / модель / номер\n";
  for (const FoundMeter& m : meters) {
    char head[64];
    std::snprintf(head, sizeof head, "%-8s %-6u %-9s %-4u ", ScanAddressText(m).c_str(), m.baud,
                  ScanProtocolName(m.protocol), m.replyMs);
    out += head + ScanIdentificationText(m) + " / " + (m.caption.empty() ? "?" : m.caption) +
           " / " + (m.serial.empty() ? "?" : m.serial) + "\n";
  }
  return out;
}

std::string ScanAsJson(const std::vector<FoundMeter>& meters) {
  auto list = nlohmann::ordered_json::array();
  for (const FoundMeter& m : meters) {
    nlohmann::ordered_json j;
    j["address"] = m.address;
    j["second_address"] = m.secondAddress ? nlohmann::ordered_json(*m.secondAddress) : nullptr;
    j["baud"] = m.baud;
    j["protocol"] = ScanProtocolName(m.protocol);
    j["identification"] = m.identification;
    j["model"] = m.caption;
    j["serial"] = m.serial;
    j["reply_ms"] = m.replyMs;
    j["state"] = FoundStateName(m.state);
    j["message"] = m.state == FoundState::Meter ? nlohmann::ordered_json(nullptr)
                                                : nlohmann::ordered_json(kAddressConflictText);
    list.push_back(j);
  }
  return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string ScanAsCsv(const std::vector<FoundMeter>& meters) {
  std::string out = "address,baud,protocol,identification,model,serial,state,reply_ms\n";
  for (const FoundMeter& m : meters)
    out += ScanAddressText(m) + "," + std::to_string(m.baud) + "," + ScanProtocolName(m.protocol) +
           "," + CsvField(m.identification) + "," + CsvField(m.caption) + "," + CsvField(m.serial) +
           "," + FoundStateName(m.state) + "," + std::to_string(m.replyMs) + "\n";
  return out;
}
