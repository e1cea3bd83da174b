#include "DevManager.h"

#include <cstdio>

#include "IniFile.h"
#include "app/core/base/Cp1251.h"

const std::array<std::string_view, kDeviceTypeCount> DeviceDisplayNames = {
    "Нет",     "ЗФК-31", "ГДЗ-12.05",  "ГДЗ-12.05С", "ГДЗ-12.07", "ГДЗ-12.07С",
    "ЗФК-31К", "ЗФК-36", "ГДЗ-12.03С", "ЗФК-31-1",   "БРЦ-АКС",   "ЗФК-М7"};

// Entries 2 and 6 are Cyrillic in this list too: kept as the meters' makers
// named them, since other tools compare against these texts.
const std::array<std::string_view, kDeviceTypeCount> DeviceLatinNames = {
    "Нет",    "ZFK-31", "ГДЗ-12.05", "GDZ-12.05.1", "GDZ-12.07", "GDZ-12.07.C",
    "ЗФК-30", "ZFK-36", "GDZ1203-C", "ZFK-31-1",    "BRC-AKS",   "M7"};

const std::array<std::string_view, kDeviceTypeCount> DeviceShortCodes = {
    "NC",  "Z31", "G1205",  "G1205S", "G1207", "G1207S",
    "Z30", "Z36", "G1103S", "Z311",   "G1208", "Z7"};

const std::array<std::string_view, kDeviceTypeCount> DeviceCatalogueNames = {
    "",       "ZFK-31", "GDZ-1205",  "GDZ-1205S", "GDZ-1207", "GDZ-1207S",
    "ZFK-30", "ZFK-36", "GDZ-1203C", "ZFK-31-1",  "BRC-AKS",  "ZFK-M7"};

const std::vector<TVerRecord>& BuiltInVerTable() {
  // Placeholder reference data: version v1.00 ("#b$aa") and CRC32 00000000
  // (stored complemented) for every model, until the real values are known.
  static const std::vector<TVerRecord> table = {
      {"ZFK-31", "ЗФК-31", "#b$aa", 0xFFFFFFFF},      {"GDZ-125", "Прибор", "#b$aa", 0xFFFFFFFF},
      {"GDZ-12.07", "Прибор", "#b$aa", 0xFFFFFFFF},   {"ZFK-30", "Прибор", "#b$aa", 0xFFFFFFFF},
      {"ZFK-36", "Прибор", "#b$aa", 0xFFFFFFFF},      {"GDZ1203-C", "Прибор", "#b$aa", 0xFFFFFFFF},
      {"ZFK31-1", "Прибор", "#b$aa", 0xFFFFFFFF},     {"KERVA-36", "КЕРВА-36", "#b$aa", 0xFFFFFFFF},
      {"BRC", "БРЦ-АКС", "#b$aa", 0xFFFFFFFF},        {"BRCK", "БРЦ-К", "#b$aa", 0xFFFFFFFF},
      {"GDZ23B", "ГДЗ-12.03", "#b$aa", 0xFFFFFFFF},   {"GDZ25", "ГДЗ-12.05", "#b$aa", 0xFFFFFFFF},
      {"GDZ27", "ГДЗ-12.07", "#b$aa", 0xFFFFFFFF},    {"TGDZ", "ГДЗ-12.05(П)", "#b$aa", 0xFFFFFFFF},
      {"TGDZR", "ГДЗ-12.05(Э)", "#b$aa", 0xFFFFFFFF}, {"TGDZ2", "ГДЗ-12.07", "#b$aa", 0xFFFFFFFF},
  };
  return table;
}

std::vector<TVerRecord> LoadVerTable(const std::string& firmwareIniPath) {
  std::vector<TVerRecord> table = BuiltInVerTable();
  IniFile ini(firmwareIniPath);
  for (const std::string& section : ini.Sections()) {
    // The file is UTF-8; identification texts come in the meters' code page.
    const std::string key = VerTableKey(Utf8ToCp1251(section));
    if (key.empty()) continue;
    TVerRecord* row = nullptr;
    for (auto& r : table) {
      if (r.DevID == key) {
        row = &r;
        break;
      }
    }
    if (!row) {
      table.push_back({key, "Прибор", "", 0xFFFFFFFF});
      row = &table.back();
    }
    // A key left empty keeps the built-in value, like one left out.
    const auto value = [&](const char* name) {
      auto text = ini.ReadString(section, name);
      return text && !text->empty() ? text : std::nullopt;
    };
    if (auto name = value("DevName")) row->DevName = *name;
    if (auto coded = value("CodedVer")) {
      row->CodedVer = *coded;
      row->Configured = true;
      row->VersionConfigured = true;
    }
    if (auto crc = value("StoredCRC")) {
      if (auto number = IniFile::ParseInteger(*crc)) {
        row->StoredCRC = static_cast<uint32_t>(*number);
        row->Configured = true;
      }
    }
    // The checksum as the firmware's release notes give it (and as the window
    // shows it), always hexadecimal; the table keeps its complement.
    if (auto crc = value("CRC32")) {
      const bool prefixed =
          crc->rfind("0x", 0) == 0 || crc->rfind("0X", 0) == 0 || crc->rfind("$", 0) == 0;
      if (auto number = IniFile::ParseInteger(prefixed ? *crc : "0x" + *crc)) {
        row->StoredCRC = ~static_cast<uint32_t>(*number);
        row->Configured = true;
      }
    }
  }
  return table;
}

std::string DecodeVersion(std::string_view coded) {
  std::string out;
  for (char c : coded) {
    if (c == '#')
      out += 'v';
    else if (c == '$')
      out += '.';
    else if (c >= 'a' && c <= 'j')
      out += static_cast<char>('0' + (c - 'a'));
    else
      out += c;
  }
  return out;
}

std::string CrcDisplay(uint32_t storedCrc) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(~storedCrc));
  return text;
}

std::string VerTableKey(std::string_view identification) {
  size_t begin = 0, end = identification.size();
  while (begin < end && static_cast<unsigned char>(identification[begin]) <= 32)
    ++begin;
  while (end > begin && static_cast<unsigned char>(identification[end - 1]) <= 32)
    --end;
  std::string key(identification.substr(begin, end - begin));
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

const TVerRecord* FindVerRecord(const std::vector<TVerRecord>& table, std::string_view key) {
  for (const auto& row : table)
    if (row.DevID == key) return &row;
  return nullptr;
}
