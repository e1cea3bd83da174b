#include "sim/MeterDefaults.h"

#include "sim/PresentValues.h"

#include <bit>
#include <cstring>

namespace metersim {

namespace {

using Area = std::vector<uint8_t>;

void PutU32BE(Area& a, size_t at, uint32_t v) {
  a[at] = static_cast<uint8_t>(v >> 24);
  a[at + 1] = static_cast<uint8_t>(v >> 16);
  a[at + 2] = static_cast<uint8_t>(v >> 8);
  a[at + 3] = static_cast<uint8_t>(v);
}
void PutU32LE(Area& a, size_t at, uint32_t v) {
  a[at] = static_cast<uint8_t>(v);
  a[at + 1] = static_cast<uint8_t>(v >> 8);
  a[at + 2] = static_cast<uint8_t>(v >> 16);
  a[at + 3] = static_cast<uint8_t>(v >> 24);
}
void PutFloatBE(Area& a, size_t at, float f) {
  PutU32BE(a, at, std::bit_cast<uint32_t>(f));
}
void PutFloatLE(Area& a, size_t at, float f) {
  PutU32LE(a, at, std::bit_cast<uint32_t>(f));
}
void PutU16BE(Area& a, size_t at, uint16_t v) {
  a[at] = static_cast<uint8_t>(v >> 8);
  a[at + 1] = static_cast<uint8_t>(v);
}
void PutText(Area& a, size_t at, const char* text) {
  std::memcpy(a.data() + at, text, std::strlen(text));
}

// Seal "C1051234" (version 1.05, licence 1234), two zero bytes, then
// 22.07.2016 10:30:00 in packed BCD.
void PutRecord(Area& a, size_t at) {
  static constexpr uint8_t kRecord[16] = {'C', '1', '0',  '5',  '1',  '2',  '3',  '4',
                                          0,   0,   0x16, 0x07, 0x22, 0x10, 0x30, 0x00};
  std::memcpy(a.data() + at, kRecord, sizeof kRecord);
}

VirtualMeter::Node EmptyNode() {
  VirtualMeter::Node node;
  for (size_t i = 0; i < kMemoryAreaCount; ++i) {
    const auto area = static_cast<MemoryArea>(i);
    // Unused EEPROM and flash read as erased (0xFF); RAM and the rest as 0.
    const uint8_t fill = area == MemoryArea::Rtc2k ? 0xFF : 0x00;
    node.Area(area).assign(MemoryAreaSize(area), fill);
  }
  // Data flash carries a pattern, so that a read from the wrong address shows.
  auto& flash = node.Area(MemoryArea::DataFlash);
  for (size_t i = 0; i < flash.size(); ++i)
    flash[i] = static_cast<uint8_t>((i & 0xFF) ^ (i >> 8));
  auto& security = node.Area(MemoryArea::Security);
  for (size_t i = 0; i < security.size(); ++i)
    security[i] = static_cast<uint8_t>(0xA0 + i);
  // The clock at Rtc128 address 0 is set by the meter when it starts.
  return node;
}

// Calibration points near the reset points, a little apart per list and
// channel, so that a value read from the wrong place shows.
float Point(int index, float scale) {
  return kResetPoints[index - 2] * scale;
}

MeterContents Zfk31() {
  MeterContents m{{EmptyNode()}, "ZFK-31", "ZFK-31 v3.12"};
  Area& rtc = m.nodes[0].Area(MemoryArea::Rtc2k);
  PutRecord(rtc, 32);
  PutU32BE(rtc, SerialPlaceOf(MeterModel::Zfk31).address, 310245);
  PutFloatBE(rtc, 204, 16.0f);
  PutFloatBE(rtc, 208, 25.0f);
  PutFloatBE(rtc, 1792, 163.84f);
  PutFloatBE(rtc, 1796, -104.8576f);
  PutFloatBE(rtc, 1816, 1.0125f);
  PutFloatBE(rtc, 1820, 0.9875f);
  for (int i = 2; i <= 9; ++i) {
    const auto at = static_cast<size_t>(4 * (i - 2));
    PutFloatBE(rtc, 1824 + at, Point(i, 1.02f));
    PutFloatBE(rtc, 1856 + at, Point(i, 0.98f));
    PutFloatBE(rtc, 1888 + at, Point(i, 1.0f));
    PutFloatBE(rtc, 1920 + at, Point(i, 1.01f));
  }
  PutPresentValues(MeterModel::Zfk31, m.nodes, 1, 3.25f, 0.0f);
  PutPresentValues(MeterModel::Zfk31, m.nodes, 2, 1.75f, 0.0f);
  Area& present = m.nodes[0].Area(MemoryArea::Present);
  PutU32BE(present, 8, 0);
  PutU32BE(present, 12, 300);
  return m;
}

// Channel coefficient set: K0, Ku, Obr 2..9, K 2..9, then the block checksum.
void PutZfk36Block(Area& rtc) {
  constexpr size_t kBlock = 1504;
  const float k0[2] = {0.0025f, -0.0015f};
  const float ku[2] = {1.0042f, 0.9968f};
  for (size_t ch = 0; ch < 2; ++ch) {
    const size_t set = kBlock + 72 * ch;
    PutFloatBE(rtc, set, k0[ch]);
    PutFloatBE(rtc, set + 4, ku[ch]);
    for (int i = 2; i <= 9; ++i) {
      const auto at = static_cast<size_t>(4 * (i - 2));
      PutFloatBE(rtc, set + 8 + at, Point(i, ch == 0 ? 1.0f : 1.01f));
      PutFloatBE(rtc, set + 40 + at, Point(i, ch == 0 ? 1.02f : 0.98f));
    }
  }
  uint16_t sum = 0;
  for (size_t i = 0; i < 144; ++i)
    sum = static_cast<uint16_t>(sum + rtc[kBlock + i]);
  PutU16BE(rtc, kBlock + 144, static_cast<uint16_t>(~sum));
}

MeterContents Zfk36() {
  MeterContents m{{EmptyNode()}, "ZFK-36", "ZFK-36 v2.04"};
  Area& rtc = m.nodes[0].Area(MemoryArea::Rtc2k);
  PutFloatBE(rtc, 308, 40.0f);
  PutFloatBE(rtc, 312, 63.0f);
  PutU32BE(rtc, SerialPlaceOf(MeterModel::Zfk36).address, 360517);
  PutZfk36Block(rtc);
  PutRecord(rtc, 2016);
  PutPresentValues(MeterModel::Zfk36, m.nodes, 1, 12.5f, 1234.5f);
  PutPresentValues(MeterModel::Zfk36, m.nodes, 2, 7.75f, 987.25f);
  return m;
}

// One GDZ-12.07S node: floats least significant byte first.
VirtualMeter::Node Gdz1207sNode(int channel) {
  VirtualMeter::Node node = EmptyNode();
  Area& rtc = node.Area(MemoryArea::Rtc2k);
  const bool first = channel == 1;
  PutText(rtc, SerialPlaceOf(MeterModel::Gdz1207s).address, "07120458");
  PutFloatLE(rtc, 16, first ? 10.0f : 16.0f);
  PutFloatLE(rtc, 256, first ? 0.0031f : -0.0022f);
  PutFloatLE(rtc, 260, first ? 1.015f : 0.992f);
  for (int i = 2; i <= 9; ++i) {
    const auto at = static_cast<size_t>(4 * (i - 2));
    PutFloatLE(rtc, 264 + at, Point(i, first ? 1.02f : 0.98f));
    PutFloatLE(rtc, 296 + at, Point(i, first ? 1.0f : 1.01f));
  }
  PutRecord(rtc, 496);
  return node;
}

MeterContents Gdz1207s(bool twoNodes) {
  MeterContents m{{Gdz1207sNode(1)}, twoNodes ? "GDZ27" : "GDZ25", "GDZ v1.07"};
  if (twoNodes) m.nodes.push_back(Gdz1207sNode(2));
  const MeterModel model = twoNodes ? MeterModel::Gdz1207s2 : MeterModel::Gdz1207s;
  PutPresentValues(model, m.nodes, 1, 4.5f, 512.0f);
  PutPresentValues(model, m.nodes, 2, 2.25f, 256.0f);
  return m;
}

void PutRegFloat(Area& regs, uint16_t reg, float f) {
  PutFloatBE(regs, 2u * reg, f);
}

// Channel coefficient registers: K0 (one signed register), Ku, and the points
// from index 9 at the lowest register up to index 2.
void PutGdz1208Channel(Area& regs, uint16_t k0, uint16_t kPoint9, uint16_t obrPoint9,
                       int16_t k0Value, float ku, float kScale, float obrScale) {
  PutU16BE(regs, 2u * k0, static_cast<uint16_t>(k0Value));
  PutRegFloat(regs, static_cast<uint16_t>(k0 + 1), ku);
  for (int i = 2; i <= 9; ++i) {
    const auto back = static_cast<uint16_t>(2 * (9 - i));
    PutRegFloat(regs, static_cast<uint16_t>(kPoint9 + back), Point(i, kScale));
    PutRegFloat(regs, static_cast<uint16_t>(obrPoint9 + back), Point(i, obrScale));
  }
}

MeterContents Gdz1208(bool twoChannels) {
  MeterContents m{{EmptyNode()}, twoChannels ? "TGDZ2" : "BRC", ""};
  Area& regs = m.nodes[0].Area(MemoryArea::Registers);
  // SFR: -1200 in register 97, 15000 in 105 and 25000 in 107, whichever
  // of them the variant's channels use.
  const MeterModel model = twoChannels ? MeterModel::Gdz1208x2 : MeterModel::Gdz1208;
  PutPresentValues(model, m.nodes, 1, 6.5f, twoChannels ? -1200.0f : 25000.0f);
  PutPresentValues(model, m.nodes, 2, 3.25f, twoChannels ? 25000.0f : 15000.0f);
  if (twoChannels)
    PutU32BE(regs, 2 * 105, 15000);
  else
    PutU32BE(regs, 2 * 97, static_cast<uint32_t>(-1200));
  PutRecord(regs, 2 * 171);
  PutGdz1208Channel(regs, 370, 338, 354, 671, 1.5e-7f, 1.02f, 1.0f);
  PutGdz1208Channel(regs, 290, 189, 213, -336, 1.47e-7f, 0.98f, 1.01f);
  PutRegFloat(regs, 299, 25.0f);  // Gmax, channel 1
  PutRegFloat(regs, 301, 16.0f);  // Gmax, channel 2
  PutU32BE(regs, SerialPlaceOf(MeterModel::Gdz1208).address, 120845);
  PutU16BE(regs, 2 * 318, 0x0105);  // firmware 01.05
  PutU16BE(regs, 2 * 320, 0);       // channels not swapped
  return m;
}

}  // namespace

SerialPlace SerialPlaceOf(MeterModel model) {
  switch (model) {
    case MeterModel::Zfk31:
      return {MemoryArea::Rtc2k, 124, 4};
    case MeterModel::Zfk36:
      return {MemoryArea::Rtc2k, 338, 4};
    case MeterModel::Gdz1207s:
    case MeterModel::Gdz1207s2:
      return {MemoryArea::Rtc2k, 0, 8};  // eight digits of text
    case MeterModel::Gdz1208:
    case MeterModel::Gdz1208x2:
      break;
  }
  return {MemoryArea::Registers, 2 * 315, 4};  // registers 315 and 316
}

MeterContents DefaultContents(MeterModel model) {
  switch (model) {
    case MeterModel::Zfk31:
      return Zfk31();
    case MeterModel::Zfk36:
      return Zfk36();
    case MeterModel::Gdz1207s:
      return Gdz1207s(false);
    case MeterModel::Gdz1207s2:
      return Gdz1207s(true);
    case MeterModel::Gdz1208:
      return Gdz1208(false);
    case MeterModel::Gdz1208x2:
      return Gdz1208(true);
  }
  return Zfk31();
}

}  // namespace metersim
