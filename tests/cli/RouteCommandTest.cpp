// calibrate-cli route over a virtual bus of three meters, one of which falls
// silent in the middle of the route and one of which answers slowly: the
// rows and files say what the meters hold, and a route killed after its first
// meter is finished by --resume without a meter visited twice.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "app/core/values/MeterSnapshotJson.h"
#include "app/core/values/ValueText.h"
#include "app/journal/JournalWriter.h"
#include "app/journal/ServiceJournal.h"
#include "sim/MeterBus.h"
#include "sim/PtyMeterServer.h"
#include "support/SnapshotOracle.h"

extern char** environ;

namespace {

using metersim::MeterModel;

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// route.csv by address: each row's cells (no cell of these meters is quoted).
std::map<std::string, std::vector<std::string>> CsvRows(const std::string& path) {
  std::map<std::string, std::vector<std::string>> rows;
  std::istringstream in(FileText(path));
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream l(line + ",");
    while (std::getline(l, cell, ','))
      cells.push_back(cell);
    EXPECT_EQ(rows.count(cells[0]), 0u) << "a meter twice: " << line;
    rows[cells[0]] = cells;
  }
  return rows;
}

// calibrate-cli started with its output in files of the test's folder.
pid_t StartCli(const std::vector<std::string>& args, const std::string& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (log + ".out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (log + ".err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> copy = args;
  std::string program = CLI_PROGRAM;
  std::vector<char*> argv{program.data()};
  for (auto& a : copy)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Finish(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RouteOverTheBus : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/calibrate-routeXXXXXX";
    dir = mkdtemp(tmpl);
    // The slow meter's replies come late, yet within the scan's wait.
    std::ofstream(dir + "/Calibrate.ini") << "[Scan]\nPacketTimeout=200\n";
    meters = metersim::MakeBusMeters(*metersim::ParseBus("zfk31@1,gdz1208@5,zfk36@17"));
    // The GDZ-12.08 falls silent for good after answering the scan and a
    // part of its snapshot; the ZFK-36 answers every request 80 ms late.
    silence.skip = 12;
    metersim::Fault late = metersim::MakeFault(metersim::FaultKind::Delay);
    late.ms = 80;
    meters[2]->AddFault(late);
    server = std::make_unique<metersim::PtyMeterServer>(metersim::MeterBus(meters));
    ASSERT_TRUE(server->Start()) << server->ErrorText();
  }
  void TearDown() override {
    server->Stop();
    for (const auto& m : meters)
      EXPECT_EQ(m->WriteCount(), 0u);
    std::filesystem::remove_all(dir);
  }
  std::vector<std::string> Args(const std::string& out, bool journal) {
    std::vector<std::string> args{"route",
                                  "--port",
                                  server->DevicePath(),
                                  "--baud",
                                  "9600",
                                  "--from",
                                  "0",
                                  "--to",
                                  "20",
                                  "--out",
                                  out,
                                  "--ini",
                                  dir + "/Calibrate.ini"};
    for (const std::string& a : journal ? std::vector<std::string>{"--journal", dir + "/journal"}
                                        : std::vector<std::string>{"--no-journal"})
      args.push_back(a);
    return args;
  }
  // Every coefficient cell of a row is the meter's own value, or "ошибка"
  // where the meter was not heard; failed counts the latter.
  void ExpectCoefficients(const std::vector<std::string>& row, const metersim::VirtualMeter& m,
                          size_t channels, size_t& failed) {
    for (size_t ch = 0; ch < channels; ++ch)
      for (uint32_t i = 0; i < 2; ++i) {
        const std::string& cell = row[8 + 2 * ch + i];
        const float held = oracle::Value(m, oracle::CoefPlace(m.Model(), ch, false, i));
        if (cell == "ошибка")
          ++failed;
        else
          EXPECT_EQ(cell, FloatText(held)) << "address " << row[0];
      }
  }
  metersim::Fault silence = metersim::MakeFault(metersim::FaultKind::Silence);
  std::string dir;
  std::vector<std::shared_ptr<metersim::VirtualMeter>> meters;
  std::unique_ptr<metersim::PtyMeterServer> server;
};

TEST_F(RouteOverTheBus, RowsAndFilesSayWhatTheMetersHold) {
  for (const bool journal : {true, false}) {
    SCOPED_TRACE(journal ? "journal" : "no journal");
    meters[1]->ClearFaults();
    meters[1]->AddFault(silence);
    const std::string out = dir + (journal ? "/with" : "/without");
    const int status = Finish(StartCli(Args(out, journal), out));
    EXPECT_EQ(status, 1) << FileText(out + ".err");  // one meter fell silent
    auto rows = CsvRows(out + "/route.csv");
    ASSERT_EQ(rows.size(), 3u) << FileText(out + "/route.csv");
    const std::pair<const char*, size_t> expected[] = {{"1", 2}, {"5", 1}, {"17", 2}};
    for (size_t n = 0; n < 3; ++n) {
      const auto& row = rows[expected[n].first];
      const metersim::VirtualMeter& m = *meters[n];
      size_t failed = 0;
      ExpectCoefficients(row, m, expected[n].second, failed);
      failed += static_cast<size_t>(std::count(row.begin(), row.end(), "ошибка"));
      const bool silent = n == 1;
      EXPECT_EQ(row[13], silent ? "прочитано не всё" : "прочитано") << row[0];
      EXPECT_EQ(failed > 0, silent) << row[0];
      EXPECT_EQ(row[12], journal ? "первый визит" : "журнал не ведётся");
      const std::string file = out + "/" + row[14];
      ASSERT_TRUE(std::filesystem::exists(file)) << file;
      if (journal) {
        EXPECT_EQ(row[14], row[4] + ".html");
        EXPECT_NE(FileText(file).find(row[4]), std::string::npos);
      } else if (!silent) {
        std::string error;
        const auto snapshot = SnapshotFromJson(Json::parse(FileText(file)), error);
        ASSERT_TRUE(snapshot) << error;
        for (size_t ch = 0; ch < expected[n].second; ++ch)
          for (uint32_t i = 0; i < 10; ++i)
            for (const bool obr : {false, true}) {
              const auto& c = (obr ? snapshot->channels[ch].obr : snapshot->channels[ch].k)[i];
              EXPECT_EQ(c.stored, oracle::Value(m, oracle::CoefPlace(m.Model(), ch, obr, i)));
            }
        EXPECT_EQ(row[4], snapshot->serial);
      }
    }
  }
}

// Killed once the first meter is done; --resume neither scans again nor asks
// the done meter anything, and finishes the other two.
TEST_F(RouteOverTheBus, ResumeAfterAKillFinishesTheRestOnce) {
  meters[1]->ClearFaults();
  const std::string out = dir + "/route";
  const pid_t pid = StartCli(Args(out, false), out);
  ASSERT_GT(pid, 0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (CsvRows(out + "/route.csv").size() < 1 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(pid, SIGKILL);
  Finish(pid);
  const auto before = CsvRows(out + "/route.csv");
  ASSERT_EQ(before.size(), 1u) << "the kill came too late to leave work for --resume";
  // What each meter was asked in its own protocol at its own address.
  const auto asked = [](const metersim::VirtualMeter& m) {
    size_t n = 0;
    for (const auto& r : m.Requests())
      n += r.forMe;
    return n;
  };
  std::vector<size_t> heard;
  for (const auto& m : meters)
    heard.push_back(asked(*m));
  std::vector<std::string> args = Args(out, false);
  args.push_back("--resume");
  EXPECT_EQ(Finish(StartCli(args, out)), 0) << FileText(out + ".err");
  const auto after = CsvRows(out + "/route.csv");
  EXPECT_EQ(after.size(), 3u);
  EXPECT_EQ(after.at("1"), before.at("1"));
  // The ZFK-31 at 1 was done: not one request more; the others were asked.
  EXPECT_EQ(asked(*meters[0]), heard[0]);
  EXPECT_GT(asked(*meters[1]), heard[1]);
  EXPECT_GT(asked(*meters[2]), heard[2]);
  for (const char* a : {"5", "17"})
    EXPECT_EQ(after.at(a)[13], "прочитано") << a;
}

// A route tells each meter's change since its previous visit: here one of
// the window on an earlier run, filed from a route's snapshot files; between
// the two, K0 of the ZFK-31's channel 1 was changed behind the route's back.
// (The command line's events of one day are one visit, so the earlier visit
// cannot be another route of today.)
TEST_F(RouteOverTheBus, ARouteSaysWhatChangedSinceThePreviousVisit) {
  meters[1]->ClearFaults();
  const std::string first = dir + "/first";
  ASSERT_EQ(Finish(StartCli(Args(first, false), first)), 0) << FileText(first + ".err");
  for (const auto& [address, row] : CsvRows(first + "/route.csv")) {
    std::string error;
    const auto snapshot = SnapshotFromJson(Json::parse(FileText(first + "/" + row[14])), error);
    ASSERT_TRUE(snapshot) << error;
    JournalSettings window;
    window.engineer = "Иванов";
    window.workstation = "window";
    ASSERT_TRUE(JournalWriter(dir + "/journal")
                    .Append(SnapshotJournalEvent(*snapshot, window, "calibrate 1.1", false))
                    .ok)
        << address;
  }
  const oracle::Place k0 = oracle::CoefPlace(MeterModel::Zfk31, 0, false, 0);
  const uint32_t bits = std::bit_cast<uint32_t>(oracle::Value(*meters[0], k0) + 1.0f);
  const uint8_t bigEndian[] = {uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8),
                               uint8_t(bits)};
  meters[0]->Write(k0.area, k0.at, bigEndian);
  const std::string again = dir + "/again";
  ASSERT_EQ(Finish(StartCli(Args(again, true), again)), 0) << FileText(again + ".err");
  const auto rows = CsvRows(again + "/route.csv");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows.at("1")[12], "изменилось: K0 к.1");
  EXPECT_EQ(rows.at("5")[12], "без изменений");
  EXPECT_EQ(rows.at("17")[12], "без изменений");
}

}  // namespace
