// The receive thread on virtual time over a scripted line, and once over a
// real pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "comm/LuMComPort.h"
#include "comm/LumSynchronizer.h"
#include "support/PtyPair.h"
#include "support/ScriptedLine.h"

namespace {

constexpr uint8_t kPort = 42;

struct Event {
  bool isByte;
  uint8_t value;
  uint32_t tick;
  std::thread::id thread;
  bool operator==(const Event& o) const {
    return isByte == o.isByte && value == o.value && tick == o.tick;
  }
};

class Recorder {
 public:
  void Attach(TlumComPort& port) {
    port.SetOnReceiveByte([this](TlumCustomComPort*, uint8_t b, uint32_t tick) {
      events.push_back({true, b, tick, std::this_thread::get_id()});
    });
    port.SetOnReceiveTimeout([this](TlumCustomComPort*, uint32_t tick) {
      events.push_back({false, 0, tick, std::this_thread::get_id()});
    });
  }
  // Runs the handed-over events on this (the main) thread until n arrived.
  void PumpUntil(size_t n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (events.size() < n && std::chrono::steady_clock::now() < end)
      CheckSynchronize(10);
  }
  std::vector<Event> events;  // touched on the main thread only
};

Event Byte(uint8_t v, uint32_t tick) {
  return {true, v, tick, {}};
}
Event Timeout(uint32_t tick) {
  return {false, 0, tick, {}};
}

class RcvThread : public ::testing::Test {
 protected:
  void SetUp() override {
    line = ScriptedLine::Create(time.clock);
    line->Bind(kPort);
    port.SetComPort(kPort);
    port.SetReceiveInThread(true);
    recorder.Attach(port);
  }
  void TearDown() override {
    port.Close();
    lum::UnbindSerialPort(kPort);
  }

  ScopedVirtualTime time;
  std::shared_ptr<ScriptedLine> line;
  TlumComPort port;
  Recorder recorder;
};

TEST_F(RcvThread, SilentLineGivesTimeoutsWithRisingTicks) {
  const uint64_t start = time.clock.NowMs();
  ASSERT_TRUE(port.Open());
  recorder.PumpUntil(4);
  port.Close();
  ASSERT_GE(recorder.events.size(), 4u);
  for (uint32_t i = 0; i < 4; ++i)
    EXPECT_EQ(recorder.events[i], Timeout(i));
  for (const Event& e : recorder.events)
    EXPECT_EQ(e.thread, std::this_thread::get_id());
  // Each silent cycle is two byte time-outs and one interval: 10 + 10 + 100.
  EXPECT_GE(time.clock.NowMs() - start, 3 * 120u + 20u);
}

TEST_F(RcvThread, ABurstSharesOneTickAndTheNextBurstGetsTheNext) {
  line->Feed({0x11, 0x22, 0x33});
  line->Feed({0x44}, 500);
  ASSERT_TRUE(port.Open());
  recorder.PumpUntil(10);
  port.Close();
  ASSERT_GE(recorder.events.size(), 10u);
  const std::vector<Event> expected = {Byte(0x11, 0), Byte(0x22, 0), Byte(0x33, 0), Timeout(0)};
  EXPECT_EQ(std::vector<Event>(recorder.events.begin(), recorder.events.begin() + 4), expected);
  // The byte due 500 ms later arrives in a later cycle, after silent ones.
  auto it = std::find_if(recorder.events.begin() + 4, recorder.events.end(),
                         [](const Event& e) { return e.isByte; });
  ASSERT_NE(it, recorder.events.end());
  EXPECT_EQ(it->value, 0x44);
  // Silent cycles end at 20, 140, 260, 380 and 500 ms, each followed by the
  // 100 ms interval; the byte due at 500 ms is read at 600 ms, in cycle 5.
  EXPECT_EQ(it->tick, 5u);
  EXPECT_EQ(*(it - 1), Timeout(4));
}

TEST_F(RcvThread, ReadByteIsFalseWhileTheThreadRuns) {
  line->Feed({0x55}, 1000000);
  ASSERT_TRUE(port.Open());
  uint8_t b;
  EXPECT_FALSE(port.ReadByte(b));
  port.Close();
}

TEST_F(RcvThread, CloseReturnsInTheMiddleOfAnEndlessBurst) {
  std::vector<uint8_t> endless(100000, 0xE5);
  line->Feed(endless, 0, 1);  // a byte every millisecond, for 100 s of virtual time
  ASSERT_TRUE(port.Open());
  recorder.PumpUntil(10);
  port.Close();  // must come back although the line never falls silent
  EXPECT_FALSE(port.Active());
  EXPECT_GT(line->PendingInput(), 0u);
  for (const Event& e : recorder.events)
    EXPECT_TRUE(e.isByte);
}

TEST_F(RcvThread, HandlersAreTakenAtOpen) {
  ASSERT_TRUE(port.Open());
  bool lateHandlerRan = false;
  port.SetOnReceiveTimeout([&](TlumCustomComPort*, uint32_t) { lateHandlerRan = true; });
  recorder.PumpUntil(2);
  port.Close();
  EXPECT_FALSE(lateHandlerRan);
  EXPECT_GE(recorder.events.size(), 2u);
}

TEST(RcvThreadPty, BytesFromARealLineArriveOnTheMainThread) {
  PtyPair pty;
  lum::BindSerialPortPath(kPort, pty.SlavePath());
  TlumComPort port;
  port.SetComPort(kPort);
  port.SetReceiveInThread(true);
  port.SetThreadInterval(20);
  Recorder recorder;
  recorder.Attach(port);
  ASSERT_TRUE(port.Open());
  pty.Send({1, 2, 3});
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  auto bytes = [&] {
    return std::count_if(recorder.events.begin(), recorder.events.end(),
                         [](const Event& e) { return e.isByte; });
  };
  while (bytes() < 3 && std::chrono::steady_clock::now() < end)
    CheckSynchronize(10);
  port.Close();
  lum::UnbindSerialPort(kPort);
  std::vector<uint8_t> got;
  uint32_t tick = 0;
  for (const Event& e : recorder.events) {
    EXPECT_EQ(e.thread, std::this_thread::get_id());
    if (e.isByte) got.push_back(e.value), tick = e.tick;
  }
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3}));
  // All three belong to one burst, unless the pty split them across a cycle.
  EXPECT_LE(tick, 1000u);
}

}  // namespace
