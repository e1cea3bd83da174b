#include "comm/LumUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/VirtualTime.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(Crc16, CheckValuesOfTheModbusCrc) {
  struct Case {
    uint16_t start;
    std::string text;
    uint16_t crc;
  };
  for (const Case& c : {Case{0xFFFF, "123456789", 0x4B37}, Case{0x0000, "123456789", 0xBB3D},
                        Case{0xFFFF, "", 0xFFFF}, Case{0x1234, "", 0x1234}}) {
    EXPECT_EQ(Crc16(c.start, Bytes(c.text)), c.crc) << c.text << " from " << c.start;
  }
}

TEST(Crc16, TableIsTheReflectedA001Table) {
  EXPECT_EQ(Crc16Table[0], 0x0000);
  EXPECT_EQ(Crc16Table[1], 0xC0C1);
  EXPECT_EQ(Crc16Table[255], 0x4040);
}

TEST(Crc16, ModbusRequestFrameCrcGoesLowByteFirst) {
  // Read of registers 315..316 at address 1, as a meter expects it on the wire.
  const uint8_t frame[] = {0x01, 0x03, 0x01, 0x3B, 0x00, 0x02};
  const uint16_t crc = Crc16(0xFFFF, frame);
  EXPECT_EQ(crc & 0xFF, 0xB4);
  EXPECT_EQ(crc >> 8, 0x3A);
}

TEST(ByteToBcd, PacksTwoDigitsAndRefusesThree) {
  const std::pair<uint8_t, uint8_t> cases[] = {{0, 0x00},  {7, 0x07},   {37, 0x37}, {59, 0x59},
                                               {99, 0x99}, {100, 0xFF}, {255, 0xFF}};
  for (auto [value, bcd] : cases)
    EXPECT_EQ(ByteToBcd(value), bcd) << int(value);
}

TEST(SwapBytes32, ReversesAndIsItsOwnInverse) {
  uint8_t bytes[4] = {0x12, 0x34, 0x56, 0x78};
  SwapBytes32(std::span<uint8_t, 4>(bytes));
  EXPECT_EQ(bytes[0], 0x78);
  EXPECT_EQ(bytes[1], 0x56);
  EXPECT_EQ(bytes[2], 0x34);
  EXPECT_EQ(bytes[3], 0x12);
  SwapBytes32(std::span<uint8_t, 4>(bytes));
  EXPECT_EQ(bytes[0], 0x12);
  EXPECT_EQ(bytes[3], 0x78);

  float f = 1.0f;  // 3F 80 00 00 most significant first
  SwapBytes32(f);
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  EXPECT_EQ(bits, 0x0000803Fu);
  SwapBytes32(f);
  EXPECT_EQ(f, 1.0f);
}

TEST(ResultMessages, ElevenEntriesAndEmptyBeyond) {
  ASSERT_EQ(ResultMessages.size(), 11u);
  EXPECT_EQ(ResultMessage(0), "Операция выполнена успешно");
  EXPECT_EQ(ResultMessage(2), "Ошибка чтения из последовательного порта");
  EXPECT_EQ(ResultMessage(6), "Последовательный порт недоступен или не существует");
  EXPECT_EQ(ResultMessage(7), "Ошибка целостности пакета данных");
  EXPECT_EQ(ResultMessage(8), "Прибор отклонил запрос");
  for (uint32_t code : {9u, 10u, 11u, 255u, 0xFFFFFFFFu})
    EXPECT_EQ(ResultMessage(code), "");
}

TEST(Pause, GoesThroughTheTimeHook) {
  ScopedVirtualTime time;
  const uint64_t start = time.clock.NowMs();
  Pause(10);
  Pause(0);
  Pause(-5);
  Pause(200);
  EXPECT_EQ(time.clock.NowMs() - start, 210u);
  EXPECT_EQ(time.clock.Sleeps(), (std::vector<uint32_t>{10, 200}));
}

}  // namespace
