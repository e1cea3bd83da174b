// Virtual meters on real pseudo-terminals, reached through the termios layer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "SimTestUtil.h"
#include "comm/serial/SerialDevice.h"
#include "sim/PtyMeterServer.h"

namespace {

using metersim::MeterModel;
using metersim::ParseFault;
using metersim::PtyMeterServer;
using namespace simtest;

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> ReadUpTo(SerialDevice& line, size_t count, int timeoutMs) {
  std::vector<uint8_t> got;
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < count && Clock::now() < end) {
    uint8_t b;
    if (line.ReadByte(b))
      got.push_back(b);
    else
      line.WaitForInput(5);
  }
  return got;
}

std::string TempPath(const char* name) {
  return ::testing::TempDir() + name + std::to_string(getpid());
}

TEST(PtyServer, AnswersARequestOverTheLine) {
  auto meter = std::make_shared<metersim::VirtualMeter>(MeterModel::Zfk36, 1);
  PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start()) << server.ErrorText();
  auto line = lum::OpenPlatformSerial(server.DevicePath(), 9600);
  ASSERT_TRUE(line);
  const auto t0 = Clock::now();
  ASSERT_TRUE(line->Write(Hex("55 01 FE 0F 01 03 01 34 04 5F")));
  EXPECT_EQ(HexText(ReadUpTo(*line, 11, 1000)), "AA 01 FE 0F 01 04 42 20 00 00 E0");
  // 10 request bytes, 5 ms turnaround and 11 reply bytes at 9600 baud: 27 ms at least.
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(26));
  ASSERT_EQ(meter->Requests().size(), 1u);
  EXPECT_EQ(meter->Requests()[0].start, 308u);
}

TEST(PtyServer, KeepsTheLineUpBetweenClientsAndStopsCleanly) {
  auto meter = Meter(MeterModel::Gdz1208);
  PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start());
  const std::string path = server.DevicePath();
  for (int round = 0; round < 2; ++round) {
    auto line = lum::OpenPlatformSerial(path, 19200);
    ASSERT_TRUE(line) << round;
    ASSERT_TRUE(line->Write(Hex("01 11 C0 2C")));
    EXPECT_EQ(HexText(ReadUpTo(*line, 9, 1000)), "01 11 04 03 42 52 43 25 80") << round;
  }
  server.Stop();
  server.Stop();
  EXPECT_FALSE(server.Running());
  EXPECT_FALSE(lum::OpenPlatformSerial(path, 9600));  // the pseudo-terminal is gone
}

TEST(PtyServer, HangUpFaultClosesTheLineAndANewOneTakesItsPlace) {
  auto meter = Meter(MeterModel::Zfk31);
  meter->AddFault(*ParseFault("hangup:n=3,times=1"));
  PtyMeterServer server(meter);
  const std::string link = TempPath("meter-link");
  ASSERT_TRUE(server.Start(link)) << server.ErrorText();
  const std::string first = server.DevicePath();
  auto line = lum::OpenPlatformSerial(link, 9600);
  ASSERT_TRUE(line);
  ASSERT_TRUE(line->Write(Hex("55 01 FE 00 00 00 AB")));
  EXPECT_EQ(HexText(ReadUpTo(*line, 3, 300)), "AA 01 FE");
  EXPECT_TRUE(ReadUpTo(*line, 1, 50).empty());
  const auto end = Clock::now() + std::chrono::milliseconds(500);
  while (server.HangUps() == 0 && Clock::now() < end)
    usleep(1000);
  EXPECT_EQ(server.HangUps(), 1);
  EXPECT_NE(server.DevicePath(), first);
  // The old line is dead; through the link the new one answers.
  uint8_t b;
  EXPECT_FALSE(line->ReadByte(b));
  line.reset();
  auto again = lum::OpenPlatformSerial(link, 9600);
  ASSERT_TRUE(again);
  ASSERT_TRUE(again->Write(Hex("55 01 FE 00 00 00 AB")));
  EXPECT_EQ(ReadUpTo(*again, 13, 1000).size(), 13u);
  server.Stop();
  struct stat st {};
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "link removed on stop";
}

TEST(PtyServer, RefusesToReplaceAFileThatIsNotALink) {
  const std::string path = TempPath("not-a-link");
  { std::ofstream(path) << "keep me"; }
  PtyMeterServer server(Meter(MeterModel::Zfk31));
  EXPECT_FALSE(server.Start(path));
  EXPECT_NE(server.ErrorText().find("not a symbolic link"), std::string::npos);
  EXPECT_FALSE(server.Running());
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");
  unlink(path.c_str());
}

TEST(PtyServer, GarbageStreamStopsWhenTheMasterSpeaks) {
  auto meter = Meter(MeterModel::Zfk31);
  meter->AddFault(*ParseFault("garbage:times=1"));
  PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start());
  auto line = lum::OpenPlatformSerial(server.DevicePath(), 9600);
  ASSERT_TRUE(line);
  ASSERT_TRUE(line->Write(Hex("55 01 FE 00 00 00 AB")));
  // 100 ms of a 9600 baud line is about 96 bytes.
  const auto junk = ReadUpTo(*line, 1000, 100);
  EXPECT_GT(junk.size(), 30u);
  EXPECT_LT(junk.size(), 130u);
  line->Purge();
  ASSERT_TRUE(line->Write(Hex("55 01 FE 00 00 00 AB")));
  // A few garbage bytes may still have been on their way when we purged;
  // then the answer comes, and nothing after it.
  const auto expected = Hex("AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4");
  std::vector<uint8_t> got;
  const auto end = Clock::now() + std::chrono::milliseconds(500);
  while (Clock::now() < end &&
         !(got.size() >= 13 && std::equal(expected.begin(), expected.end(), got.end() - 13))) {
    const auto more = ReadUpTo(*line, 1, 20);
    got.insert(got.end(), more.begin(), more.end());
  }
  ASSERT_GE(got.size(), 13u);
  EXPECT_LE(got.size(), 13u + 4u);
  const std::vector<uint8_t> reply(got.end() - 13, got.end());
  EXPECT_TRUE(ReadUpTo(*line, 1, 50).empty());
  EXPECT_EQ(HexText(reply), "AA 01 FE 00 00 06 5A 46 4B 2D 33 31 D4");
}

}  // namespace
