// The published operations: what each puts on the wire, what it hands back,
// and the steps before the transaction (port, automatic opening, write gate).
#include <algorithm>
#include <cstring>
#include <functional>

#include "Scripted3x.h"
#include "comm/LumClock.h"
#include "comm/LumUtils.h"

namespace {

using Op = std::function<void(Tlum3xProtocol&)>;

struct WireCase {
  const char* name;
  Op op;
  Bytes request;
};

const std::array<uint8_t, 64> kSecurity = [] {
  std::array<uint8_t, 64> s{};
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<uint8_t>(i * 3);
  return s;
}();

std::vector<WireCase> WireCases() {
  static uint8_t buf[16];
  static const uint8_t src[] = {0xDE, 0xAD, 0xBE};
  Bytes securityRequest(kSecurity.begin(), kSecurity.end());
  return {
      {"GetDevID",
       [](auto& e) {
         std::string s;
         e.GetDevID(s);
       },
       {0x55, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xAB}},
      {"ReadRtc2k",
       [](auto& e) { e.ReadRtc2k(0x0134, buf, 4); },
       {0x55, 0x01, 0xFE, 0x0F, 0x01, 0x03, 0x01, 0x34, 0x04, 0x5F}},
      {"ReadCfg",
       [](auto& e) { e.ReadCfg(0x0134, buf, 4); },
       {0x55, 0x01, 0xFE, 0x0F, 0x01, 0x03, 0x01, 0x34, 0x04, 0x5F}},
      {"ReadRtc2kP",
       [](auto& e) { e.ReadRtc2kP(0x0134, buf, 4); },
       {0x55, 0x01, 0xFE, 0x0F, 0x01, 0x03, 0x01, 0x34, 0x04, 0x5F}},
      {"GetSoftVer",
       [](auto& e) {
         std::string s;
         e.GetSoftVer(s);
       },
       Request3x(0x00, 0x01, {})},
      {"GetSfrTek",
       [](auto& e) {
         TSfrTek r;
         e.GetSfrTek(r);
       },
       Request3x(0x0C, 0x00, {})},
      {"ReadRAM", [](auto& e) { e.ReadRAM(0xA1B2, buf, 16); },
       Request3x(0x0C, 0x01, {0xA1, 0xB2, 16})},
      {"ReadRAMP", [](auto& e) { e.ReadRAMP(0xA1B2, buf, 16); },
       Request3x(0x0C, 0x01, {0xA1, 0xB2, 16})},
      {"ReadRtc128", [](auto& e) { e.ReadRtc128(0x7E, buf, 5); }, Request3x(0x0F, 0x02, {0x7E, 5})},
      {"ReadDataFlash", [](auto& e) { e.ReadDataFlash(0x12345678, buf, 8); },
       Request3x(0x0F, 0x03, {8, 0x12, 0x34, 0x56, 0x78})},
      {"ReadSecurity", [](auto& e) { e.ReadSecurity(buf); }, Request3x(0x0F, 0x93, {})},
      {"UnlockWrite",
       [](auto& e) {
         std::string s;
         e.UnlockWrite(s);
       },
       Request3x(0x0F, 0xF1, {})},
      {"SendCmd", [](auto& e) { e.SendCmd(0x7778); }, Request3x(0x77, 0x78, {})},
      {"WriteRtc2k", [](auto& e) { e.WriteRtc2k(0x0134, src, 3); },
       Request3x(0x0F, 0x81, {0x01, 0x34, 0xDE, 0xAD, 0xBE})},
      {"WriteCfg", [](auto& e) { e.WriteCfg(0x0134, src, 3); },
       Request3x(0x0F, 0x81, {0x01, 0x34, 0xDE, 0xAD, 0xBE})},
      {"WriteRtc2kP", [](auto& e) { e.WriteRtc2kP(0x0134, src, 2); },
       Request3x(0x0F, 0x81, {0x01, 0x34, 0xDE, 0xAD})},
      {"WriteRAM", [](auto& e) { e.WriteRAM(0x0200, src, 3); },
       Request3x(0x0C, 0x81, {0x02, 0x00, 0xDE, 0xAD, 0xBE})},
      {"WriteRAMP", [](auto& e) { e.WriteRAMP(0x0200, src, 1); },
       Request3x(0x0C, 0x81, {0x02, 0x00, 0xDE})},
      {"WriteRtc128",
       [](auto& e) {
         std::array<uint8_t, 3> b{9, 8, 7};
         e.WriteRtc128(0x10, b, 3);
       },
       Request3x(0x0F, 0x82, {0x10, 9, 8, 7})},
      {"CustomWriteRtc2k", [](auto& e) { e.CustomWriteRtc2k(0x0E21, 0xBEEF, src, 3); },
       Request3x(0x0E, 0x21, {0xBE, 0xEF, 0xDE, 0xAD, 0xBE})},
      {"WriteSecurity", [](auto& e) { e.WriteSecurity(kSecurity); },
       Request3x(0x0F, 0x91, securityRequest)},
      {"GDZWriteGmax 1", [](auto& e) { e.GDZWriteGmax(1, 1.0f); },
       Request3x(0x0E, 0x10, {0x3F, 0x80, 0x00, 0x00})},
      {"GDZWriteGmax 2", [](auto& e) { e.GDZWriteGmax(2, -2.5f); },
       Request3x(0x0E, 0x11, {0xC0, 0x20, 0x00, 0x00})},
  };
}

class CommandSet3x : public Scripted3x {
 protected:
  void TearDown() override {
    lum::SetLocalDateTimeSource(nullptr);
    Scripted3x::TearDown();
  }
  void FixLocalTime(LumDateTime dt) {
    lum::SetLocalDateTimeSource([dt] { return dt; });
  }
  // Leaves a code other than 0 in LastError without touching the line.
  void SpoilLastError() {
    engine.GDZWriteGmax(3, 0.0f);
    ASSERT_EQ(engine.LastError(), lumErrAddress);
  }
};

TEST_F(CommandSet3x, EachOperationSendsItsRequest) {
  engine.SetEWrite(true);
  AnswerWith(Reply3x(Bytes(16, 0)));
  for (const auto& c : WireCases()) {
    line->ClearWrites();
    c.op(engine);
    EXPECT_EQ(engine.LastError(), lumOk) << c.name;
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u) << c.name;
    EXPECT_EQ(requests[0], c.request) << c.name;
  }
}

TEST_F(CommandSet3x, RequestsGoToNetAddr) {
  engine.SetNetAddr(127);
  AnswerWith(Reply3x({1, 2, 3, 4}));
  uint8_t b[4];
  engine.ReadRtc2k(0x0134, b, 4);
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Requests()[0], Request3x(0x0F, 0x01, {0x01, 0x34, 4}, 127));
}

TEST_F(CommandSet3x, WriteGateSendsNothingAndReportsSuccess) {
  const std::pair<const char*, Op> gated[] = {
      {"WriteRtc2k", [](auto& e) { e.WriteRtc2k(0, Bytes{1}, 1); }},
      {"WriteRtc2kP",
       [](auto& e) {
         uint8_t b = 1;
         e.WriteRtc2kP(0, &b, 1);
       }},
      {"WriteCfg", [](auto& e) { e.WriteCfg(0, Bytes{1}, 1); }},
      {"WriteRAM", [](auto& e) { e.WriteRAM(0, Bytes{1}, 1); }},
      {"WriteRAMP",
       [](auto& e) {
         uint8_t b = 1;
         e.WriteRAMP(0, &b, 1);
       }},
      {"WriteRtc128",
       [](auto& e) {
         uint8_t b[1] = {1};
         e.WriteRtc128(0, b, 1);
       }},
      {"CustomWriteRtc2k", [](auto& e) { e.CustomWriteRtc2k(0x0F81, 0, Bytes{1}, 1); }},
      {"SetDateTime", [](auto& e) { e.SetDateTime(); }},
  };
  AnswerWith(Reply3x({}));
  for (const auto& [name, op] : gated) {
    SpoilLastError();
    op(engine);
    EXPECT_EQ(engine.LastError(), lumOk) << name;
    EXPECT_TRUE(line->Written().empty()) << name;
  }
  // Security block and Gmax are written whatever the gate says.
  engine.WriteSecurity(kSecurity);
  EXPECT_EQ(engine.LastError(), lumOk);
  engine.GDZWriteGmax(2, 100.0f);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(CommandSet3x, WriteGateHoldsEvenWithNoMeter) {
  SpoilLastError();
  const uint64_t start = Now();
  engine.WriteRtc2k(0x0010, Bytes{1, 2}, 2);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(Now(), start);
}

TEST_F(CommandSet3x, ReadsDeliverTheReplyBoundedByTheDestination) {
  AnswerWith(Reply3x({1, 2, 3, 4, 5, 6}));
  std::array<uint8_t, 8> buf{};
  buf.fill(0xEE);
  // Asked for 4, the meter sends 6: the copy stops at the span's end.
  engine.ReadRtc2k(0, std::span(buf).first(4), 4);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(buf, (std::array<uint8_t, 8>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
  // The P variants are bounded by their count.
  buf.fill(0xEE);
  engine.ReadRAMP(0, buf.data(), 2);
  EXPECT_EQ(buf, (std::array<uint8_t, 8>{1, 2, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  buf.fill(0xEE);
  engine.ReadRtc2kP(0, buf.data(), 3);
  EXPECT_EQ(buf, (std::array<uint8_t, 8>{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  engine.ReadRtc2kP(0, nullptr, 3);  // nowhere to copy: no crash
  EXPECT_EQ(engine.LastError(), lumOk);
  // A larger destination takes what the reply carries and no more.
  buf.fill(0xEE);
  engine.ReadSecurity(buf);
  EXPECT_EQ(buf, (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 0xEE, 0xEE}));
}

TEST_F(CommandSet3x, FailedOrEmptyReadsLeaveTheDestinationAlone) {
  Bytes bad = Reply3x({1, 2, 3, 4});
  bad.back() ^= 1;
  const std::pair<Bytes, uint32_t> cases[] = {
      {bad, lumErrChecksum}, {{}, lumErrRead}, {Reply3x({}), lumErrPacketSize}};
  for (const auto& [reply, code] : cases) {
    AnswerWith(reply);
    std::array<uint8_t, 4> buf{9, 9, 9, 9};
    engine.ReadDataFlash(0, buf, 4);
    EXPECT_EQ(engine.LastError(), code);
    EXPECT_EQ(buf, (std::array<uint8_t, 4>{9, 9, 9, 9}));
  }
}

// A well-formed reply with fewer data bytes than the read asked for fails
// each attempt with code 3 and leaves the caller's bytes alone; an attempt
// that brings the whole answer succeeds.
TEST_F(CommandSet3x, ShortRepliesFailEachAttemptAndLeaveTheDestinationAlone) {
  std::array<uint8_t, 16> buf{};
  TSfrTek rec;
  const std::tuple<const char*, Op, uint8_t> cases[] = {
      {"ReadRtc2k", [&](auto& e) { e.ReadRtc2k(0, buf, 4); }, 4},
      {"ReadRAMP", [&](auto& e) { e.ReadRAMP(0, buf.data(), 2); }, 2},
      {"ReadRtc128", [&](auto& e) { e.ReadRtc128(0, buf, 16); }, 16},
      {"ReadDataFlash", [&](auto& e) { e.ReadDataFlash(0, buf, 1); }, 1},
      {"GetSfrTek", [&](auto& e) { e.GetSfrTek(rec); }, 16},
  };
  for (const auto& [name, op, asked] : cases) {
    buf.fill(0xEE);
    rec.Fields = {1, 2, 3, 4};
    AnswerWith(Reply3x(Bytes(asked - 1u, 0x41)));
    line->ClearWrites();
    op(engine);
    EXPECT_EQ(engine.LastError(), lumErrPacketSize) << name;
    EXPECT_EQ(Requests().size(), 3u) << name;
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 0xEE), 16) << name;
    EXPECT_EQ(rec.Fields, (std::array<uint32_t, 4>{1, 2, 3, 4})) << name;
    AnswerInTurn({Reply3x(Bytes(asked - 1u, 0x41)), Reply3x(Bytes(asked, 0x41))});
    op(engine);
    EXPECT_EQ(engine.LastError(), lumOk) << name;
  }
}

TEST_F(CommandSet3x, WriteRtc128CopiesTheAnswerBack) {
  engine.SetEWrite(true);
  AnswerWith(Reply3x({0x21, 0x22, 0x23, 0x24}));
  std::array<uint8_t, 5> buf{1, 2, 3, 4, 5};
  engine.WriteRtc128(0x20, std::span(buf).first(3), 3);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(buf, (std::array<uint8_t, 5>{0x21, 0x22, 0x23, 4, 5}));
}

TEST_F(CommandSet3x, WritesRefuseCountsBeyondTheBufferOrTheFrame) {
  engine.SetEWrite(true);
  AnswerWith(Reply3x({}));
  const Bytes big(255, 0x5A);
  const std::tuple<const char*, Op, uint32_t> cases[] = {
      {"count beyond span",
       [](auto& e) {
         e.WriteRtc2k(0, Bytes{1, 2}, 3);
       },
       lumErrPacketSize},
      {"null pointer", [](auto& e) { e.WriteRAMP(0, nullptr, 1); }, lumErrPacketSize},
      {"Rtc2k 246 bytes", [&](auto& e) { e.WriteRtc2k(0, big, 246); }, lumOk},
      {"Rtc2k 247 bytes", [&](auto& e) { e.WriteRtc2k(0, big, 247); }, lumErrPacketSize},
      {"Rtc128 247 bytes",
       [](auto& e) {
         Bytes b(247, 0);
         e.WriteRtc128(0, b, 247);
       },
       lumOk},
      {"Rtc128 248 bytes",
       [](auto& e) {
         Bytes b(248, 0);
         e.WriteRtc128(0, b, 248);
       },
       lumErrPacketSize},
  };
  for (const auto& [name, op, code] : cases) {
    line->ClearWrites();
    op(engine);
    EXPECT_EQ(engine.LastError(), code) << name;
    EXPECT_EQ(Requests().size(), code == lumOk ? 1u : 0u) << name;
    if (code == lumOk) EXPECT_EQ(Requests()[0].size(), 255u) << name;
  }
}

TEST_F(CommandSet3x, TextsAreTheReplyBytes) {
  const Bytes id = {'Z', 'F', 'K', '-', '3', '1', ' ', 0xC2, 0x00, 0xFF};
  AnswerWith(Reply3x(id));
  std::string text = "old";
  engine.GetDevID(text);
  EXPECT_EQ(Bytes(text.begin(), text.end()), id);
  text = "old";
  engine.GetSoftVer(text);
  EXPECT_EQ(Bytes(text.begin(), text.end()), id);
  line->SetResponder(nullptr);
  engine.SetRepeatCount(1);
  text = "old";
  engine.GetDevID(text);
  EXPECT_EQ(engine.LastError(), lumErrRead);
  EXPECT_EQ(text, "");
}

TEST_F(CommandSet3x, UnlockWriteAnswerInDecimal) {
  const std::tuple<Bytes, std::string, uint32_t> cases[] = {
      {{7}, "7", lumOk},
      {{255, 1}, "255", lumOk},
      {{0}, "0", lumOk},
      {{}, "", lumErrPacketSize},  // no byte to show
  };
  for (const auto& [data, text, code] : cases) {
    AnswerWith(Reply3x(data));
    std::string s = "old";
    engine.UnlockWrite(s);
    EXPECT_EQ(engine.LastError(), code) << text;
    EXPECT_EQ(s, text);
  }
}

TEST_F(CommandSet3x, SendCmdWantsExactlyOneByte) {
  const std::tuple<Bytes, uint8_t, uint32_t> cases[] = {
      {Reply3x({0x42}), 0x42, lumOk},
      {Reply3x({0x42, 0x43}), 255, lumOk},
      {Reply3x({}), 255, lumOk},
      {{}, 255, lumErrRead},
  };
  engine.SetRepeatCount(1);
  for (const auto& [reply, result, code] : cases) {
    AnswerWith(reply);
    EXPECT_EQ(engine.SendCmd(0x7777), result);
    EXPECT_EQ(engine.LastError(), code);
  }
}

TEST_F(CommandSet3x, GetSfrTekTakesFourBigEndianFields) {
  Bytes data = {0x3F, 0xC0, 0x00, 0x00, 0xC2, 0x48, 0x00, 0x00,
                0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFE};
  AnswerWith(Reply3x(data));
  TSfrTek rec;
  engine.GetSfrTek(rec);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(rec.Fields, (std::array<uint32_t, 4>{0x3FC00000, 0xC2480000, 0x01020304, 0xFFFFFFFE}));
  EXPECT_FLOAT_EQ(rec.AsFloat(0), 1.5f);
  EXPECT_FLOAT_EQ(rec.AsFloat(1), -50.0f);
  EXPECT_EQ(rec.AsFloat(4), 0.0f);
  // A longer reply is fine; a shorter one must not hand out stale bytes.
  data.push_back(0x99);
  AnswerWith(Reply3x(data));
  engine.GetSfrTek(rec);
  EXPECT_EQ(engine.LastError(), lumOk);
  data.resize(15);
  AnswerWith(Reply3x(data));
  TSfrTek untouched;
  untouched.Fields = {1, 2, 3, 4};
  engine.GetSfrTek(untouched);
  EXPECT_EQ(engine.LastError(), lumErrPacketSize);
  EXPECT_EQ(untouched.Fields, (std::array<uint32_t, 4>{1, 2, 3, 4}));
}

TEST_F(CommandSet3x, DetectDeviceTriesTheModelsInOrder) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"ZFK-31", 1},  {"Meter ZFK-31 v2", 1}, {"GDZ-125", 3},
      {"GDZ-127", 5}, {"GDZ-127 ZFK-31", 1},  {"GDZ-127/GDZ-125", 3},
      {"zfk-31", 0},  {"ZFK-36", 0},          {"", 0},
  };
  for (const auto& [id, type] : cases) {
    AnswerWith(Reply3x(Bytes(id, id + std::strlen(id))));
    engine.SetDeviceType(7);
    EXPECT_EQ(engine.DetectDevice(), type) << id;
    EXPECT_EQ(engine.DeviceType(), type) << id;
    EXPECT_EQ(engine.LastError(), lumOk);
  }
  line->SetResponder(nullptr);
  engine.SetDeviceType(7);
  EXPECT_EQ(engine.DetectDevice(), 0u);
  EXPECT_EQ(engine.LastError(), lumErrRead);
}

TEST_F(CommandSet3x, SetDateTimeWritesTheClockLayout) {
  engine.SetEWrite(true);
  AnswerWith(Reply3x({}));
  struct Case {
    LumDateTime at;
    Bytes clock;
  };
  const Case cases[] = {
      // Saturday 30 November 2019, 09:05:03.
      {{2019, 11, 30, 6, 9, 5, 3}, {0x03, 0, 0x05, 0, 0x09, 0, 0x07, 0x30, 0x11, 0x19}},
      // Sunday 1 December 2019, 23:59:59.
      {{2019, 12, 1, 0, 23, 59, 59}, {0x59, 0, 0x59, 0, 0x23, 0, 0x01, 0x01, 0x12, 0x19}},
      // Year 2100 wraps to 00.
      {{2100, 1, 9, 5, 0, 0, 0}, {0x00, 0, 0x00, 0, 0x00, 0, 0x06, 0x09, 0x01, 0x00}},
  };
  for (const auto& c : cases) {
    FixLocalTime(c.at);
    line->ClearWrites();
    engine.SetDateTime();
    EXPECT_EQ(engine.LastError(), lumOk);
    Bytes data = {0x00};  // Rtc128 address 0
    data.insert(data.end(), c.clock.begin(), c.clock.end());
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0], Request3x(0x0F, 0x82, data));
  }
}

TEST_F(CommandSet3x, GmaxChannelIsCheckedFirst) {
  for (uint8_t channel : {uint8_t{0}, uint8_t{3}, uint8_t{255}}) {
    engine.GDZWriteGmax(channel, 1.0f);
    EXPECT_EQ(engine.LastError(), lumErrAddress);
  }
  Tlum3xProtocol portless;
  portless.GDZWriteGmax(3, 1.0f);
  EXPECT_EQ(portless.LastError(), lumErrAddress);
  portless.GDZWriteGmax(1, 1.0f);
  EXPECT_EQ(portless.LastError(), lumErrWrite);
  EXPECT_TRUE(line->Written().empty());
}

// Which operations open a closed port, which only check it, and which go
// ahead regardless.
TEST_F(CommandSet3x, ClosedPortHandling) {
  engine.SetEWrite(true);
  engine.SetAutoOpenPort(true);
  AnswerWith(Reply3x(Bytes(16, 0x01)));  // as long as any read here asks
  const auto cases = WireCases();
  for (const auto& c : cases) {
    port.Close();
    const int opens = line->Opens();
    line->ClearWrites();
    c.op(engine);
    const std::string name = c.name;
    if (name == "GetSoftVer" || name == "SendCmd") {
      EXPECT_EQ(engine.LastError(), lumErrPortClosed) << name;
      EXPECT_EQ(line->Opens(), opens) << name;
      EXPECT_TRUE(line->Written().empty()) << name;
    } else if (name == "GetSfrTek") {
      // Does not look at the port: every attempt's write fails.
      EXPECT_EQ(engine.LastError(), lumErrWrite) << name;
      EXPECT_EQ(line->Opens(), opens) << name;
    } else {
      EXPECT_EQ(engine.LastError(), lumOk) << name;
      EXPECT_EQ(line->Opens(), opens + 1) << name;
      EXPECT_EQ(Requests().size(), 1u) << name;
    }
  }
  // Without automatic opening every checking operation stops with code 6.
  engine.SetAutoOpenPort(false);
  for (const auto& c : cases) {
    port.Close();
    c.op(engine);
    if (std::string(c.name) != "GetSfrTek")
      EXPECT_EQ(engine.LastError(), lumErrPortClosed) << c.name;
  }
  // A port that cannot be opened counts as closed.
  engine.SetAutoOpenPort(true);
  line->SetOpenFails(true);
  uint8_t b[4];
  engine.ReadRtc2k(0, b, 4);
  EXPECT_EQ(engine.LastError(), lumErrPortClosed);
}

TEST_F(CommandSet3x, ClosedPortLeavesTextsAsPassed) {
  port.Close();
  std::string text = "kept";
  engine.GetDevID(text);
  EXPECT_EQ(engine.LastError(), lumErrPortClosed);
  EXPECT_EQ(text, "kept");
  engine.UnlockWrite(text);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(engine.SendCmd(0x7777), 255);
  EXPECT_EQ(engine.DetectDevice(), 0u);
  EXPECT_EQ(engine.LastError(), lumErrPortClosed);
}

TEST_F(CommandSet3x, NoPortMeansCodeOne) {
  Tlum3xProtocol portless;
  const auto cases = WireCases();
  for (const auto& c : cases) {
    portless.SetEWrite(true);
    c.op(portless);
    EXPECT_EQ(portless.LastError(), lumErrWrite) << c.name;
  }
  std::string text = "kept";
  portless.GetDevID(text);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(portless.SendCmd(1), 255);
}

TEST(Properties3x, SettersApplyTheirRules) {
  Tlum3xProtocol e;
  EXPECT_EQ(e.NetAddr(), 0);
  EXPECT_EQ(e.PacketTimeout(), 300u);
  EXPECT_EQ(e.ByteTimeout(), 40u);
  EXPECT_EQ(e.RepeatCount(), 3);
  EXPECT_EQ(e.DeviceType(), 0u);
  EXPECT_FALSE(e.AutoOpenPort());
  EXPECT_FALSE(e.EWrite());
  EXPECT_EQ(e.ComPort(), nullptr);

  const std::pair<uint8_t, uint8_t> addr[] = {{127, 127}, {200, 127}, {128, 127}, {0, 0}};
  for (auto [set, want] : addr) {
    e.SetNetAddr(set);
    EXPECT_EQ(e.NetAddr(), want) << int{set};
  }
  const std::pair<uint32_t, uint32_t> packet[] = {{305, 300},   {5, 300}, {10000, 300},
                                                  {9999, 9990}, {10, 10}, {19, 10}};
  for (auto [set, want] : packet) {
    e.SetPacketTimeout(set);
    EXPECT_EQ(e.PacketTimeout(), want) << set;
  }
  const std::pair<uint32_t, uint32_t> byte[] = {
      {3000, 40}, {2999, 2990}, {9, 2990}, {15, 10}, {45, 40}};
  for (auto [set, want] : byte) {
    e.SetByteTimeout(set);
    EXPECT_EQ(e.ByteTimeout(), want) << set;
  }
  const std::pair<uint8_t, uint8_t> repeat[] = {{0, 3}, {25, 3}, {24, 24}, {1, 1}};
  for (auto [set, want] : repeat) {
    e.SetRepeatCount(set);
    EXPECT_EQ(e.RepeatCount(), want) << int{set};
  }
  const std::pair<uint32_t, uint32_t> type[] = {{11, 11}, {12, 0}, {5, 5}, {0xFFFFFFFF, 0}};
  for (auto [set, want] : type) {
    e.SetDeviceType(set);
    EXPECT_EQ(e.DeviceType(), want) << set;
  }
  TlumComPort port;
  e.SetComPort(&port);
  e.SetComPort(nullptr);
  EXPECT_EQ(e.ComPort(), &port);
}

}  // namespace
