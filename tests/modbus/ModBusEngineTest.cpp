// The ModBus RTU master over a scripted line on virtual time: request frames,
// reply framing by function code, retries and their pauses, the function-code
// check of the read, identification texts and the property rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "comm/LumUtils.h"
#include "comm/lumModBusProtocol.h"
#include "support/ScriptedLine.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kPort = 43;

Bytes WithCrc(Bytes frame) {
  const uint16_t crc = Crc16(0xFFFF, frame);
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// A read reply: address 1, function 3, byte count, data.
Bytes ReadReply(const Bytes& data) {
  Bytes frame = {0x01, 0x03, static_cast<uint8_t>(data.size())};
  frame.insert(frame.end(), data.begin(), data.end());
  return WithCrc(frame);
}

// A report-slave-ID reply as the meters send it: address, 17, unused, L, text.
Bytes IdReply(const Bytes& text) {
  Bytes frame = {0x01, 0x11, 0x00, static_cast<uint8_t>(text.size())};
  frame.insert(frame.end(), text.begin(), text.end());
  return WithCrc(frame);
}

const Bytes kWriteAck = {0x01, 0x10, 0x01, 0x40, 0x00, 0x02, 0x41, 0xE0};

class ModBusEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    line->Bind(kPort);
    port.SetComPort(kPort);
    ASSERT_TRUE(port.Open());
    engine.SetComPort(&port);
    engine.SetNetAddr(1);
  }

  // Every request is answered with reply, delayMs after it was written.
  void AnswerWith(const Bytes& reply, uint32_t delayMs = 20, uint32_t gapMs = 0) {
    line->SetResponder([reply, delayMs, gapMs](ScriptedLine& l, std::span<const uint8_t>) {
      l.Feed(reply, delayMs, gapMs);
    });
  }
  void Silence() { line->SetResponder(nullptr); }
  // Forgets the traffic and pauses so far, keeping the receive buffer.
  void ClearRecords() {
    line->ClearWrites();
    clock().ClearSleeps();
  }
  size_t Sends() const { return line->Writes().size(); }
  VirtualClock& clock() { return time.clock; }

  ScopedVirtualTime time;
  std::shared_ptr<ScriptedLine> line = ScriptedLine::Create(time.clock);
  ScopedPortBinding binding{kPort};
  TlumComPort port;
  TlumModBusProtocol engine;
};

TEST_F(ModBusEngine, RequestFramesMatchGoldenBytes) {
  engine.SetRepeatCount(1);
  engine.SetEWrite(true);
  Bytes buffer(4);
  const Bytes writeData = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};  // only four are sent
  struct Case {
    const char* name;
    std::function<void()> call;
    Bytes frame;
  } cases[] = {
      {"read 315..316",
       [&] { engine.ReadHoldingRegisters(315, 2, buffer); },
       {0x01, 0x03, 0x01, 0x3B, 0x00, 0x02, 0xB4, 0x3A}},
      {"report slave ID",
       [&] {
         std::string text;
         engine.GetDevID(text);
       },
       {0x01, 0x11, 0xC0, 0x2C}},
      {"write 320..321",
       [&] { engine.WriteMultipleRegisters(320, 2, writeData); },
       {0x01, 0x10, 0x01, 0x40, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78, 0x81, 0x3B}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    line->ClearWrites();
    c.call();
    ASSERT_FALSE(line->Writes().empty());
    EXPECT_EQ(line->Writes().front(), c.frame);  // one WriteBuffer per request
  }
}

TEST_F(ModBusEngine, LastSentIsHexTextWithTrailingSpace) {
  engine.SetRepeatCount(1);
  Bytes buffer(4);
  engine.ReadHoldingRegisters(320, 2, buffer);
  EXPECT_EQ(engine.LastSent(), "01 03 01 40 00 02 C4 23 ");
  engine.SetNetAddr(0x7F);
  engine.ReadHoldingRegisters(0xABCD, 0x00EF, buffer);
  EXPECT_EQ(engine.LastSent().substr(0, 18), "7F 03 AB CD 00 EF ");
}

TEST_F(ModBusEngine, ReadCopiesDataBoundedByTheCallersBuffer) {
  Bytes data(255);
  std::iota(data.begin(), data.end(), uint8_t{1});
  AnswerWith(ReadReply(data));  // 260 bytes: the longest read reply there is
  for (size_t size : {size_t{10}, size_t{255}, size_t{300}}) {
    SCOPED_TRACE(size);
    ClearRecords();
    Bytes buffer(size, 0xEE);
    ASSERT_TRUE(engine.ReadHoldingRegisters(0, 125, buffer));
    EXPECT_EQ(engine.LastError(), lumOk);
    EXPECT_EQ(Sends(), 1u);
    const size_t copied = std::min(size, data.size());
    EXPECT_TRUE(
        std::equal(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(copied), data.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<ptrdiff_t>(copied), buffer.end(),
                            [](uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(line->PendingInput(), 0u);
  }
}

TEST_F(ModBusEngine, FaultyRepliesToAReadFailAndLeaveTheBufferAlone) {
  Bytes swapped = ReadReply({0x00, 0x01});
  std::swap(swapped[5], swapped[6]);
  Bytes cut = ReadReply({0x00, 0x01, 0x00, 0x02});
  cut.resize(6);  // announces four data bytes, brings one
  struct Case {
    const char* name;
    Bytes reply;
    uint32_t code;
    size_t sends;
  } cases[] = {
      {"CRC bytes swapped", swapped, lumErrChecksum, 3},
      {"exception reply", {0x01, 0x83, 0x02, 0xC0, 0xF1}, lumErrAddress, 1},
      {"reply to a write", kWriteAck, lumErrAddress, 1},
      {"cut off", cut, lumErrRead, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AnswerWith(c.reply);
    ClearRecords();
    Bytes buffer(4, 0xEE);
    EXPECT_FALSE(engine.ReadHoldingRegisters(1, 2, buffer));
    EXPECT_EQ(engine.LastError(), c.code);
    EXPECT_EQ(Sends(), c.sends);
    EXPECT_EQ(buffer, Bytes(4, 0xEE));
  }
}

// A register read answered with fewer registers than it asked for fails that
// attempt with code 3 and asks again; a whole answer on a later attempt does.
TEST_F(ModBusEngine, ShortRegisterReadsFailEachAttempt) {
  for (const bool wholeLater : {false, true}) {
    SCOPED_TRACE(wholeLater ? "short, then whole" : "always short");
    auto n = std::make_shared<int>(0);
    line->SetResponder([wholeLater, n](ScriptedLine& l, std::span<const uint8_t>) {
      l.Feed(wholeLater && (*n)++ > 0 ? ReadReply({1, 2, 3, 4}) : ReadReply({1, 2}), 20);
    });
    ClearRecords();
    Bytes buffer(4, 0xEE);
    EXPECT_EQ(engine.ReadHoldingRegisters(1, 2, buffer), wholeLater);
    EXPECT_EQ(engine.LastError(), wholeLater ? lumOk : lumErrPacketSize);
    EXPECT_EQ(Sends(), wholeLater ? 2u : 3u);
    EXPECT_EQ(buffer, (wholeLater ? Bytes{1, 2, 3, 4} : Bytes(4, 0xEE)));
  }
}

// Any reply with a good CRC ends the attempts; an exception reply is the
// meter's refusal: the write fails with its own code and the exception's.
TEST_F(ModBusEngine, AnyReplyWithAGoodCrcEndsTheWriteAndAnExceptionFailsIt) {
  engine.SetEWrite(true);
  const Bytes data = {0x12, 0x34, 0x56, 0x78};
  struct Case {
    const char* name;
    Bytes reply;
    bool written;
    uint32_t code;
    uint8_t exception;
  } cases[] = {
      {"acknowledgement", kWriteAck, true, lumOk, 0},
      {"illegal data address", {0x01, 0x90, 0x02, 0xCD, 0xC1}, false, lumErrRefused, 2},
      {"acknowledgement after a refusal", kWriteAck, true, lumOk, 0},
      {"slave device failure", WithCrc({0x01, 0x90, 0x04}), false, lumErrRefused, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AnswerWith(c.reply);
    ClearRecords();
    EXPECT_EQ(engine.WriteMultipleRegisters(320, 2, data), c.written);
    EXPECT_EQ(engine.LastError(), c.code);
    EXPECT_EQ(engine.LastException(), c.exception);
    EXPECT_EQ(Sends(), 1u);
  }
  EXPECT_EQ(ModBusExceptionName(2), "недопустимый адрес данных");
}

// The reply length comes from the function code; a write takes any reply with
// a good CRC but an exception's (0x90), so it shows how many bytes the
// receiver waits for.
TEST_F(ModBusEngine, ReplyLengthFollowsTheFunctionCode) {
  engine.SetEWrite(true);
  engine.SetRepeatCount(1);
  const Bytes data = {0, 1};
  struct Case {
    uint8_t function;
    size_t length;
  } cases[] = {{6, 8}, {16, 8}, {65, 133}, {0x90, 5}, {0x42, 5}, {0x01, 5}};
  for (const auto& c : cases) {
    for (bool whole : {true, false}) {
      SCOPED_TRACE(testing::Message() << "function " << int{c.function} << (whole ? "" : " short"));
      Bytes frame(c.length - 2 - (whole ? 0u : 1u), 0x00);
      frame[0] = 0x01;
      frame[1] = c.function;
      AnswerWith(WithCrc(frame));
      ClearRecords();
      const bool refused = whole && c.function == 0x90;
      EXPECT_EQ(engine.WriteMultipleRegisters(0, 1, data), whole && !refused);
      EXPECT_EQ(engine.LastError(), refused ? lumErrRefused : whole ? lumOk : lumErrRead);
      EXPECT_EQ(line->PendingInput(), 0u);
    }
  }
}

// The read judges the function code by byte 1 of the receive buffer even when
// no reply came, so a silent meter's answer depends on the frame before.
TEST_F(ModBusEngine, StaleFunctionCodeDecidesAFailedRead) {
  struct Case {
    const char* name;
    std::function<void()> before;
    uint32_t code;
  } cases[] = {
      {"after identification",
       [&] {
         AnswerWith(IdReply({'G', 'D', 'Z'}));
         std::string text;
         engine.GetDevID(text);
         ASSERT_EQ(text, "GDZ");
       },
       lumErrAddress},
      {"after a register read",
       [&] {
         AnswerWith(ReadReply({0x00, 0x05}));
         Bytes buffer(2);
         ASSERT_TRUE(engine.ReadHoldingRegisters(0, 1, buffer));
       },
       lumErrRead},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.before();
    Silence();
    Bytes buffer(2, 0xEE);
    EXPECT_FALSE(engine.ReadHoldingRegisters(0, 1, buffer));
    EXPECT_EQ(engine.LastError(), c.code);
    EXPECT_EQ(buffer, Bytes(2, 0xEE));
  }
}

// Against a silent meter: how often each operation sends, and every pause.
TEST_F(ModBusEngine, SilentMeterAttemptsAndPauses) {
  engine.SetEWrite(true);
  struct Case {
    const char* name;
    uint8_t repeatCount;
    std::function<void()> call;
    size_t sends;
    bool pauseAfterAttempt;
    uint32_t code;
  } cases[] = {
      {"read", 3,
       [&] {
         Bytes buffer(2);
         engine.ReadHoldingRegisters(0, 1, buffer);
       },
       3, true, lumErrAddress},  // byte 1 of a fresh receive buffer is 0
      {"write", 3,
       [&] {
         engine.WriteMultipleRegisters(0, 1, Bytes{0, 1});
       },
       4, true, lumErrRead},
      {"identification", 3,
       [&] {
         std::string text = "old";
         engine.GetDevID(text);
         EXPECT_EQ(text, "");
       },
       3, false, lumErrRead},
      {"write, one repeat", 1,
       [&] {
         engine.WriteMultipleRegisters(0, 1, Bytes{0, 1});
       },
       2, true, lumErrRead},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine.SetRepeatCount(c.repeatCount);
    ClearRecords();
    const uint64_t started = clock().NowMs();
    c.call();
    EXPECT_EQ(Sends(), c.sends);
    EXPECT_EQ(engine.LastError(), c.code);
    // Each attempt: the 10 ms turnaround pause, the default 300 ms packet
    // time-out with its last 10 ms look, then 100 ms for reads and writes.
    const uint32_t attemptMs = 10 + 310 + (c.pauseAfterAttempt ? 100 : 0);
    EXPECT_EQ(clock().NowMs() - started, c.sends * attemptMs);
    // The pause follows every attempt, the last one included.
    const auto sleeps = clock().Sleeps();
    EXPECT_EQ(static_cast<size_t>(std::count(sleeps.begin(), sleeps.end(), 100u)),
              c.pauseAfterAttempt ? c.sends : 0u);
    if (c.pauseAfterAttempt) EXPECT_EQ(sleeps.back(), 100u);
  }
}

// A byte is taken if it is there by the last poll its time limit allows.
TEST_F(ModBusEngine, TimeLimitsOfFirstAndFurtherBytes) {
  engine.SetRepeatCount(1);
  struct Case {
    uint32_t packetTimeout, byteTimeout, delay, gap;
    bool received;
  } cases[] = {
      {300, 40, 310, 0, true},   {300, 40, 311, 0, false},   {300, 40, 10, 40, true},
      {300, 40, 10, 41, false},  {50, 40, 60, 0, true},      {50, 40, 61, 0, false},
      {300, 100, 10, 100, true}, {300, 100, 10, 101, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.packetTimeout << "/" << c.byteTimeout << " delay "
                                    << c.delay << " gap " << c.gap);
    engine.SetPacketTimeout(c.packetTimeout);
    engine.SetByteTimeout(c.byteTimeout);
    AnswerWith(IdReply({'O', 'K'}), c.delay, c.gap);
    std::string text;
    engine.GetDevID(text);
    EXPECT_EQ(engine.LastError(), c.received ? lumOk : lumErrRead);
    EXPECT_EQ(text, c.received ? "OK" : "");
    clock().Advance(10000);  // what a failed case left arriving goes with the next purge
  }
}

// Bytes paced by the line arrive between the 10 ms looks; the reply is done
// when its last byte is there, and the limits stay on the looks.
TEST_F(ModBusEngine, RepliesAreTakenAsTheyArriveWithinTheSameLimits) {
  engine.SetRepeatCount(1);
  engine.SetByteTimeout(40);
  struct Case {
    uint32_t first;  // byte 0 this long after the request
    uint32_t gap;    // byte 1 this long after byte 0; the rest 1 ms apart
    bool received;
    uint64_t took;
  } cases[] = {
      {13, 1, true, 13 + 7},  // eight bytes
      {13, 47, true, 60 + 6},
      {13, 48, false, 70},  // byte 0 was the look at 20 ms's; byte 1 was due by 60
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "first " << c.first << " gap " << c.gap);
    line->SetResponder([c](ScriptedLine& l, std::span<const uint8_t>) {
      const Bytes reply = IdReply({'O', 'K'});
      l.Feed(std::span<const uint8_t>(reply).first(1), c.first);
      l.Feed(std::span<const uint8_t>(reply).subspan(1), c.first + c.gap, 1);
    });
    const uint64_t started = clock().NowMs();
    std::string text;
    engine.GetDevID(text);
    EXPECT_EQ(clock().NowMs() - started, c.took);
    EXPECT_EQ(engine.LastError(), c.received ? lumOk : lumErrRead);
    clock().Advance(10000);
  }
}

TEST_F(ModBusEngine, IdentificationText) {
  Bytes longText(255, 'x');
  struct Case {
    const char* name;
    Bytes reply;
    std::string text;
  } cases[] = {
      {"length 0", IdReply({}), ""},
      {"plain", IdReply({'G', 'D', 'Z', '-', '1', '2', '.', '0', '8'}), "GDZ-12.08"},
      // Codes up to 20 go, 21 and the space stay, as do code-page letters.
      {"control characters", IdReply({0x01, 'A', 0x14, ' ', 0x15, 'B', 0x00, 0xC3, 0x0D}),
       "A \x15"
       "B\xC3"},
      {"longest", IdReply(longText), std::string(255, 'x')},
      {"exception reply", WithCrc({0x01, 0x91, 0x01}), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AnswerWith(c.reply);
    ClearRecords();
    std::string text = "previous";
    engine.GetDevID(text);
    EXPECT_EQ(engine.LastError(), lumOk);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(Sends(), 1u);
    EXPECT_EQ(line->PendingInput(), 0u);
  }
}

TEST_F(ModBusEngine, IdentificationNeedsAnOpenPort) {
  AnswerWith(IdReply({'I', 'D'}));
  port.Close();
  std::string text = "kept";
  engine.GetDevID(text);
  EXPECT_EQ(engine.LastError(), lumErrPortClosed);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(Sends(), 0u);

  line->SetOpenFails(true);
  engine.SetAutoOpenPort(true);
  engine.GetDevID(text);
  EXPECT_EQ(engine.LastError(), lumErrPortClosed);
  EXPECT_EQ(text, "kept");

  line->SetOpenFails(false);
  engine.GetDevID(text);
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(text, "ID");
  EXPECT_TRUE(port.Active());
}

TEST_F(ModBusEngine, NoPortAssignedFailsWithCode1) {
  TlumModBusProtocol bare;
  bare.SetEWrite(true);
  Bytes buffer(2, 0xEE);
  EXPECT_FALSE(bare.ReadHoldingRegisters(0, 1, buffer));
  EXPECT_EQ(bare.LastError(), lumErrWrite);
  EXPECT_FALSE(bare.WriteMultipleRegisters(0, 1, buffer));
  EXPECT_EQ(bare.LastError(), lumErrWrite);
  std::string text = "kept";
  bare.GetDevID(text);
  EXPECT_EQ(bare.LastError(), lumErrWrite);
  EXPECT_EQ(text, "kept");
  bare.SetComPort(nullptr);
  EXPECT_EQ(bare.ComPort(), nullptr);
  bare.SetComPort(&port);
  bare.SetComPort(nullptr);
  EXPECT_EQ(bare.ComPort(), &port);
}

// A closed port makes every send fail: no reply is awaited, but read and write
// attempts still pause 100 ms each.
TEST_F(ModBusEngine, ClosedPortFailsEachSend) {
  AnswerWith(ReadReply({0x00, 0x07}));
  Bytes buffer(2);
  ASSERT_TRUE(engine.ReadHoldingRegisters(0, 1, buffer));  // leaves 3 in byte 1
  port.Close();
  ClearRecords();
  EXPECT_FALSE(engine.ReadHoldingRegisters(0, 1, buffer));
  EXPECT_EQ(engine.LastError(), lumErrWrite);
  EXPECT_EQ(clock().Sleeps(), (std::vector<uint32_t>{100, 100, 100}));
  EXPECT_EQ(engine.LastSent(), "01 03 00 00 00 01 84 0A ");

  engine.SetEWrite(true);
  ClearRecords();
  EXPECT_FALSE(engine.WriteMultipleRegisters(0, 1, buffer));
  EXPECT_EQ(engine.LastError(), lumErrWrite);
  EXPECT_EQ(clock().Sleeps(), (std::vector<uint32_t>{100, 100, 100, 100}));

  TlumModBusProtocol fresh;  // nothing in its receive buffer yet
  fresh.SetComPort(&port);
  EXPECT_FALSE(fresh.ReadHoldingRegisters(0, 1, buffer));
  EXPECT_EQ(fresh.LastError(), lumErrAddress);
}

// With writing enabled a count the frame cannot carry is refused (code 3);
// with it disabled the write gate comes first, and the write is the usual
// silent success (code 0). Either way nothing is sent.
TEST_F(ModBusEngine, WriteRejectsCountsOutsideTheFrameWithoutSending) {
  const Bytes data(300, 0x55);
  AnswerWith({0x01, 0x90, 0x02, 0xCD, 0xC1});
  struct Case {
    uint16_t count;
    size_t dataSize;
    bool eWrite;
  } cases[] = {
      {0, 0, true}, {124, 248, true}, {2, 3, true}, {0, 0, false}, {124, 248, false}, {2, 3, false},
  };
  engine.SetRepeatCount(1);
  Bytes buffer(2);
  engine.ReadHoldingRegisters(7, 1, buffer);
  const std::string lastSent = engine.LastSent();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "count " << c.count << " data " << c.dataSize);
    SCOPED_TRACE(c.eWrite ? "writing enabled" : "writing disabled");
    engine.SetEWrite(c.eWrite);
    ClearRecords();
    EXPECT_EQ(engine.WriteMultipleRegisters(0, c.count, std::span(data).first(c.dataSize)),
              !c.eWrite);
    EXPECT_EQ(engine.LastError(), c.eWrite ? lumErrPacketSize : lumOk);
    EXPECT_EQ(Sends(), 0u);
    EXPECT_EQ(engine.LastSent(), lastSent);
  }
  // 123 registers make the longest request, 255 bytes.
  engine.SetEWrite(true);
  AnswerWith(kWriteAck);
  ClearRecords();
  EXPECT_TRUE(engine.WriteMultipleRegisters(0, 123, std::span(data).first(246)));
  ASSERT_EQ(Sends(), 1u);
  const Bytes frame = line->Writes().front();
  ASSERT_EQ(frame.size(), 255u);
  EXPECT_EQ(frame[6], 246);
  EXPECT_EQ(frame, WithCrc(Bytes(frame.begin(), frame.end() - 2)));
}

TEST_F(ModBusEngine, WriteDisabledSendsNothingAndSucceeds) {
  engine.SetRepeatCount(1);
  Bytes buffer(2);
  engine.ReadHoldingRegisters(9, 1, buffer);  // silent: leaves a failure code
  ASSERT_NE(engine.LastError(), lumOk);
  const std::string lastSent = engine.LastSent();
  const int purges = line->Purges();
  ClearRecords();
  EXPECT_TRUE(engine.WriteMultipleRegisters(320, 2, Bytes{1, 2, 3, 4}));
  EXPECT_EQ(engine.LastError(), lumOk);
  EXPECT_EQ(Sends(), 0u);
  EXPECT_EQ(line->Purges(), purges);
  EXPECT_EQ(engine.LastSent(), lastSent);
}

TEST_F(ModBusEngine, BytesWaitingBeforeTheRequestArePurged) {
  line->Feed({0x01, 0x03, 0x02});  // left over from some earlier exchange
  clock().Advance(1);
  AnswerWith(ReadReply({0xAB, 0xCD}));
  Bytes buffer(2);
  EXPECT_TRUE(engine.ReadHoldingRegisters(0, 1, buffer));
  EXPECT_EQ(buffer, (Bytes{0xAB, 0xCD}));
}

TEST(ModBusProperties, SetterRules) {
  TlumModBusProtocol e;
  EXPECT_EQ(e.PacketTimeout(), 300u);
  EXPECT_EQ(e.ByteTimeout(), 40u);
  EXPECT_EQ(e.RepeatCount(), 3);
  EXPECT_EQ(e.NetAddr(), 0);
  EXPECT_EQ(e.DeviceType(), 0u);
  EXPECT_FALSE(e.EWrite());
  EXPECT_FALSE(e.AutoOpenPort());
  EXPECT_EQ(e.ComPort(), nullptr);

  struct Step {
    uint32_t set;
    uint32_t expect;
  };
  struct Case {
    const char* name;
    std::function<void(uint32_t)> set;
    std::function<uint32_t()> get;
    std::vector<Step> steps;
  } cases[] = {
      {"PacketTimeout",
       [&](uint32_t v) { e.SetPacketTimeout(v); },
       [&] { return e.PacketTimeout(); },
       {{5, 300}, {9999, 9990}, {10000, 9990}, {10, 10}, {0, 10}, {125, 120}}},
      {"ByteTimeout",
       [&](uint32_t v) { e.SetByteTimeout(v); },
       [&] { return e.ByteTimeout(); },
       {{2999, 2990}, {3000, 2990}, {9, 2990}, {10, 10}}},
      {"NetAddr",
       [&](uint32_t v) { e.SetNetAddr(static_cast<uint8_t>(v)); },
       [&] { return uint32_t{e.NetAddr()}; },
       {{127, 127}, {128, 127}, {255, 127}, {0, 0}}},
      {"RepeatCount",
       [&](uint32_t v) { e.SetRepeatCount(static_cast<uint8_t>(v)); },
       [&] { return uint32_t{e.RepeatCount()}; },
       {{0, 3}, {101, 3}, {100, 100}, {1, 1}}},
      {"DeviceType",
       [&](uint32_t v) { e.SetDeviceType(v); },
       [&] { return e.DeviceType(); },
       {{11, 11}, {12, 0}, {5, 5}}},
  };
  for (const auto& c : cases) {
    for (const auto& s : c.steps) {
      SCOPED_TRACE(testing::Message() << c.name << " set " << s.set);
      c.set(s.set);
      EXPECT_EQ(c.get(), s.expect);
    }
  }
}

}  // namespace
