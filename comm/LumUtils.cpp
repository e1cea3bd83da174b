#include "LumUtils.h"

#include <algorithm>
#include <cstring>

#include "LumClock.h"

void Pause(int32_t ms) {
  if (ms > 0) lum::SleepMs(static_cast<uint32_t>(ms));
}

void SwapBytes32(std::span<uint8_t, 4> bytes) {
  std::reverse(bytes.begin(), bytes.end());
}

void SwapBytes32(uint32_t& value) {
  uint8_t bytes[4];
  std::memcpy(bytes, &value, 4);
  SwapBytes32(std::span<uint8_t, 4>(bytes));
  std::memcpy(&value, bytes, 4);
}

void SwapBytes32(float& value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  SwapBytes32(bits);
  std::memcpy(&value, &bits, 4);
}

uint8_t ByteToBcd(uint8_t value) {
  if (value > 99) return 0xFF;
  return static_cast<uint8_t>((value / 10) << 4 | (value % 10));
}

std::optional<uint8_t> BcdToByte(uint8_t bcd, unsigned first, unsigned last) {
  const unsigned tens = bcd >> 4, units = bcd & 0x0F;
  if (tens > 9 || units > 9) return std::nullopt;
  const unsigned v = tens * 10 + units;
  if (v < first || v > last) return std::nullopt;
  return static_cast<uint8_t>(v);
}

namespace {

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    table[i] = static_cast<uint16_t>(crc);
  }
  return table;
}

}  // namespace

const std::array<uint16_t, 256> Crc16Table = MakeCrc16Table();

uint16_t Crc16(uint16_t start, std::span<const uint8_t> bytes) {
  uint16_t crc = start;
  for (uint8_t b : bytes)
    crc = static_cast<uint16_t>((crc >> 8) ^ Crc16Table[(crc ^ b) & 0xFF]);
  return crc;
}

const std::array<std::string_view, 11> ResultMessages = {
    "Операция выполнена успешно",
    "Ошибка записи в последовательный порт",
    "Ошибка чтения из последовательного порта",
    "Неверный размер пакета",
    "Неверный сетевой адрес прибора в ответе",
    "Неверная контрольная сумма пакета",
    "Последовательный порт недоступен или не существует",
    "Ошибка целостности пакета данных",
    "Прибор отклонил запрос",
    "",
    "",
};

std::string_view ResultMessage(uint32_t code) {
  return code < ResultMessages.size() ? ResultMessages[code] : std::string_view{};
}

std::string HexDump(std::span<const uint8_t> bytes, bool spaced) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * (spaced ? 3 : 2));
  for (const uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
    if (spaced) text += ' ';
  }
  return text;
}
