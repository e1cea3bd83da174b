// Waiting for reply bytes on the device: bytes are taken the moment they
// arrive, while every limit still falls where the 10 ms looks put it. All on
// virtual time, with bytes arriving between the looks as on a real line.
#include <gtest/gtest.h>

#include "comm/LumReplyWait.h"
#include "support/ScriptedLine.h"

namespace {

constexpr uint8_t kPort = 47;

class ReplyWait : public ::testing::Test {
 protected:
  void SetUp() override {
    line->Bind(kPort);
    port.SetComPort(kPort);
    ASSERT_TRUE(port.Open());
  }
  uint64_t Now() { return vt.clock.NowMs(); }

  ScopedVirtualTime vt;
  std::shared_ptr<ScriptedLine> line = ScriptedLine::Create(vt.clock);
  ScopedPortBinding binding{kPort};
  TlumComPort port;
  TlumReplyWait wait;
};

// Two bytes: the first `first` ms after Start, the second `gap` ms after it.
// The looks that find the first one decide the second's limit.
TEST_F(ReplyWait, LimitsCountFromTheLookThatWouldHaveTakenTheByteBefore) {
  struct Case {
    uint32_t first, gap;
    bool second;        // taken, or given up
    uint64_t secondAt;  // when Next returned for it
  } cases[] = {
      {0, 40, true, 40},   // on the looks: 0, then 40 at the limit
      {0, 41, false, 50},  // one past; given up one look after the last
      {13, 47, true, 60},  // first seen by the look at 20, so the limit ends at 60
      {13, 48, false, 70}, {20, 40, true, 60},  {21, 39, true, 60},  // looked for at 30, limit 70
      {21, 49, true, 70},  {21, 50, false, 80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "first " << c.first << " gap " << c.gap);
    vt.clock.Advance(1000);
    line->Feed({0xA1, 0xB2}, c.first, c.gap);
    const uint64_t start = Now();
    wait.Start();
    uint8_t byte = 0;
    ASSERT_TRUE(wait.Next(port, byte, 100));
    EXPECT_EQ(byte, 0xA1);
    EXPECT_EQ(Now() - start, c.first);  // at once, not at the next look
    EXPECT_EQ(wait.Next(port, byte, 40), c.second);
    EXPECT_EQ(Now() - start, c.secondAt);
    if (c.second) EXPECT_EQ(byte, 0xB2);
    line->DevicePurge();
  }
}

// The limit in looks: a limit of L ms allows the looks at 0 .. L; settings
// that are no multiple of 10 count as the multiple below.
TEST_F(ReplyWait, SilenceEndsOneLookAfterTheLastAndSleepsOnlyThatLook) {
  for (uint32_t limit : {0u, 10u, 40u, 300u, 305u}) {
    SCOPED_TRACE(limit);
    vt.clock.ClearSleeps();
    const uint64_t start = Now();
    wait.Start();
    uint8_t byte = 0;
    EXPECT_FALSE(wait.Next(port, byte, limit));
    EXPECT_EQ(Now() - start, limit / 10 * 10 + 10);
    // Waited on the device, not in 10 ms naps: only the last look's pause.
    EXPECT_EQ(vt.clock.Sleeps(), (std::vector<uint32_t>{10}));
  }
}

TEST_F(ReplyWait, BytesAlreadyWaitingAreTakenWithoutWaiting) {
  line->Feed({1, 2, 3});
  wait.Start();
  const uint64_t start = Now();
  uint8_t byte = 0;
  for (uint8_t expected : {1, 2, 3}) {
    ASSERT_TRUE(wait.Next(port, byte, 40));
    EXPECT_EQ(byte, expected);
  }
  EXPECT_EQ(Now(), start);
}

// A device that says input is waiting and then has none to give.
class LyingDevice final : public SerialDevice {
 public:
  void Purge() override {}
  bool Write(std::span<const uint8_t>) override { return true; }
  bool ReadByte(uint8_t&) override { return false; }
  bool WaitForInput(uint32_t) override {
    ++wakes;
    return true;
  }
  static inline int wakes = 0;
};

TEST(ReplyWaitLyingDevice, DoesNotSpinAndStillEndsOnTime) {
  ScopedVirtualTime vt;
  ScopedPortBinding binding{kPort};
  lum::BindSerialPortDevice(kPort, [](uint32_t) { return std::make_unique<LyingDevice>(); });
  TlumComPort port;
  port.SetComPort(kPort);
  ASSERT_TRUE(port.Open());
  LyingDevice::wakes = 0;
  TlumReplyWait wait;
  const uint64_t start = vt.clock.NowMs();
  wait.Start();
  uint8_t byte = 0;
  EXPECT_FALSE(wait.Next(port, byte, 40));
  EXPECT_EQ(vt.clock.NowMs() - start, 50u);
  EXPECT_LE(LyingDevice::wakes, 41);  // at most one a millisecond
}

}  // namespace
