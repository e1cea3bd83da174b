// The read's result fields: the window's controls by name, their labels and
// JSON keys in one table, and the text each shows for a reading.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/core/values/MeterReading.h"

// The result fields of the window, by their control names.
enum class ReadField { ELicNo, Ek00, Ek10, Ek01, Ek11, EVer, ECRC, EClbLic, EClbDate };
constexpr size_t kReadFieldCount = 9;

struct ReadFieldInfo {
  ReadField field;
  const char* label;    // as the command line's text prints it
  const char* jsonKey;  // in calibrate-cli read --json
};

// In the order the window lays them out.
extern const std::array<ReadFieldInfo, kReadFieldCount> kReadFields;
const ReadFieldInfo& FieldInfo(ReadField field);

// The coefficient fields with the channel (0, 1) and whether it is K0.
struct CoefficientField {
  ReadField field;
  size_t channel;
  bool k0;
};
extern const std::array<CoefficientField, 4> kCoefficientFields;
const Coefficient& CoefficientOf(const MeterReading& reading, const CoefficientField& f);
// What the window shows of that coefficient.
double ShownOf(const MeterReading& reading, const CoefficientField& f);

// The text the field shows for this reading; nullopt when the read does not
// fill it (the window then keeps what it showed). Coefficients are "%8.5f"
// with the given decimal separator, or "ERR".
std::optional<std::string> FieldText(const MeterReading& reading, ReadField field,
                                     char decimalSeparator = '.');

// A shown coefficient as the window writes it: at least 8 characters, five
// decimals, never cut short.
std::string FormatShown(double value, char decimalSeparator);

// The record fields' texts when no record could be read.
inline constexpr const char* kNoRecordText = "Нет данных или не поддерживается";
inline constexpr const char* kBadRecordText = "Ошибка в данных";
