// The 3x command set as a meter answers it.
#include <gtest/gtest.h>

#include "SimTestUtil.h"

namespace {

using metersim::MemoryArea;
using metersim::MeterModel;
using metersim::RequestKind;
using namespace simtest;

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) {
  return b;
}

TEST(Meter3x, ReadsOfEveryAreaReturnTheStoredBytes) {
  struct Case {
    const char* what;
    uint8_t group, command;
    std::vector<uint8_t> data;
    MemoryArea area;
    uint32_t address;
    size_t count;
  };
  const Case cases[] = {
      {"rtc2k", 0x0F, 0x01, {0x07, 0xD0, 5}, MemoryArea::Rtc2k, 2000, 5},
      {"rtc128", 0x0F, 0x02, {0x7C, 4}, MemoryArea::Rtc128, 124, 4},
      {"ram", 0x0C, 0x01, {0x00, 0xA0, 8}, MemoryArea::Ram, 160, 8},
      {"flash", 0x0F, 0x03, {6, 0x00, 0x00, 0x12, 0x34}, MemoryArea::DataFlash, 0x1234, 6},
      {"security", 0x0F, 0x93, {}, MemoryArea::Security, 0, 64},
      {"present values", 0x0C, 0x00, {}, MemoryArea::Present, 0, 16},
  };
  for (const Case& c : cases) {
    auto meter = Meter(MeterModel::Zfk36);
    std::vector<uint8_t> marked(c.count);
    for (size_t i = 0; i < c.count; ++i)
      marked[i] = static_cast<uint8_t>(0x11 * (i + 1));
    meter->Write(c.area, c.address, marked);
    const auto reply = Ask(*meter, Request3x(1, c.group, c.command, c.data));
    ASSERT_TRUE(ChecksumOk(reply)) << c.what;
    EXPECT_EQ(reply[3], c.group) << c.what;
    EXPECT_EQ(reply[4], c.command) << c.what;
    EXPECT_EQ(Data3x(reply), marked) << c.what;
  }
}

TEST(Meter3x, WritesChangeMemoryAndAreConfirmed) {
  struct Case {
    const char* what;
    uint8_t group, command;
    std::vector<uint8_t> data;
    MemoryArea area;
    uint32_t address;
    std::vector<uint8_t> stored;
    std::vector<uint8_t> replyData;
  };
  std::vector<uint8_t> security(64);
  for (size_t i = 0; i < 64; ++i)
    security[i] = static_cast<uint8_t>(i * 3);
  const Case cases[] = {
      {"rtc2k", 0x0F, 0x81, {0x00, 0x20, 1, 2, 3}, MemoryArea::Rtc2k, 32, {1, 2, 3}, {}},
      {"ram", 0x0C, 0x81, {0x01, 0x00, 9, 8}, MemoryArea::Ram, 256, {9, 8}, {}},
      // The clock area answers with the bytes it took.
      {"rtc128",
       0x0F,
       0x82,
       {0, 0x03, 0, 0x05, 0},
       MemoryArea::Rtc128,
       0,
       {3, 0, 5, 0},
       {3, 0, 5, 0}},
      {"security", 0x0F, 0x91, security, MemoryArea::Security, 0, security, {}},
  };
  for (const Case& c : cases) {
    auto meter = Meter(MeterModel::Zfk31);
    const auto reply = Ask(*meter, Request3x(1, c.group, c.command, c.data));
    ASSERT_TRUE(ChecksumOk(reply)) << c.what;
    EXPECT_EQ(Data3x(reply), c.replyData) << c.what;
    EXPECT_EQ(meter->Read(c.area, c.address, c.stored.size()), c.stored) << c.what;
    const auto log = meter->Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].writes) << c.what;
    EXPECT_EQ(log[0].start, c.address) << c.what;
    EXPECT_EQ(log[0].data, c.stored) << c.what;
  }
}

TEST(Meter3x, TextsStatusBytesAndCommands) {
  auto meter = Meter(MeterModel::Zfk36);
  meter->SetIdText("xxGDZ23Byy");
  meter->SetSoftVersion("v9.99");
  meter->SetUnlockStatus(7);
  meter->SetCommandStatus(0x42);
  const std::string id(
      reinterpret_cast<const char*>(Data3x(Ask(*meter, Request3x(1, 0, 0))).data()), 10);
  EXPECT_EQ(id, "xxGDZ23Byy");
  const auto version = Data3x(Ask(*meter, Request3x(1, 0, 1)));
  EXPECT_EQ(std::string(version.begin(), version.end()), "v9.99");
  EXPECT_EQ(Data3x(Ask(*meter, Request3x(1, 0x0F, 0xF1))), Bytes({7}));
  EXPECT_EQ(Data3x(Ask(*meter, Request3x(1, 0x77, 0x77))), Bytes({0x42}));
  EXPECT_EQ(Data3x(Ask(*meter, Request3x(1, 0x77, 0x78))), Bytes({0x42}));
  const auto log = meter->Requests();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[2].kind, RequestKind::Unlock);
  EXPECT_FALSE(log[2].writes);
  EXPECT_EQ(log[3].kind, RequestKind::Command);
  EXPECT_TRUE(log[3].writes);  // a coefficient reset changes the meter
}

TEST(Meter3x, GmaxWritesLandWhereEachModelKeepsGmax) {
  // 12.5 = 41 48 00 00, most significant byte first on the wire.
  struct Case {
    MeterModel model;
    uint8_t command;
    uint32_t address;
    std::vector<uint8_t> stored;
  };
  const Case cases[] = {
      {MeterModel::Zfk31, 0x10, 204, {0x41, 0x48, 0, 0}},
      {MeterModel::Zfk31, 0x11, 208, {0x41, 0x48, 0, 0}},
      {MeterModel::Zfk36, 0x11, 312, {0x41, 0x48, 0, 0}},
      {MeterModel::Gdz1207s, 0x10, 16, {0, 0, 0x48, 0x41}},  // kept least significant first
  };
  for (const Case& c : cases) {
    auto meter = Meter(c.model);
    const auto reply = Ask(*meter, Request3x(1, 0x0E, c.command, {0x41, 0x48, 0, 0}));
    EXPECT_TRUE(ChecksumOk(reply));
    EXPECT_EQ(meter->Read(MemoryArea::Rtc2k, c.address, 4), c.stored) << MeterModelName(c.model);
    EXPECT_EQ(meter->Requests().at(0).kind, RequestKind::WriteGmax);
  }
}

TEST(Meter3x, LeavesUnanswerableRequestsUnanswered) {
  struct Case {
    const char* what;
    std::vector<uint8_t> request;
  };
  const Case cases[] = {
      {"read past the end of Rtc2k", Request3x(1, 0x0F, 0x01, {0x07, 0xFE, 4})},
      {"read past the end of Rtc128", Request3x(1, 0x0F, 0x02, {0x7E, 3})},
      {"write past the end of Rtc2k", Request3x(1, 0x0F, 0x81, {0x07, 0xFF, 1, 2})},
      {"read with a short request", Request3x(1, 0x0F, 0x01, {0x00, 0x10})},
      {"read of more than a frame holds", Request3x(1, 0x0F, 0x01, {0x00, 0x00, 249})},
      {"security write of 63 bytes", Request3x(1, 0x0F, 0x91, std::vector<uint8_t>(63))},
      {"unknown group and command", Request3x(1, 0x12, 0x34)},
      {"another address", Request3x(2, 0, 0)},
  };
  for (const Case& c : cases) {
    auto meter = Meter(MeterModel::Zfk31);
    EXPECT_TRUE(Ask(*meter, c.request).empty()) << c.what;
    const auto log = meter->Requests();
    ASSERT_EQ(log.size(), 1u) << c.what;
    EXPECT_FALSE(log[0].replied) << c.what;
  }
  // The largest read that fits in a frame is served.
  auto meter = Meter(MeterModel::Zfk31);
  EXPECT_EQ(Data3x(Ask(*meter, Request3x(1, 0x0F, 0x01, {0x00, 0x00, 248}))).size(), 248u);
}

TEST(Meter3x, TwoNodeMeterAnswersAtBothAddressesWithSeparateMemory) {
  auto meter = Meter(MeterModel::Gdz1207s2, 10);
  ASSERT_EQ(meter->NodeCount(), 2u);
  const auto gmax = [&](uint8_t address) {
    return Data3x(Ask(*meter, Request3x(address, 0x0F, 0x01, {0, 16, 4})));
  };
  EXPECT_EQ(gmax(10), Bytes({0x00, 0x00, 0x20, 0x41}));  // 10.0
  EXPECT_EQ(gmax(11), Bytes({0x00, 0x00, 0x80, 0x41}));  // 16.0
  EXPECT_TRUE(gmax(12).empty());
  EXPECT_TRUE(gmax(9).empty());
  // The reply carries the node's own address.
  const auto reply = Ask(*meter, Request3x(11, 0, 0));
  ASSERT_GE(reply.size(), 7u);
  EXPECT_EQ(reply[1], 11);
  EXPECT_EQ(reply[2], static_cast<uint8_t>(~11));
  EXPECT_EQ(std::string(reply.begin() + 6, reply.end() - 1), "GDZ27");
  // A write to node 2 stays on node 2.
  Ask(*meter, Request3x(11, 0x0F, 0x81, {0x01, 0x00, 1, 2, 3, 4}));
  EXPECT_EQ(meter->Read(MemoryArea::Rtc2k, 256, 4, 1), Bytes({1, 2, 3, 4}));
  EXPECT_NE(meter->Read(MemoryArea::Rtc2k, 256, 4, 0), Bytes({1, 2, 3, 4}));
  // Moving the meter moves both nodes.
  meter->SetAddress(20);
  EXPECT_FALSE(gmax(21).empty());
  EXPECT_TRUE(gmax(11).empty());
}

TEST(Meter3x, SingleNodeModelsAnswerOnlyTheirAddress) {
  for (MeterModel model : {MeterModel::Zfk31, MeterModel::Zfk36, MeterModel::Gdz1207s}) {
    auto meter = Meter(model, 0);
    EXPECT_FALSE(Ask(*meter, Request3x(0, 0, 0)).empty()) << MeterModelName(model);
    EXPECT_TRUE(Ask(*meter, Request3x(1, 0, 0)).empty()) << MeterModelName(model);
  }
}

TEST(Meter3x, DefaultIdentificationTextsLeadToTheRightReadPath) {
  struct Case {
    MeterModel model;
    const char* id;
  };
  for (const Case c : {Case{MeterModel::Zfk31, "ZFK-31"}, Case{MeterModel::Zfk36, "ZFK-36"},
                       Case{MeterModel::Gdz1207s, "GDZ25"}, Case{MeterModel::Gdz1207s2, "GDZ27"},
                       Case{MeterModel::Gdz1208, "BRC"}, Case{MeterModel::Gdz1208x2, "TGDZ2"}}) {
    EXPECT_EQ(Meter(c.model)->IdText(), c.id) << MeterModelName(c.model);
  }
}

TEST(Meter3x, ModBusMeterIsDeafTo3xAndThe3xMetersToModBus) {
  auto gdz1208 = Meter(MeterModel::Gdz1208);
  EXPECT_TRUE(Ask(*gdz1208, "55 01 FE 00 00 00 AB").empty());
  auto zfk31 = Meter(MeterModel::Zfk31);
  EXPECT_TRUE(Ask(*zfk31, "01 11 C0 2C").empty());
  EXPECT_TRUE(Ask(*zfk31, "01 03 01 3B 00 02 B4 3A").empty());
  // Both still heard the request, addressed to them or not.
  const auto heard = gdz1208->Requests();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].protocol, metersim::Protocol::ThreeX);
  EXPECT_EQ(heard[0].kind, RequestKind::Identify);
  EXPECT_FALSE(heard[0].forMe);
  EXPECT_EQ(zfk31->Requests().size(), 2u);
}

}  // namespace

namespace {

TEST(RequestLog, DecodesEveryRequestKind) {
  struct Case {
    std::vector<uint8_t> request;
    RequestKind kind;
    uint32_t start, length;
    bool writes;
  };
  const Case cases[] = {
      {Request3x(1, 0, 0), RequestKind::Identify, 0, 0, false},
      {Request3x(1, 0, 1), RequestKind::SoftVersion, 0, 0, false},
      {Request3x(1, 0x0C, 0x00), RequestKind::PresentValues, 0, 16, false},
      {Request3x(1, 0x0C, 0x01, {0x01, 0x02, 3}), RequestKind::ReadRam, 0x0102, 3, false},
      {Request3x(1, 0x0C, 0x81, {0x00, 0x04, 1, 2}), RequestKind::WriteRam, 4, 2, true},
      {Request3x(1, 0x0E, 0x11, {0x41, 0x48, 0, 0}), RequestKind::WriteGmax, 2, 4, true},
      {Request3x(1, 0x0F, 0x01, {0x01, 0x34, 4}), RequestKind::ReadRtc2k, 308, 4, false},
      {Request3x(1, 0x0F, 0x02, {0x10, 2}), RequestKind::ReadRtc128, 16, 2, false},
      {Request3x(1, 0x0F, 0x03, {8, 0x01, 0x02, 0x03, 0x04}), RequestKind::ReadDataFlash,
       0x01020304, 8, false},
      {Request3x(1, 0x0F, 0x81, {0x07, 0xE0, 9}), RequestKind::WriteRtc2k, 2016, 1, true},
      {Request3x(1, 0x0F, 0x82, {0, 1, 2, 3}), RequestKind::WriteRtc128, 0, 3, true},
      {Request3x(1, 0x0F, 0x91, std::vector<uint8_t>(64, 5)), RequestKind::WriteSecurity, 0, 64,
       true},
      {Request3x(1, 0x0F, 0x93), RequestKind::ReadSecurity, 0, 64, false},
      {Request3x(1, 0x0F, 0xF1), RequestKind::Unlock, 0, 0, false},
      {Request3x(1, 0x77, 0x77), RequestKind::Command, 0, 0, true},
      {Request3x(1, 0x12, 0x81, {1}), RequestKind::Other, 0, 0, true},
      {WithCrc({1, 3, 0x01, 0x3B, 0, 2}), RequestKind::ReadRegisters, 315, 2, false},
      {WithCrc({1, 16, 0, 171, 0, 1, 2, 0xAB, 0xCD}), RequestKind::WriteRegisters, 171, 1, true},
      {WithCrc({1, 17}), RequestKind::Identify, 0, 0, false},
  };
  auto zfk = Meter(MeterModel::Zfk31);
  auto gdz = Meter(MeterModel::Gdz1208);
  for (const Case& c : cases) {
    // Every meter hears every frame: one of the two answers it.
    zfk->ClearRequests();
    Ask(*zfk, c.request);
    Ask(*gdz, c.request);
    const auto log = zfk->Requests();
    ASSERT_EQ(log.size(), 1u) << HexText(c.request);
    const auto& r = log[0];
    EXPECT_EQ(r.kind, c.kind) << HexText(c.request);
    EXPECT_EQ(r.address, 1) << HexText(c.request);
    EXPECT_EQ(r.start, c.start) << HexText(c.request);
    EXPECT_EQ(r.length, c.length) << HexText(c.request);
    EXPECT_EQ(r.writes, c.writes) << HexText(c.request);
    EXPECT_EQ(r.frame, c.request);
    if (r.protocol == metersim::Protocol::ThreeX) {
      EXPECT_EQ(r.group, c.request[3]);
      EXPECT_EQ(r.command, c.request[4]);
    } else {
      EXPECT_EQ(r.function, c.request[1]);
    }
  }
  // The ModBus meter heard every frame as well, both protocols.
  const auto heard = gdz->Requests();
  EXPECT_EQ(heard.size(), std::size(cases));
}

}  // namespace
