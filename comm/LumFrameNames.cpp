#include "LumFrameNames.h"

#include <array>
#include <cstdio>

#include "lumModBusProtocol.h"

namespace {

struct CommandName {
  uint8_t group;
  uint8_t command;
  const char* name;
};
// The 3x command set as the engine uses it (lum3xProtocol.cpp); a write is
// its read with the command's high bit set. tools/wireshark/calibrate3x.lua
// names them alike for Wireshark.
constexpr std::array<CommandName, 15> k3xCommands = {{
    {0x00, 0x00, "идентификация"},
    {0x00, 0x01, "версия ПО"},
    {0x0C, 0x00, "текущие значения"},
    {0x0C, 0x01, "чтение ОЗУ"},
    {0x0C, 0x81, "запись ОЗУ"},
    {0x0E, 0x10, "запись Gmax к.1"},
    {0x0E, 0x11, "запись Gmax к.2"},
    {0x0F, 0x01, "чтение Rtc2k"},
    {0x0F, 0x81, "запись Rtc2k"},
    {0x0F, 0x02, "чтение Rtc128"},
    {0x0F, 0x82, "запись Rtc128"},
    {0x0F, 0x03, "чтение DataFlash"},
    {0x0F, 0x91, "запись защиты"},
    {0x0F, 0x93, "чтение защиты"},
    {0x0F, 0xF1, "разрешение записи"},
}};

std::string Name3x(uint8_t group, uint8_t command) {
  for (const CommandName& c : k3xCommands)
    if (c.group == group && c.command == command) return c.name;
  char code[32];
  std::snprintf(code, sizeof code, "команда %02X %02X", group, command);
  return code;
}

std::string NameModBus(std::span<const uint8_t> bytes) {
  const uint8_t function = bytes[1];
  if (function & 0x80)
    return "исключение: " +
           std::string(bytes.size() > 2 ? ModBusExceptionName(bytes[2]) : "без кода");
  switch (function) {
    case lummodbus::kReadHoldingRegisters:
      return "чтение регистров (3)";
    case lummodbus::kWriteSingleRegister:
      return "запись регистра (6)";
    case lummodbus::kWriteMultipleRegisters:
      return "запись регистров (16)";
    case lummodbus::kReportSlaveId:
      return "идентификация (17)";
    case lummodbus::kReadLongBlock:
      return "чтение блока (65)";
    default:
      return "функция " + std::to_string(function);
  }
}

}  // namespace

FrameSummary SummarizeFrame(FrameProtocol protocol, std::span<const uint8_t> bytes) {
  if (protocol == FrameProtocol::Lum3x) {
    if (bytes.size() < 7 || (bytes[0] != 0x55 && bytes[0] != 0xAA)) return {{}, "байты вне кадра"};
    return {bytes[1], Name3x(bytes[3], bytes[4])};
  }
  if (bytes.size() < 4) return {{}, "байты вне кадра"};
  return {bytes[0], NameModBus(bytes)};
}
