// The Win32 serial layer against a real serial device: a ZFK-31 virtual meter
// at address 0 behind the COM port named by CALIBRATE_TEST_COM (the number).
// Under wine that port is a pseudo-terminal of the host; scripts/wine-tests
// sets it up. The checks are the ones the engines rely on: reads return at
// once, a wait ends when the first byte arrives, a purge empties the queue.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "comm/LuMComPort.h"
#include "comm/LumSynchronizer.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

// The identification request of the 3x protocol to address 0, and the
// ZFK-31's reply to it ("ZFK-31").
const Bytes kIdRequest = {0x55, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xAB};
const Bytes kIdReply = {0xAA, 0x00, 0xFF, 0x00, 0x00, 0x06, 'Z', 'F', 'K', '-', '3', '1', 0xD4};

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class SerialWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* com = std::getenv("CALIBRATE_TEST_COM");
    ASSERT_NE(com, nullptr) << "CALIBRATE_TEST_COM names the COM port of the virtual meter";
    number = static_cast<uint8_t>(std::atoi(com));
    ASSERT_GT(number, 0);
    port.SetComPort(number);
  }
  void TearDown() override { port.Close(); }

  // Collects count bytes the way the engines do: read, and wait when the
  // queue is empty. Gives up after timeoutMs.
  Bytes Collect(size_t count, long timeoutMs = 1000) {
    Bytes got;
    const auto start = Clock::now();
    while (got.size() < count && ElapsedMs(start) < timeoutMs) {
      uint8_t b = 0;
      if (port.ReadByte(b))
        got.push_back(b);
      else
        port.WaitForInput(50);
    }
    return got;
  }

  uint8_t number = 0;
  TlumComPort port;
};

TEST_F(SerialWin32, NamesAndAbsentPorts) {
  EXPECT_EQ(port.DeviceName(), "\\\\.\\COM" + std::to_string(number));
  TlumComPort absent;
  for (uint8_t n : {uint8_t{0}, uint8_t{99}}) {
    absent.SetComPort(n);
    EXPECT_FALSE(absent.Open()) << "COM" << int{n};
    EXPECT_FALSE(absent.Active());
    uint8_t b = 0;
    EXPECT_FALSE(absent.ReadByte(b));
    EXPECT_FALSE(absent.WriteByte(0x55));
  }
  // The system's reason stays: there is no such port.
  EXPECT_EQ(absent.OpenError().kind, PortOpenFailure::NotFound);
  EXPECT_FALSE(absent.OpenError().systemText.empty());
  EXPECT_EQ(absent.OpenError().group, "");
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(port.OpenError().kind, PortOpenFailure::None);
}

// The line is handed back as it was found: flow control and another speed
// set by someone else are back after Close.
TEST_F(SerialWin32, CloseRestoresTheLineAsFound) {
  auto withLine = [&](auto use) {
    HANDLE h = CreateFileA(port.DeviceName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(h, &dcb));
    use(h, dcb);
    CloseHandle(h);
  };
  withLine([](HANDLE h, DCB& dcb) {
    dcb.BaudRate = 4800;
    dcb.fOutX = dcb.fInX = dcb.fOutxCtsFlow = TRUE;
    ASSERT_TRUE(SetCommState(h, &dcb));
  });
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(port.WriteBuffer(kIdRequest));
  EXPECT_EQ(Collect(kIdReply.size()), kIdReply);
  port.Close();
  withLine([](HANDLE, DCB& dcb) {
    EXPECT_EQ(dcb.BaudRate, 4800u);
    EXPECT_TRUE(dcb.fOutX && dcb.fInX && dcb.fOutxCtsFlow);
  });
}

TEST_F(SerialWin32, ReadsOnASilentLineReturnAtOnce) {
  ASSERT_TRUE(port.Open());
  port.Purge();
  const auto start = Clock::now();
  uint8_t b = 0;
  for (int i = 0; i < 50; ++i)
    EXPECT_FALSE(port.ReadByte(b));
  EXPECT_LT(ElapsedMs(start), 250) << "50 reads of an empty queue";
}

TEST_F(SerialWin32, WaitForInputRunsItsTimeOnSilence) {
  ASSERT_TRUE(port.Open());
  const auto start = Clock::now();
  EXPECT_FALSE(port.WaitForInput(120));
  const long waited = ElapsedMs(start);
  EXPECT_GE(waited, 110);
  EXPECT_LT(waited, 600);
}

TEST_F(SerialWin32, ByteWritesGetTheReplyAndTheWaitEndsEarly) {
  for (uint32_t baud : {9600u, 19200u}) {
    port.SetBaudRate(baud);
    ASSERT_TRUE(port.Open()) << baud;
    for (uint8_t b : kIdRequest)
      ASSERT_TRUE(port.WriteByte(b));
    const auto start = Clock::now();
    EXPECT_TRUE(port.WaitForInput(2000));
    EXPECT_LT(ElapsedMs(start), 1000) << "the wait must end with the first byte";
    EXPECT_EQ(Collect(kIdReply.size()), kIdReply) << baud;
    uint8_t extra = 0;
    EXPECT_FALSE(port.ReadByte(extra));
    port.Close();
    EXPECT_FALSE(port.Active());
  }
}

TEST_F(SerialWin32, BufferWriteAndPurgeOfAQueuedReply) {
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(port.WriteBuffer(kIdRequest));
  EXPECT_EQ(Collect(kIdReply.size()), kIdReply);

  // A whole reply waiting in the input queue is gone after a purge.
  ASSERT_TRUE(port.WriteBuffer(kIdRequest));
  ASSERT_TRUE(port.WaitForInput(2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the reply takes about 14 ms
  port.Purge();
  uint8_t b = 0;
  EXPECT_FALSE(port.ReadByte(b));
  EXPECT_FALSE(port.WaitForInput(50));
}

TEST_F(SerialWin32, ReceiveThreadDeliversTheReplyOnTheMainThread) {
  port.SetReceiveInThread(true);
  port.SetThreadInterval(10);
  Bytes got;
  int timeouts = 0;
  port.SetOnReceiveByte([&](TlumCustomComPort*, uint8_t b, uint32_t) { got.push_back(b); });
  port.SetOnReceiveTimeout([&](TlumCustomComPort*, uint32_t) { ++timeouts; });
  ASSERT_TRUE(port.Open());
  uint8_t b = 0;
  EXPECT_FALSE(port.ReadByte(b)) << "the thread is the only reader";
  ASSERT_TRUE(port.WriteBuffer(kIdRequest));
  const auto start = Clock::now();
  // The reply, then the silence after it that closes the burst.
  while ((got.size() < kIdReply.size() || timeouts == 0) && ElapsedMs(start) < 2000)
    CheckSynchronize(10);
  port.Close();
  EXPECT_EQ(got, kIdReply);
  EXPECT_GE(timeouts, 1);
}

}  // namespace
