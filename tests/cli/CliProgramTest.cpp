// calibrate-cli as a program: its output, its standard error and its exit
// status, on virtual meters of the demo mode, on ports that cannot be opened,
// and on bad arguments.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/base/Version.h"

#include <nlohmann/json.hpp>

#include "app/core/settings/InspectorMode.h"
#include "app/core/values/MeterSnapshotJson.h"
#include "app/journal/JournalReader.h"
#include "app/journal/JournalWriter.h"
#include "cli/commands/CommandTable.h"
#include "cli/commands/MeterCommand.h"
#include "sim/DemoMode.h"
#include "sim/PtyMeterServer.h"
#include "support/PtyPair.h"
#include "support/SnapshotOracle.h"

extern char** environ;

namespace {

using Args = std::vector<std::string>;

// Every test's demos start afresh: a command-line demo keeps its meter's
// memory in the user's data folder, here one of the test's own.
struct FreshDemoMemory : ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    dir = std::filesystem::temp_directory_path() / ("cli-data-" + std::to_string(getpid()));
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
  }
  void OnTestEnd(const ::testing::TestInfo&) override { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
};
const bool kFreshDemoMemory =
    (::testing::UnitTest::GetInstance()->listeners().Append(new FreshDemoMemory), true);

// A running calibrate-cli with its standard output and error on pipes.
class Child {
 public:
  explicit Child(const Args& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    for (int fd : {out[0], out[1], err[0], err[1]})
      posix_spawn_file_actions_addclose(&actions, fd);
    std::string program = CLI_PROGRAM;
    std::vector<std::string> copy = args;
    std::vector<char*> argv{program.data()};
    for (auto& a : copy)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return pid_ > 0; }

  // Reads both pipes until `until` returns true or timeoutMs passes.
  template <class Until>
  void Pump(int timeoutMs, Until until) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!until() && std::chrono::steady_clock::now() < end) {
      pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
      if (poll(fds, 2, 20) <= 0) continue;
      char buf[4096];
      bool eof = true;
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP))) {
          eof = false;
          continue;
        }
        const ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n > 0) {
          (i == 0 ? out : err).append(buf, static_cast<size_t>(n));
          eof = false;
        }
      }
      if (eof) break;
    }
  }

  // Collects everything until the program ends; its exit status, or -1.
  int Wait(int timeoutMs = 5000) {
    Pump(timeoutMs, [] { return false; });
    return Reap();
  }
  // Ends it with the signal; its exit status, or -1.
  int Stop(int signal) {
    kill(pid_, signal);
    Pump(2000, [] { return false; });
    return Reap();
  }

  std::string out, err;

 private:
  int Reap() {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, 0);
    pid_ = -1;
    return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
};

struct CliRun {
  int status;
  std::string out, err;
};

CliRun RunCli(const Args& args) {
  Child child(args);
  EXPECT_TRUE(child.Started());
  const int status = child.Wait();
  return {status, child.out, child.err};
}

class CliFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/calibrate-cliXXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Ini(const std::string& text) {
    const std::string path = dir + "/Calibrate.ini";
    std::ofstream(path) << text;
    return path;
  }
  std::string dir;
};

struct DemoCase {
  const char* model;
  const char* identification;
  const char* caption;
  bool secondChannel;
  bool record;
};

TEST_F(CliFiles, DemoReadsAsJson) {
  // Row 1 short: the ModBus meter does not answer the 3x identification.
  const std::string ini = Ini("[Device1]\nNB=50\nNP=100\nNR=1\n");
  const DemoCase cases[] = {
      {"zfk31", "ZFK-31", "ЗФК-31", true, true},
      {"gdz1207s", "GDZ25", "ГДЗ-12.05", false, false},
      {"gdz1208-2", "TGDZ2", "ГДЗ-12.07", true, true},
  };
  const char* const keys[] = {
      "result", "identification", "device_caption",   "serial",         "G1 K0",   "G1 Ku",
      "G2 K0",  "G2 Ku",          "firmware_version", "firmware_crc32", "licence", "calibrated"};
  for (const DemoCase& c : cases) {
    SCOPED_TRACE(c.model);
    const CliRun run = RunCli(
        {"read", "--demo", c.model, "--json", "--baud", "19200", "--addr", "3", "--ini", ini});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto json = nlohmann::json::parse(run.out);
    for (const char* key : keys)
      EXPECT_EQ(json.count(key), 1u) << key;
    EXPECT_EQ(json.at("result"), "ok");
    EXPECT_EQ(json.at("identification"), c.identification);
    EXPECT_EQ(json.at("device_caption"), c.caption);
    EXPECT_EQ(json.at("firmware_version"), "v1.00");  // the shipped placeholders
    EXPECT_EQ(json.at("firmware_crc32"), "00000000");
    EXPECT_EQ(json.at("firmware_reference"), "placeholder");
    EXPECT_TRUE(json.at("G1 K0").is_number());
    EXPECT_TRUE(json.at("G1 Ku").is_number());
    EXPECT_EQ(json.at("G2 K0").is_number(), c.secondChannel);
    EXPECT_EQ(json.at("G2 Ku").is_null(), !c.secondChannel);
    EXPECT_EQ(json.at("licence"), c.record ? "1234, v.1.05" : "Нет данных или не поддерживается");
  }
}

MeterSnapshot ParsedSnapshot(const std::string& out) {
  std::string error;
  const auto s = SnapshotFromJson(Json::parse(out), error);
  EXPECT_TRUE(s) << error;
  return s.value_or(MeterSnapshot{});
}

// Every demo model: the demo's meter starts with a model's default memory,
// which a meter made here holds as well.
TEST_F(CliFiles, SnapshotOfEveryDemoModelIsItsMemory) {
  const std::string ini = Ini("[Device1]\nNB=50\nNP=100\nNR=1\n");
  for (const char* model : {"zfk31", "zfk36", "gdz1207s", "gdz1207s-2", "gdz1208", "gdz1208-2"}) {
    SCOPED_TRACE(model);
    const CliRun run = RunCli({"snapshot", "--demo", model, "--json", "--addr", "3", "--ini", ini});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Json::parse(run.out).at("schema"), 1);
    oracle::ExpectSnapshotOf(ParsedSnapshot(run.out),
                             metersim::VirtualMeter(*metersim::ParseMeterModel(model), 3));
  }
}

TEST_F(CliFiles, SnapshotOverAPseudoTerminalWritesNothing) {
  metersim::MeterOptions options;
  options.baud = 19200;
  auto meter =
      std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Gdz1207s2, 5, options);
  metersim::PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start()) << server.ErrorText();
  const CliRun run = RunCli({"snapshot", "--port", server.DevicePath(), "--addr", "5", "--baud",
                             "19200", "--json", "--ini", Ini("")});
  EXPECT_EQ(run.status, 0) << run.err;
  oracle::ExpectSnapshotOf(ParsedSnapshot(run.out), *meter);
  EXPECT_GT(meter->Requests().size(), 10u);
  EXPECT_EQ(meter->WriteCount(), 0u);
}

// watch over a pseudo-terminal: every channel sampled around its set flow,
// and not one request that would change the meter.
TEST_F(CliFiles, WatchSamplesThePresentFlowOfEveryChannelAndWritesNothing) {
  struct Case {
    metersim::MeterModel model;
    std::vector<float> flows;  // one per channel the meter has
  };
  const Case cases[] = {{metersim::MeterModel::Zfk31, {12.5f, 7.0f}},
                        {metersim::MeterModel::Gdz1207s2, {20.0f, 4.0f}},
                        {metersim::MeterModel::Gdz1208, {6.5f}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(metersim::MeterModelName(c.model));
    auto meter = std::make_shared<metersim::VirtualMeter>(c.model, 5);
    for (size_t ch = 0; ch < c.flows.size(); ++ch)
      meter->SetFlow(static_cast<int>(ch + 1), c.flows[ch]);
    metersim::PtyMeterServer server(meter);
    ASSERT_TRUE(server.Start()) << server.ErrorText();
    const CliRun run =
        RunCli({"watch", "--port", server.DevicePath(), "--addr", "5", "--baud", "9600",
                "--interval", "100", "--count", "3", "--csv", "--ini", Ini("")});
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "\xEF\xBB\xBFtime_ms,local_time,G1,G2");  // a spreadsheet takes UTF-8
    int rows = 0;
    for (float g1 = 0, g2 = 0; std::getline(lines, line); ++rows) {
      // time_ms,local_time,G1,G2: G2 empty on a one-channel meter.
      const size_t third = line.find(',', line.find(',') + 1);
      ASSERT_EQ(std::sscanf(line.c_str() + third, ",%f,%f", &g1, &g2), int(c.flows.size())) << line;
      EXPECT_NEAR(g1, c.flows[0], c.flows[0] * 0.011f) << line;  // the meter's noise: 1 %
      if (c.flows.size() > 1) EXPECT_NEAR(g2, c.flows[1], c.flows[1] * 0.011f) << line;
    }
    EXPECT_EQ(rows, 3) << run.out;
    EXPECT_EQ(meter->WriteCount(), 0u);
  }
}

// Ctrl+C ends watch with its lines whole and status 0.
TEST_F(CliFiles, WatchRunsUntilInterrupted) {
  const std::string ini = Ini("");
  Child child({"watch", "--demo", "zfk36", "--interval", "100", "--ini", ini});
  ASSERT_TRUE(child.Started());
  child.Pump(5000, [&] { return std::count(child.out.begin(), child.out.end(), '\n') >= 2; });
  EXPECT_EQ(child.Stop(SIGINT), 0) << child.err;
  EXPECT_NE(child.err.find("ZFK-36, каналов: 2; остановка: Ctrl+C."), std::string::npos)
      << child.err;
  EXPECT_EQ(child.out.back(), '\n');
  EXPECT_NE(child.out.find(" s  G1 = 12.5  G2 = 7.75\n"), std::string::npos) << child.out;
  EXPECT_EQ(RunCli({"watch", "--port", dir + "/no-such-tty", "--ini", ini}).status, 3);
}

TEST_F(CliFiles, SnapshotAsTextAndItsStatuses) {
  CliRun run = RunCli({"snapshot", "--demo", "zfk36", "--ini", Ini("")});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* line :
       {"Номер прибора: 360517\n", "Версия ПО: v1.00\n", "Версия ПО прибора: ZFK-36 v2.04\n",
        "Сверка версии ПО: эталон не задан (заглушка в firmware.ini)\n", "Лицензия: 1234, v.1.05\n",
        "Канал G2:\n", "  SFR: 987.25\n", "  0 (K0): 0.0025 [3B23D70A]  0.0025 [3B23D70A]\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;

  const std::string missing = dir + "/no-such-tty";
  run = RunCli({"snapshot", "--port", missing, "--json"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "Ошибка: Не удалось открыть порт " + missing + "\n");
  EXPECT_EQ(Json::parse(run.out).at("result"), "port_error");
}

TEST(CliProgram, DemoReadsAsText) {
  const CliRun run = RunCli({"read", "--demo", "zfk36"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Идентификация: ZFK-36\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Номер прибора: 360517\n"), std::string::npos);
  EXPECT_NE(run.out.find("G1 K0:  0.10000\n"), std::string::npos);
  EXPECT_NE(run.out.find("G2 K0: -0.09450\n"), std::string::npos);
  EXPECT_NE(run.out.find("Время, дата: 16.07.22 10:30:00\n"), std::string::npos);
}

TEST_F(CliFiles, APortThatCannotBeOpenedIsStatusThree) {
  const std::string missing = dir + "/no-such-tty";
  CliRun run = RunCli({"read", "--port", missing, "--json"});
  EXPECT_EQ(run.status, 3);
  // The message on its line, then our words, the system's reason and what to do.
  const std::string absent = "Порта " + missing + " нет в системе.\nСистема: ";
  EXPECT_EQ(run.err.rfind("Ошибка: Не удалось открыть порт " + missing + "\n" + absent, 0), 0u)
      << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out).at("result"), "port_error");

  // The saved port, mapped to a device that is not there.
  const std::string ini = Ini("[Sealmark]\nPort=30\nBaud=1\n[Ports]\nCOM30=" + missing + "\n");
  run = RunCli({"read", "--ini", ini});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("Ошибка: Не удалось открыть порт COM30\n" + absent, 0), 0u) << run.err;

  // A saved port outside the window's list: no port, no name.
  run = RunCli({"read", "--ini", Ini("[Sealmark]\nPort=0\n")});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err.rfind("Ошибка: Не удалось открыть порт \n", 0), 0u) << run.err;
}

TEST_F(CliFiles, ReadingNeverWritesTheSettingsFile) {
  const std::string text = "[Sealmark]\nPort=30\n[Ports]\nCOM30=" + dir + "/none\n";
  const std::string ini = Ini(text);
  RunCli({"read", "--ini", ini, "--baud", "9600"});
  std::ifstream in(ini);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), text);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(CliFiles, ReadUsesTheTimeOutsOfTheSettingsFile) {
  // Every byte sent shows in the trace: the 3x identification goes out as
  // often as row 1 says before the ModBus meter is asked its way.
  const std::string ini = Ini("[Device1]\nNB=50\nNP=100\nNR=2\n");
  const CliRun run = RunCli({"read", "--demo", "gdz1208", "--ini", ini, "--trace"});
  EXPECT_EQ(run.status, 0);
  std::string sent;
  std::istringstream lines(run.err);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(">> ", 0) == 0) sent += line.substr(3);
  size_t frames = 0;
  for (size_t at = sent.find("55 00 FF 00 00 00 AB"); at != std::string::npos;
       at = sent.find("55 00 FF 00 00 00 AB", at + 1))
    ++frames;
  EXPECT_EQ(frames, 2u) << sent;
}

// diagnose probes a line and says what it saw; read --echo reads through a
// line that does not echo as well (the reply is taken for what it is).
TEST_F(CliFiles, DiagnoseAndEcho) {
  const struct {
    Args args;
    int status;
    const char* says;
  } cases[] = {
      {{"diagnose", "--demo", "gdz1208"}, 0, "Прибор ответил (ModBus, 9600 бод, адрес 0)"},
      {{"diagnose", "--demo", "zfk31", "--addr", "5", "--baud", "19200"}, 0, "19200 бод, адрес 5"},
      {{"diagnose", "--port", dir + "/no-such-tty"}, 3, "нет в системе"},
      {{"read", "--demo", "gdz1208", "--echo"}, 0, "Идентификация: "},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[0] << run.err;
    EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
  }
}

TEST(CliProgram, UsageErrorsAreStatusTwoWithOneLine) {
  const Args cases[] = {
      {"read", "--addr", "128"},   {"read", "--baud", "1200"},     {"read", "--port"},
      {"read", "--demo", "zfk99"}, {"snapshot", "--baud", "4800"}, {"erase"},
      {"ports", "--addr", "1"}};
  for (const Args& args : cases) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("calibrate-cli: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

TEST(CliProgram, HelpForEachCommand) {
  for (const char* command : {"read", "snapshot", "ports", "monitor", "diagnose"}) {
    const CliRun run = RunCli({command, "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(std::string("Использование: calibrate-cli ") + command, 0), 0u)
        << run.out;
  }
  const CliRun overview = RunCli({});
  EXPECT_EQ(overview.status, 0);
  EXPECT_NE(overview.out.find("Команды:"), std::string::npos);
}

// Latin words the command line keeps as they are: command names and the
// operands that go with them, virtual meters, protocols. Options, placeholders
// and models in capitals, paths and keys with other characters are no words.
bool KeptName(const std::string& word) {
  static const std::set<std::string> kept = [] {
    std::set<std::string> names{"verify", "last", "modbus"};
    for (const Command* c : CommandTable())
      names.insert(c->Name());
    for (const std::string& m : DemoModelNames())
      names.insert(m);
    return names;
  }();
  return kept.count(word) > 0;
}

// The first run of three Latin words in text, as an English sentence leaves
// it; "" when there is none. Lines "Система: ..." carry the operating
// system's own reason, in the system's language: they are left out.
std::string EnglishIn(const std::string& text) {
  std::istringstream lines(text);
  std::string run;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line.rfind("Система: ", 0) == 0 ? "" : line);
    for (std::string token; in >> token;) {
      const size_t b = token.find_first_not_of("([{\"'«"),
                   e = token.find_last_not_of(")]}\"'».,;:");
      const std::string word = b > e || e == std::string::npos ? "" : token.substr(b, e - b + 1);
      if (token[0] == '-' || KeptName(word)) continue;
      run = std::regex_match(word, std::regex("[A-Za-z]*[a-z][A-Za-z]*")) ? run + word + " " : "";
      if (std::count(run.begin(), run.end(), ' ') == 3) return run;
    }
  }
  return "";
}

// The options of command that must have a value, as its grammar declares
// them; one whose value may be left out (journal verify --database) does not.
std::vector<std::string> ValuedOptions(const Command& command) {
  CLI::App app;
  Declaration declaration(app);
  CliOptions unused;
  command.Declare(declaration, unused);
  std::vector<std::string> names;
  for (const CLI::Option* o : declaration.App().get_options())
    if (!o->get_positional() && o->get_items_expected_min() > 0) names.push_back(o->get_name());
  return names;
}

// Everything the engineer reads of the command line is Russian: the help of
// every command, its refusals of an unknown option and of each option
// without its value, of bad values, and the runs that need no real meter.
TEST_F(CliFiles, TheCommandLineSpeaksRussian) {
  const std::string ini = Ini(""), missing = dir + "/no-such-tty";
  std::vector<std::pair<Args, int>> cases = {
      {{}, 0},
      {{"erase"}, 2},
      {{"journal"}, 2},
      {{"read", "extra"}, 2},
      {{"read", "--json=abc"}, 2},
      {{"read", "--addr", "x"}, 2},
      {{"read", "--demo", "zfk36", "--port", "COM1"}, 2},
      {{"scan", "--protocol", "rtu"}, 2},
      {{"scan", "--from", "9", "--to", "1"}, 2},
      {{"watch", "--interval", "10"}, 2},
      {{"write", "--channel", "1", "--k", "12=1"}, 2},
      {{"write", "--channel", "1"}, 2},
      {{"restore"}, 2},
      {{"compare", "a"}, 2},
      {{"ports"}, 0},
      {{"snapshot", "--demo", "gdz1208", "--ini", ini}, 0},
      {{"reset", "--demo", "zfk31", "--ini", ini, "--save-dir", dir}, 0},
      {{"reset", "--demo", "zfk31", "--ini", ini, "--expect-serial", "1", "--yes"}, 5},
      {{"reset", "--demo", "zfk31", "--reason", "--yes"}, 2},
      {{"reset", "--demo", "zfk31", "--ini", ini, "--journal", dir, "--expect-serial", "310245",
        "--yes"},
       5},
      {{"watch", "--demo", "zfk36", "--interval", "100", "--count", "1", "--ini", ini}, 0},
      {{"scan", "--demo", "bus", "--to", "1", "--protocol", "3x", "--ini", ini}, 0},
      {{"diagnose", "--port", missing, "--ini", ini}, 3},
      {{"journal", "verify", "--journal", dir}, 0},
  };
  for (const Command* command : CommandTable()) {
    // "journal --help" as well as "journal verify -h".
    const std::string usage = command->UsageName();
    Args name{command->Name()};
    if (usage != command->Name()) name.push_back(usage.substr(usage.find(' ') + 1));
    cases.push_back({{command->Name(), "--help"}, 0});
    for (const std::string& option : ValuedOptions(*command))
      cases.push_back({name, 2}), cases.back().first.push_back(option);
    for (const auto& [last, status] : {std::pair{"-h", 0}, std::pair{"--no-such-option", 2}})
      cases.push_back({name, status}), cases.back().first.push_back(last);
  }
  for (const auto& [args, status] : cases) {
    const CliRun run = RunCli(args);
    const std::string said =
        args.empty() ? "" : args[0] + " " + args.back() + "\n" + run.out + run.err;
    EXPECT_EQ(run.status, status) << said;
    EXPECT_EQ(EnglishIn(run.out + "\n" + run.err), "") << said;
  }
}

// The build folder is writable, so the program keeps its settings beside
// itself; --help and ports both name that file, --version the CMake version.
TEST(CliProgram, VersionAndTheSettingsFileInUse) {
  const CliRun version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("calibrate-cli ") + kCalibrateVersion + "\n");
  const std::string beside =
      (std::filesystem::path(CLI_PROGRAM).parent_path() / "Calibrate.ini").string();
  for (const Args& args : {Args{"--help"}, Args{"ports"}}) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Файл настроек: " + beside + "\n"), std::string::npos) << run.out;
  }
}

TEST(CliProgram, PortsListsDevicesAndTheMap) {
  const CliRun run = RunCli({"ports"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Последовательные порты:\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Карта портов ("), std::string::npos);
}

TEST(CliProgram, MonitorPrintsEachBurstUntilInterrupted) {
  PtyPair line;
  Child child({"monitor", "--port", line.SlavePath(), "--baud", "9600"});
  ASSERT_TRUE(child.Started());
  child.Pump(3000, [&] { return child.err.find("Ctrl+C.\n") != std::string::npos; });
  ASSERT_NE(child.err.find("Прослушивание " + line.SlavePath()), std::string::npos) << child.err;
  line.Send({0x55, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xAB});
  child.Pump(3000, [&] { return child.out.find('\n') != std::string::npos; });
  EXPECT_NE(child.out.find("55 01 FE 00 00 00 AB"), std::string::npos) << child.out;
  EXPECT_EQ(child.Stop(SIGINT), 0);
  EXPECT_EQ(std::count(child.out.begin(), child.out.end(), '\n'), 1) << child.out;
}

// The demo bus holds meters at 1, 5 (ModBus) and 17; a 3x scan finds 1 and 17
// and nothing between; an empty range is status 4.
TEST(CliProgram, ScanFindsTheMetersOfTheDemoBus) {
  struct Case {
    Args args;
    int status;
    std::string out;
  };
  const std::string header = "address,baud,protocol,identification,model,serial,state,reply_ms\n";
  const Case cases[] = {
      {{"--to", "18", "--protocol", "3x"},
       0,
       "1,9600,3x,ZFK-31,ЗФК-31,310245,meter,|17,9600,3x,ZFK-36,"},
      {{"--from", "2", "--to", "4"}, 4, ""},
  };
  for (const Case& c : cases) {
    Args args{"scan", "--demo", "bus", "--baud", "9600", "--csv"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    ASSERT_EQ(run.out.rfind(header, 0), 0u) << run.out;
    std::string rows = run.out.substr(header.size());
    // Reply times vary: keep each row up to them.
    std::string kept;
    for (size_t start = 0, end; (end = rows.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string row = rows.substr(start, end - start);
      kept += (kept.empty() ? "" : "|") + row.substr(0, row.rfind(',') + 1);
    }
    if (c.out.find("ZFK-36,") != std::string::npos) kept = kept.substr(0, c.out.size());
    EXPECT_EQ(kept, c.out) << run.out;
  }
}

// Ctrl+C and SIGTERM stop watch, monitor and scan alike: the scan then
// prints what it found so far and exits by itself.
TEST(CliProgram, ScanStopsOnCtrlCWithWhatItFound) {
  for (int signal : {SIGINT, SIGTERM}) {
    Child child({"scan", "--demo", "bus", "--csv"});
    ASSERT_TRUE(child.Started());
    child.Pump(5000, [&] { return child.err.find("найден по адресу 1:") != std::string::npos; });
    ASSERT_NE(child.err.find("найден по адресу 1:"), std::string::npos) << child.err;
    EXPECT_EQ(child.Stop(signal), 0) << child.err;
    EXPECT_NE(child.out.find("\n1,"), std::string::npos) << child.out;
  }
}

// Files below dir other than the settings file: what a read left behind.
size_t FilesBesideTheSettings(const std::string& dir) {
  size_t n = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    n += e.path().filename() != "Calibrate.ini";
  return n;
}

TEST_F(CliFiles, TheJournalIsOnOnlyWhenAsked) {
  struct Case {
    const char* ini;
    std::vector<std::string> options;
    bool journalled;
  };
  const Case cases[] = {
      {"", {}, false},
      {"[Journal]\nEnabled=0\n", {}, false},
      {"[Journal]\nEnabled=1\n", {"--no-journal"}, false},
      {"[Journal]\nEnabled=1\nEngineer=Иванов\n", {}, true},
      {"", {"--journal", "J"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ini) + (c.options.empty() ? "" : c.options[0]));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    const std::string ini = Ini(c.ini);
    Args args{"read", "--demo", "zfk36", "--ini", ini};
    for (const std::string& o : c.options)
      args.push_back(o == "J" ? dir + "/j" : o);
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    if (!c.journalled) {
      EXPECT_EQ(FilesBesideTheSettings(dir), 0u);
      continue;
    }
    const std::string journal = c.options.empty() ? dir + "/journal" : dir + "/j";
    const JournalListing listing = ListJournalMeters(journal);
    ASSERT_EQ(listing.meters.size(), 1u);
    EXPECT_EQ(listing.meters[0].serial, "360517");
    EXPECT_EQ(listing.meters[0].events, 2u);  // the read, and the snapshot that begins a visit
  }
}

TEST_F(CliFiles, EveryModelsReadAppendsOneChainedEvent) {
  const std::string journal = dir + "/journal";
  size_t expected = 0;
  for (const std::string& model : DemoModelNames()) {
    SCOPED_TRACE(model);
    const CliRun run = RunCli({"read", "--demo", model, "--json", "--journal", journal});
    const auto printed = nlohmann::json::parse(run.out);
    if (printed.at("result") != "ok") continue;  // nothing answered: no meter to file it under
    EXPECT_EQ(run.err, "");
    ++expected;
    // A read that begins the meter's session is followed by its snapshot;
    // the two GDZ-12.07S share a serial number, so one meter and session.
    const JournalLookup last = FindJournalEvent(journal, "last");
    ASSERT_TRUE(last.ok) << last.error;
    const std::vector<JournalRecord> records = ReadJournalFile(last.file).records;
    const bool first = records.size() == 2;
    ASSERT_EQ(records.front().event.kind, first ? "snapshot" : "read");
    const JournalEvent& e = records[first ? 1 : 0].event;
    EXPECT_EQ(e.kind, "read");
    EXPECT_EQ(e.program, "calibrate-cli 1.1");
    EXPECT_EQ(e.serial, printed.at("serial").is_string() ? printed.at("serial").get<std::string>()
                                                         : std::string());
    EXPECT_EQ(e.payload.at("demo"), true);
    for (const auto& [key, value] : printed.items())
      EXPECT_EQ(e.payload.at(key), value) << key;
  }
  EXPECT_GE(expected, DemoModelNames().size() - 1);
  size_t events = 0;
  const JournalFolderVerdict verdict = VerifyJournal(journal);
  EXPECT_TRUE(verdict.AllOk());
  const JournalListing listing = ListJournalMeters(journal);
  for (const JournalMeter& m : listing.meters)
    events += m.events;
  EXPECT_EQ(events, expected + listing.meters.size());
}

TEST_F(CliFiles, AJournalThatCannotBeWrittenLeavesTheReadAsItWas) {
  std::ofstream(dir + "/file") << "x";
  const CliRun plain = RunCli({"read", "--demo", "zfk31", "--json"});
  const CliRun journalled =
      RunCli({"read", "--demo", "zfk31", "--json", "--journal", dir + "/file/journal"});
  EXPECT_EQ(journalled.status, plain.status);
  auto a = nlohmann::json::parse(plain.out), b = nlohmann::json::parse(journalled.out);
  for (auto* j : {&a, &b})
    j->erase("duration_ms");
  EXPECT_EQ(a, b);
  EXPECT_EQ(journalled.err.rfind(
                "calibrate-cli: предупреждение: событие «чтение» не попало в журнал: ", 0),
            0u)
      << journalled.err;
  EXPECT_EQ(std::count(journalled.err.begin(), journalled.err.end(), '\n'), 1);
}

}  // namespace

TEST_F(CliFiles, HistoryListsAndVerifyNamesTheFirstBrokenLine) {
  const std::string journal = dir + "/journal";
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(RunCli({"read", "--demo", "zfk36", "--journal", journal}).status, 0);
  CliRun run = RunCli({"history", "--journal", journal});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("360517"), std::string::npos) << run.out;
  run = RunCli({"history", "360517", "--json", "--journal", journal});
  EXPECT_EQ(run.status, 0) << run.err;
  // The first read begins the session and is followed by a snapshot.
  EXPECT_EQ(nlohmann::json::parse(run.out).at("events").size(), 4u) << run.out;
  EXPECT_EQ(RunCli({"journal", "verify", "--all", "--journal", journal}).status, 0);
  // An edited second line: verify names it and fails.
  const std::string file = journal + "/" + ListJournalMeters(journal).meters.at(0).file;
  std::ifstream in(file);
  std::string l1, l2, l3;
  std::getline(in, l1), std::getline(in, l2), std::getline(in, l3);
  in.close();
  l2.replace(l2.find("\"read\""), 6, "\"snap\"");
  std::ofstream(file) << l1 << "\n" << l2 << "\n" << l3 << "\n";
  run = RunCli({"journal", "verify", file});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("журнал повреждён: строка 2"), std::string::npos) << run.out;
}

// A snapshot, a read, a verified write and a dry run on a virtual meter: every event
// chained, the write's record in the journal, the report built from them.
TEST_F(CliFiles, SnapshotsAndWritesAreJournalledAndReported) {
  const std::string j = dir + "/journal", html = dir + "/r.html";
  const Args write{"write",
                   "--demo",
                   "zfk36",
                   "--channel",
                   "1",
                   "--k0",
                   "0.003",
                   "--expect-serial",
                   "360517",
                   "--yes",
                   "--accept-warnings",
                   "--save-dir",
                   dir + "/bi",
                   "--journal",
                   j,
                   "--engineer",
                   "Петров",
                   "--reason",
                   "после замены датчика"};
  for (const Args& args : {Args{"snapshot", "--demo", "zfk36", "--journal", j},
                           Args{"read", "--demo", "zfk36", "--journal", j}, write,
                           Args{"write", "--demo", "zfk36", "--channel", "1", "--k0", "1",
                                "--journal", j}})  // a dry run: nothing written, no event
    ASSERT_EQ(RunCli(args).status, 0) << args[0];
  EXPECT_TRUE(VerifyJournal(j).AllOk());
  const JournalLookup last = FindJournalEvent(j, "last");
  ASSERT_TRUE(last.ok);
  const nlohmann::json& p = last.record.event.payload;
  EXPECT_EQ(last.record.event.kind, "write");
  // The write's start came first, and the outcome names it.
  const JournalFileContent events = ReadMeterJournal(j, "360517");
  ASSERT_EQ(events.records.size(), 4u);
  EXPECT_EQ(events.records[1].event.kind, "write-started");
  EXPECT_EQ(p.at("started"), events.records[1].id);
  EXPECT_EQ(ListJournalMeters(j).meters.size(), 1u);  // filed with the meter's reads
  EXPECT_EQ(p.at("status"), "verified");
  EXPECT_EQ(p.at("demo"), true);
  EXPECT_TRUE(std::filesystem::exists(p.at("before_image_file").get<std::string>()));
  const CliRun report = RunCli({"report", "--journal", j, "--html", html});
  ASSERT_EQ(report.status, 0) << report.err;
  std::stringstream text;
  text << std::ifstream(html).rdbuf();
  for (const char* expected :
       {"ДЕМО", "<td>K0 к.1</td><td>0.0025</td><td>0.003</td>", "+20 %", "проверено",
        "<p>Причина: после замены датчика</p>", "<td>запись коэффициентов</td><td>Петров</td><td>",
        "<th>Рабочее место</th>", "ZFK-36 v2.04",
        "<td>Ku к.1</td><td>1.0042</td><td>1.0042</td><td>без изменений</td>"})
    EXPECT_NE(text.str().find(expected), std::string::npos) << expected;
  EXPECT_NE(report.out.find("360517-"), std::string::npos) << report.out;
  const CliRun history = RunCli({"history", "360517", "--journal", j});
  EXPECT_NE(history.out.find("  Петров  calibrate-cli 1.1  причина: после замены датчика\n"),
            std::string::npos)
      << history.out;
}

// A demo session over several runs of the program: what one run writes the
// next reads and a snapshot file restores, until --demo-reset starts the
// meter afresh. Only confirmed writes leave a before-image, named as a demo's.
TEST_F(CliFiles, ADemoRemembersItsWritesUntilReset) {
  const std::string ini = Ini(""), snapshot = dir + "/snapshot.json", images = dir + "/bi";
  const auto k0 = [&] {
    const CliRun read = RunCli({"read", "--demo", "zfk31", "--json", "--ini", ini});
    return nlohmann::json::parse(read.out).at("G1 K0").get<double>();
  };
  std::ofstream(snapshot) << RunCli({"snapshot", "--demo", "zfk31", "--json", "--ini", ini}).out;
  const double fresh = k0();
  const struct {
    Args args;
    bool confirmed;
    bool changed;  // K0 reads otherwise than the fresh meter's after it
  } steps[] = {
      {{"write", "--channel", "1", "--k0", "0.25"}, true, true},
      {{"restore", snapshot}, true, false},
      {{"write", "--channel", "1", "--k0", "0.5"}, true, true},
      {{"write", "--channel", "1", "--k0", "0.75"}, false, true},  // a dry run
      {{"snapshot", "--demo-reset"}, false, false},
  };
  for (const auto& step : steps) {
    Args args = step.args;
    args.insert(args.end(), {"--demo", "zfk31", "--ini", ini});
    if (step.confirmed)  // K0 from 163.84 to 0.25 is warned of
      args.insert(args.end(), {"--expect-serial", "310245", "--yes", "--accept-warnings"});
    if (args[0] == "write" || args[0] == "restore") args.insert(args.end(), {"--save-dir", images});
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 0) << args[0] << run.err;
    EXPECT_EQ(k0() != fresh, step.changed) << args[0] << " " << args[1];
  }
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(images))
    files += e.path().string().find("-demo") != std::string::npos;
  EXPECT_EQ(files, 3u);  // two writes and a restore
}

// A write whose confirmation warns is refused, unless --accept-warnings is
// given or [Service] WarnChange allows the change: the demo ZFK-36 holds
// 0.0010200001 at K[2] of channel 1, and 0.002 is 96 % more.
TEST_F(CliFiles, AWriteThatWarnsIsRefusedWithoutAcceptWarnings) {
  const struct {
    const char* accept;
    std::string ini;
    int status;
    std::string text;
  } cases[] = {
      {"--no-journal", "", 5, "ПРЕДУПРЕЖДЕНИЕ: K[2] к.1: изменение +96.08 % больше 5 %"},
      {"--no-journal", "", 5, "предупреждения не проверены, ничего не записано"},
      {"--accept-warnings", "", 0, "K[2] к.1: проверено"},
      {"--no-journal", "[Service]\nWarnChange=100\n", 0, "K[2] к.1: проверено"},
      {"--no-journal", "[Service]\nWarnChange=50\n", 5, "+96.08 % больше 50 %"},
      {"--no-journal", "[Service]\nWarnChange=0\n", 5, "+96.08 % больше 5 %"},  // a slip
  };
  for (const auto& c : cases) {
    const CliRun run =
        RunCli({"write", "--demo", "zfk36", "--channel", "1", "--k", "2=0.002", "--expect-serial",
                "360517", "--yes", "--save-dir", dir + "/bi", c.accept, "--ini", Ini(c.ini),
                "--demo-reset"});  // each case on the meter as it was made
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(c.text), std::string::npos) << run.out << run.err;
  }
}

// Killed between the two appends: the start is the last line, and every
// reader of the journal says the write is in doubt and what it was to change.
TEST_F(CliFiles, AWriteWithoutItsOutcomeIsShownInterrupted) {
  const std::string j = dir + "/journal", html = dir + "/r.html";
  ASSERT_EQ(RunCli({"write", "--demo", "zfk36", "--channel", "1", "--k0", "0.003",
                    "--expect-serial", "360517", "--yes", "--accept-warnings", "--save-dir",
                    dir + "/bi", "--journal", j, "--engineer", "Петров"})
                .status,
            0);
  const std::string file = j + "/" + ListJournalMeters(j).meters.at(0).file;
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  in.close();
  ASSERT_EQ(lines.size(), 2u);
  std::ofstream(file, std::ios::trunc) << lines[0] << "\n";
  const CliRun history = RunCli({"history", "360517", "--journal", j});
  EXPECT_EQ(history.status, 0) << history.err;
  EXPECT_NE(history.out.find("запись коэффициентов (начало)  ZFK-36  Петров  calibrate-cli"),
            std::string::npos)
      << history.out;
  EXPECT_NE(history.out.find("  прервано\n    K[0] к.1: 0.0025 → 0.003\n"), std::string::npos)
      << history.out;
  ASSERT_EQ(RunCli({"report", "--journal", j, "--html", html}).status, 0);
  std::stringstream text;
  text << std::ifstream(html).rdbuf();
  EXPECT_NE(text.str().find("«запись коэффициентов»: прервано"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("<td>K[0] к.1</td><td>0.0025</td><td>0.003</td>"), std::string::npos);
}

// A journal line edited by hand: history, compare and report refuse it, and
// with --force say so first; the report carries the mark.
TEST_F(CliFiles, ABrokenChainIsRefusedUnlessForced) {
  const std::string j = dir + "/journal", html = dir + "/r.html";
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(RunCli({"read", "--demo", "zfk36", "--journal", j}).status, 0);
  const std::string file = j + "/" + ListJournalMeters(j).meters.at(0).file;
  std::stringstream bytes;
  bytes << std::ifstream(file).rdbuf();
  std::string text = bytes.str();
  const size_t second = text.find('\n') + 1;
  text.replace(text.find("\"engineer\":\"\"", second), 13, "\"engineer\":\"Y\"");
  std::ofstream(file, std::ios::trunc) << text;
  const std::string mark = "журнал повреждён: строка 2";
  struct Case {
    Args args;
    int forcedStatus;
  } const cases[] = {
      {{"history", "360517"}, 0},
      {{"compare", "--last"}, 4},  // one session: no earlier visit
      {{"compare", "last", "last"}, 0},
      {{"report", "--html", html}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    Args args = c.args;
    args.insert(args.end(), {"--journal", j});
    const CliRun refused = RunCli(args);
    EXPECT_EQ(refused.status, 5);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err.rfind("calibrate-cli: " + mark + " (ZFK-36_sn360517.jsonl): ", 0), 0u)
        << refused.err;
    args.push_back("--force");
    const CliRun forced = RunCli(args);
    EXPECT_EQ(forced.status, c.forcedStatus) << forced.err;
    EXPECT_EQ(forced.out.rfind("ВНИМАНИЕ: " + mark, 0), 0u) << forced.out;
  }
  std::stringstream report;
  report << std::ifstream(html).rdbuf();
  EXPECT_NE(report.str().find("<p class=\"damage\">" + mark + "</p>"), std::string::npos);
}

// A journal that cannot take the write's start: refused, nothing sent.
TEST_F(CliFiles, AWriteThatCannotBeJournalledIsNotSent) {
  std::ofstream(dir + "/file") << "x";
  auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk36, 5,
                                                        metersim::MeterOptions{});
  metersim::PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start()) << server.ErrorText();
  const CliRun run = RunCli({"write", "--port", server.DevicePath(), "--addr", "5", "--channel",
                             "1", "--k0", "0.003", "--expect-serial", "360517", "--yes",
                             "--accept-warnings", "--save-dir", dir + "/bi", "--journal",
                             dir + "/file/j", "--ini", Ini("[Journal]\nEngineer=Пётр\n")});
  EXPECT_EQ(run.status, 5) << run.out << run.err;
  EXPECT_NE((run.out + run.err).find("запись не начата: журнал недоступен: "), std::string::npos)
      << run.out << run.err;
  EXPECT_EQ(meter->WriteCount(), 0u);
}

// A journalled write names who made it and, where the settings require it,
// why; without them it is refused before the port is opened, so the meter
// gets no request at all, while a dry run goes on and says what is lacking.
TEST_F(CliFiles, AJournalledWriteNeedsAnEngineerAndTheReasonRequired) {
  const std::string on = "[Journal]\nEnabled=1\n", reasons = on + "RequireReason=1\n",
                    named = on + "Engineer=Иванов\n", namedReasons = reasons + "Engineer=Иванов\n";
  struct Case {
    std::string ini;
    Args options;
    int status;
    const char* says;      // on standard error; "" for nothing
    const char* engineer;  // of the journal's write events; nullptr: none filed
    const char* reason;
  } const cases[] = {
      {"", {}, 0, "", nullptr, ""},
      {reasons, {"--no-journal"}, 0, "", nullptr, ""},
      {on, {}, 5, "инженер не указан: задайте --engineer ИМЯ или [Journal] Engineer", nullptr, ""},
      {"", {"--journal", "J"}, 5, "запись отклонена, ничего не отправлено: журнал", nullptr, ""},
      {"", {"--journal", "J", "--engineer", "Петров"}, 0, "", "Петров", ""},
      {named, {}, 0, "", "Иванов", ""},
      {named, {"--engineer", "Петров"}, 0, "", "Петров", ""},
      {namedReasons, {}, 5, "нужна причина изменения: --reason ТЕКСТ", nullptr, ""},
      {namedReasons, {"--reason", ""}, 5, "нужна причина", nullptr, ""},
      {namedReasons, {"--reason", "поверка"}, 0, "", "Иванов", "поверка"},
      {named, {"--reason", "поверка"}, 0, "", "Иванов", "поверка"},
      // Without --yes a dry run: nothing to refuse, but the lack is told.
      {reasons, {"DRY"}, 0, "пробный запуск; запись была бы отклонена: нужна причина", nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini + " " + (c.options.empty() ? "" : c.options.back()));
    std::filesystem::remove_all(dir + "/journal");
    auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk36, 5,
                                                          metersim::MeterOptions{});
    metersim::PtyMeterServer server(meter);
    ASSERT_TRUE(server.Start()) << server.ErrorText();
    Args args{"write", "--port", server.DevicePath(), "--addr",    "5",     "--channel", "1",
              "--k0",  "0.003",  "--save-dir",        dir + "/bi", "--ini", Ini(c.ini)};
    const bool dry = !c.options.empty() && c.options[0] == "DRY";
    if (!dry) args.insert(args.end(), {"--expect-serial", "360517", "--yes", "--accept-warnings"});
    for (const std::string& o : c.options)
      if (o != "DRY") args.push_back(o == "J" ? dir + "/journal" : o);
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    if (*c.says == 0) EXPECT_EQ(run.err, "");
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(meter->WriteCount() > 0, c.status == 0 && !dry);
    const std::vector<JournalRecord> events = ReadMeterJournal(dir + "/journal", "360517").records;
    size_t writes = 0;
    for (const JournalRecord& r : events) {
      if (r.event.kind != "write" && r.event.kind != "write-started") continue;
      ++writes;
      EXPECT_EQ(r.event.engineer, c.engineer ? c.engineer : "") << r.event.kind;
      EXPECT_EQ(r.event.reason, c.reason) << r.event.kind;
    }
    EXPECT_EQ(writes, c.engineer ? 2u : 0u);
  }
}

// Inspector mode, switched on in each of its three ways, takes every writing
// command away before the port is opened: status 5, the switch named, and
// the meter asked nothing at all. Without it the same command lines write.
TEST_F(CliFiles, InspectorModeRefusesEveryWriteBeforeThePortIsOpened) {
  auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk36, 5,
                                                        metersim::MeterOptions{});
  metersim::PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start()) << server.ErrorText();
  const Args line{"--port", server.DevicePath(), "--addr", "5", "--ini", dir + "/Calibrate.ini"};
  const std::string image = dir + "/image.json", flags = dir + "/etc";
  Ini("");
  Args snapshot{"snapshot", "--json"};
  snapshot.insert(snapshot.end(), line.begin(), line.end());
  std::ofstream(image) << RunCli(snapshot).out;
  std::filesystem::create_directories(flags);
  std::ofstream(flags + "/" + kInspectorFlagName) << "проверка ЦСМ\n";
  const Args commands[] = {{"write", "--channel", "1", "--k0", "0.003"},
                           {"reset"},
                           {"seal", "--text", "C1051234"},
                           {"clock", "--set"},
                           {"restore", image}};
  struct Switch {
    const char* name;
    const char* ini;
    bool flag;  // the installation's flag file is where the program looks
    Args options;
    std::string says;  // empty: not in inspector mode, the write goes out
  } const switches[] = {
      {"off", "", false, {}, ""},
      {"command line", "", false, {"--inspector"}, "(задан параметр --inspector)"},
      {"settings",
       "[Service]\nWrites=0\n",
       false,
       {},
       "(в файле настроек " + dir + "/Calibrate.ini задано [Service] Writes=0)"},
      {"installation",
       "",
       true,
       {},
       "(администратор установки создал файл " + flags + "/inspector)"},
  };
  for (const Args& command : commands)
    for (const Switch& s : switches) {
      SCOPED_TRACE(command[0] + ", " + s.name);
      Ini(s.ini);
      if (s.flag) setenv(kInspectorDirVariable, flags.c_str(), 1);
      Args args = command;
      args.insert(args.end(), line.begin(), line.end());
      args.insert(args.end(), {"--expect-serial", "360517", "--yes", "--accept-warnings",
                               "--save-dir", dir + "/bi"});
      args.insert(args.end(), s.options.begin(), s.options.end());
      const size_t requests = meter->Requests().size(), writes = meter->WriteCount();
      const CliRun run = RunCli(args);
      unsetenv(kInspectorDirVariable);
      if (s.says.empty()) {
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_GT(meter->WriteCount(), writes);
        continue;
      }
      EXPECT_EQ(run.status, 5) << run.out << run.err;
      EXPECT_EQ(run.err,
                "calibrate-cli: запись отклонена, ничего не отправлено: режим проверки: запись в "
                "прибор запрещена " +
                    s.says + "\n");
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(meter->Requests().size(), requests);
      EXPECT_EQ(meter->WriteCount(), writes);
    }
}

// An installation set up for an inspector: every command of the program that
// talks to a meter, run against one virtual meter with the journal on, leaves
// its write counter at 0; those that only read still do their work.
TEST_F(CliFiles, AnInspectorsInstallationSendsNoWriteWhateverItRuns) {
  auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk36, 5,
                                                        metersim::MeterOptions{});
  metersim::PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start()) << server.ErrorText();
  const std::string flags = dir + "/etc", image = dir + "/image.json", runs = dir + "/runs.csv";
  // One run at the flow the meter shows, without noise: within any class.
  meter->SetNoise(0, 1);
  meter->SetFlow(1, 1.0f);
  std::ofstream(runs) << "канал,расход,эталон,время\n1,1,1,0.3\n";
  std::filesystem::create_directories(flags);
  std::ofstream(flags + "/" + kInspectorFlagName) << "проверка ЦСМ\n";
  Ini("[Journal]\nEnabled=1\nEngineer=Сидоров\n");
  const Args line{"--port", server.DevicePath(), "--addr", "5", "--ini", dir + "/Calibrate.ini"};
  const Args confirmed{"--expect-serial",   "360517",     "--yes",
                       "--accept-warnings", "--save-dir", dir + "/bi"};
  const Args bus{"--port", server.DevicePath(),   "--from", "5", "--to", "5", "--baud", "9600",
                 "--ini",  dir + "/Calibrate.ini"};
  struct Case {
    Args args;
    bool onBus;  // the command takes a range of addresses, not one
    int status;
  } const cases[] = {
      {{"read"}, false, 0},
      {{"snapshot", "--json"}, false, 0},  // the image restore is given
      {{"diagnose"}, false, 0},
      {{"watch", "--count", "2"}, false, 0},
      {{"scan"}, true, 0},
      {{"route", "--out", dir + "/route"}, true, 0},
      {{"calibrate", "--runs", runs, "--profile", "mi005-1.0", "--sample", "--no-wait"}, false, 0},
      {{"write", "--channel", "1", "--k0", "0.003"}, false, 5},
      {{"reset"}, false, 5},
      {{"seal", "--text", "C1051234"}, false, 5},
      {{"clock", "--set"}, false, 5},
      {{"restore", image}, false, 5},
  };
  std::set<std::string> run;
  setenv(kInspectorDirVariable, flags.c_str(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    Args args = c.args;
    args.insert(args.end(), (c.onBus ? bus : line).begin(), (c.onBus ? bus : line).end());
    if (c.status == 5) args.insert(args.end(), confirmed.begin(), confirmed.end());
    const CliRun ran = RunCli(args);
    EXPECT_EQ(ran.status, c.status) << ran.out << ran.err;
    if (c.args[0] == "snapshot") std::ofstream(image) << ran.out;
    run.insert(c.args[0]);
  }
  unsetenv(kInspectorDirVariable);
  EXPECT_GT(meter->Requests().size(), 0u);
  EXPECT_EQ(meter->WriteCount(), 0u);
  // A command added later that talks to a meter belongs in this table; the
  // monitor only listens to the line.
  for (const Command* command : CommandTable())
    if (dynamic_cast<const MeterCommand*>(command) && command->Name() != std::string("monitor"))
      EXPECT_EQ(run.count(command->Name()), 1u) << command->Name();
}

// A read of the demo ZFK-36 as an earlier run of the window filed it, with
// channel 2's Ku other than the meter holds now.
JournalEvent EarlierWindowVisit() {
  const auto read = nlohmann::json::parse(RunCli({"read", "--demo", "zfk36", "--json"}).out);
  JournalEvent e{.kind = "read",
                 .engineer = "Иванов",
                 .program = "calibrate 1.1",
                 .port = "COM1",
                 .speed = 9600,
                 .model = "Прибор",
                 .serial = "360517",
                 .payload = read};
  e.payload["run"] = "earlier";
  e.payload["channels"][1]["ku"]["stored"] = 1.25;
  return e;
}

// An inspector's visit, on an installation set up for one (Writes=0): the
// read and its snapshot are filed as an inspector's, compare --last tells what
// changed since the engineer's visit, and the visit's report is a protocol of
// the check, while the engineer's stays a service report.
TEST_F(CliFiles, AnInspectorsVisitIsComparedAndReportedAsACheck) {
  const std::string j = dir + "/journal", html = dir + "/r.html";
  JournalEvent e = EarlierWindowVisit();
  const JournalAppendResult engineers = JournalWriter(j).Append(e);
  ASSERT_TRUE(engineers.ok);
  const std::string ini = Ini("[Service]\nWrites=0\n");
  ASSERT_EQ(RunCli({"read", "--demo", "zfk36", "--journal", j, "--ini", ini}).status, 0);
  const std::vector<JournalRecord> events = ReadMeterJournal(j, "360517").records;
  ASSERT_EQ(events.size(), 3u);  // the engineer's read; the inspector's read and snapshot
  for (const JournalRecord& r : events)
    EXPECT_EQ(r.event.payload.value("inspector", false), r.event.payload.at("run") != "earlier")
        << r.event.kind;

  const CliRun compare = RunCli({"compare", "--last", "--journal", j, "--ini", ini});
  EXPECT_EQ(compare.status, 1) << compare.err;
  EXPECT_NE(compare.out.find("Ku к.2: 1.25 → 0.9968"), std::string::npos) << compare.out;
  struct Case {
    std::string session;
    const char* heading;
  } const cases[] = {{"last", "<h1>Протокол проверки № "},
                     {engineers.id, "<h1>Отчёт об обслуживании № "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.heading);
    const CliRun report =
        RunCli({"report", "--session", c.session, "--journal", j, "--ini", ini, "--html", html});
    ASSERT_EQ(report.status, 0) << report.err;
    std::stringstream text;
    text << std::ifstream(html).rdbuf();
    EXPECT_NE(text.str().find(c.heading), std::string::npos) << text.str().substr(0, 600);
  }
}

// Files that are not files, where the settings, a restore image or a journal
// file should be: refused at once with the reason, never a hang.
TEST_F(CliFiles, FilesThatAreNotFilesAreRefusedAtOnce) {
  const std::string fifo = dir + "/fifo", j = dir + "/j";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directories(j);
  ASSERT_EQ(mkfifo((j + "/ZFK-36_sn360517.jsonl").c_str(), 0600), 0);
  struct Case {
    Args args;
    int status;
    const char* says;
  } const cases[] = {
      {{"read", "--demo", "zfk36", "--ini", fifo}, 2, "файл настроек"},
      {{"read", "--demo", "zfk36", "--ini", "/dev/zero"}, 2, "это устройство"},
      {{"read", "--demo", "zfk36", "--ini", dir + "/none.ini"}, 2, "none.ini: не найден"},
      {{"history", "--ini", dir}, 2, "это папка"},
      {{"restore", fifo, "--demo", "zfk36"}, 5, "именованный канал"},
      {{"restore", dir, "--demo", "zfk36"}, 5, "это папка"},
      {{"restore", "/dev/zero", "--demo", "zfk36"}, 5, "это устройство"},
      {{"journal", "verify", fifo}, 1, "именованный канал"},
      // The meter's journal file is a FIFO: the read stands, with a warning.
      {{"read", "--demo", "zfk36", "--journal", j}, 0, "именованный канал"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(j + "/ZFK-36_sn360517.jsonl"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/none.ini"));
}

TEST_F(CliFiles, CompareListsWhatDiffers) {
  const std::string a = dir + "/a.json", b = dir + "/b.json", r = dir + "/r.json";
  const CliRun snapshot = RunCli({"snapshot", "--demo", "zfk36", "--json"});
  std::ofstream(a) << snapshot.out;
  auto changed = nlohmann::json::parse(snapshot.out);
  changed["channels"][0]["k"][0]["stored"] = 0.003;
  // The record's year, 2016, is its eleventh byte in BCD.
  changed["record"]["raw"] = changed["record"]["raw"].get<std::string>().replace(20, 2, "26");
  std::ofstream(b) << changed.dump();
  std::ofstream(r) << RunCli({"read", "--demo", "zfk36", "--json"}).out;
  struct Case {
    Args args;
    int status;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{a, a}, 0, {"различий нет (сравнено полей: 43)"}},
      {{a, b},
       1,
       {"K0 к.1: 0.0025 → 0.003 (+0.0005, +20 %)", ", 22.07.2026 10:30:00",
        "различаются 2 поля из 43"}},
      {{r, b},
       1,
       {"K0 к.1: 0.0025 → 0.003 (+0.0005, +20 %)",
        "различаются 2 поля из 10"}},  // only what both show
      {{r, a}, 0, {"различий нет (сравнено полей: 10)"}},
  };
  for (const Case& c : cases) {
    Args args{"compare"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    for (const std::string& line : c.lines)
      EXPECT_NE(run.out.find(line + "\n"), std::string::npos) << line << "\n" << run.out;
  }
  const auto json = nlohmann::json::parse(RunCli({"compare", a, b, "--json"}).out);
  EXPECT_DOUBLE_EQ(json.at("changes").at(0).at("percent").get<double>(),
                   (0.003 - 0.0025) / 0.0025 * 100);
}

// An earlier visit from the window (another run) with other coefficients.
TEST_F(CliFiles, CompareLastIsAgainstThePreviousVisit) {
  const std::string j = dir + "/journal";
  JournalEvent e = EarlierWindowVisit();
  ASSERT_TRUE(JournalWriter(j).Append(e).ok);
  ASSERT_EQ(RunCli({"read", "--demo", "zfk36", "--journal", j}).status, 0);
  const CliRun run = RunCli({"compare", "--last", "--journal", j});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.out.find("Ku к.2: 1.25 → 0.9968 (-0.2532, −20.26 %)\n"), std::string::npos)
      << run.out;
}

TEST_F(CliFiles, NothingToCompareOrReportIsSaidInOneLine) {
  const std::string j = dir + "/journal";
  std::ofstream(dir + "/file") << "x";
  struct Case {
    Args args;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {{"compare", "--last"}, 4, "нет событий"},
      {{"report", "--html", dir + "/r.html"}, 4, "нет событий"},
      {{"compare", "last", "last"}, 4, "ни такого файла, ни события"},
      {{"read", "--demo", "zfk36"}, 0, ""},
      {{"compare", "--last"}, 4, "нет прошлого визита"},
      {{"report", "123", "--html", dir + "/r.html"}, 4, "нет прибора 123"},
      {{"report", "--session", "ffff", "--html", dir + "/r.html"}, 4, "нет события ffff"},
      {{"report"}, 2, "нужен --html FILE"},
      {{"compare", "a"}, 2, "нужны два"},
      {{"compare", dir + "/file", dir + "/file"}, 2, "не документ JSON"},
      // A journal that cannot be written: a warning, the snapshot as it was.
      {{"snapshot", "--demo", "zfk36", "--journal", dir + "/file/j"},
       0,
       "calibrate-cli: предупреждение: событие «снимок» не попало в журнал: "},
  };
  for (const Case& c : cases) {
    Args args = c.args;
    if (std::find(args.begin(), args.end(), "--journal") == args.end())
      args.insert(args.end(), {"--journal", j});
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, c.status) << c.args[0] << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.says << ": " << run.err;
    EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

// A signal in the middle of a reset: the item under way is finished, no more
// is sent, the outcome is journalled as interrupted and the exit status is 6.
TEST_F(CliFiles, WriteStoppedBySignalFinishesItsItemAndKeepsTheRecord) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk31, 5);
    metersim::Fault slow = metersim::MakeFault(metersim::FaultKind::Delay);
    slow.request = metersim::RequestKind::WriteRtc2k;
    slow.ms = 100;  // time enough to be caught between two writes
    meter->AddFault(slow);
    metersim::PtyMeterServer server(meter);
    ASSERT_TRUE(server.Start()) << server.ErrorText();
    const std::string j = dir + "/journal-" + std::to_string(signal);
    Child child({"reset", "--port", server.DevicePath(), "--addr", "5", "--baud", "19200",
                 "--expect-serial", "310245", "--yes", "--save-dir", dir + "/bi", "--journal", j,
                 "--engineer", "Петров", "--ini", Ini("")});
    ASSERT_TRUE(child.Started());
    child.Pump(10000, [&] { return meter->WriteCount() >= 3; });
    ASSERT_GE(meter->WriteCount(), 3u) << child.err;
    EXPECT_EQ(child.Stop(signal), 6) << child.err;
    const size_t sent = meter->WriteCount();
    EXPECT_LE(sent, 5u) << "writes went on after the signal";
    const JournalLookup last = FindJournalEvent(j, "last");
    ASSERT_TRUE(last.ok) << child.err;
    const nlohmann::json& p = last.record.event.payload;
    EXPECT_EQ(p.at("status"), "interrupted");
    size_t written = 0;
    for (const auto& item : p.at("items"))
      written += item.at("written").get<bool>();
    EXPECT_GE(written + 1, sent);  // every write sent but the last is recorded as written
    EXPECT_LE(written, sent);
  }
}

// One visit of each model on a meter that keeps what is written between the
// runs: read (its snapshot follows), snapshot, a write of K[3], a seal and a
// read again, after a visit of another run. The report and compare --last
// name exactly what the visit changed, with the values the meter held before.
TEST_F(CliFiles, AVisitsReportAndComparisonListWhatItChanged) {
  const struct {
    metersim::MeterModel sim;
    const char* model;  // the MeterId's
  } cases[] = {{metersim::MeterModel::Zfk31, "ZFK-31"},
               {metersim::MeterModel::Zfk36, "ZFK-36"},
               {metersim::MeterModel::Gdz1207s, "GDZ-12.07S"},
               {metersim::MeterModel::Gdz1208, "GDZ-12.08"}};
  const std::time_t now = std::time(nullptr);
  char today[16];
  std::strftime(today, sizeof today, "%d.%m.%Y", std::localtime(&now));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    auto meter = std::make_shared<metersim::VirtualMeter>(c.sim, 5, metersim::MeterOptions{});
    metersim::PtyMeterServer server(meter);
    ASSERT_TRUE(server.Start()) << server.ErrorText();
    const std::string j = dir + "/" + c.model, html = j + ".html";
    const Args line{"--port", server.DevicePath(), "--addr", "5",          "--ini",
                    Ini(""),  "--journal",         j,        "--engineer", "Петров"};
    const auto run = [&](Args args) {
      args.insert(args.end(), line.begin(), line.end());
      return RunCli(args);
    };
    const CliRun first = run({"snapshot", "--json", "--no-journal"});
    const auto found = nlohmann::json::parse(first.out);
    const std::string serial = found.at("serial").at("text");
    JournalEvent earlier{.kind = "snapshot",
                         .program = "calibrate 1.1",
                         .port = "COM1",
                         .speed = 9600,
                         .address = 5,
                         .model = c.model,
                         .serial = serial,
                         .payload = found};
    earlier.payload["run"] = "earlier";
    ASSERT_TRUE(JournalWriter(j).Append(earlier).ok);
    const Args confirm{"--expect-serial", serial, "--yes", "--save-dir", dir + "/bi"};
    // K[3] from 0.00255 to 1.5 is warned of, and written all the same.
    Args k3{"write", "--channel", "1", "--k", "3=1.5", "--accept-warnings"};
    Args seal{"seal", "--text", "C2069876"};
    k3.insert(k3.end(), confirm.begin(), confirm.end());
    seal.insert(seal.end(), confirm.begin(), confirm.end());
    for (const Args& args : {Args{"read"}, Args{"snapshot"}, k3, seal, Args{"read"}}) {
      const CliRun step = run(args);
      ASSERT_EQ(step.status, 0) << args[0] << step.out << step.err;
    }

    ASSERT_EQ(RunCli({"report", "--html", html, "--journal", j}).status, 0);
    std::stringstream page;
    page << std::ifstream(html).rdbuf();
    const std::string text = page.str(),
                      before = found.at("channels")[0].at("k")[3].at("stored").dump();
    const auto count = [&](const std::string& what) {
      size_t n = 0;
      for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
      return n;
    };
    EXPECT_EQ(count("<span class=\"changed\">"), 2u) << text;  // K[3] and the record
    for (const std::string& expected :
         {"<td>K[3] к.1</td><td>" + before + "</td><td>1.5</td><td><span class=\"changed\">" +
              before + " → 1.5",
          "<td>Модель</td><td>" + std::string(c.model),
          "<td>Дата обслуживания</td><td>" + std::string(today) + "</td>",
          "&quot;C2069876&quot; (лицензия 9876, версия 2.06), " + std::string(today)})
      EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    const CliRun since = RunCli({"compare", "--last", "--journal", j});
    EXPECT_EQ(since.status, 1) << since.err;
    EXPECT_NE(since.out.find("K[3] к.1: " + before + " → 1.5 ("), std::string::npos) << since.out;
    EXPECT_NE(since.out.find("Запись калибровки: "), std::string::npos) << since.out;
  }
}

std::string FileBytes(const std::string& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// A report checks out against its sidecar and its journal until one byte of
// the page, of the sidecar or of a named event's journal line is changed;
// each change is named.
TEST_F(CliFiles, AReportIsAuthenticUntilAnyByteOfItChanges) {
  const std::string j = dir + "/journal", html = dir + "/r.html", sidecar = html + ".json";
  for (const Args& args : {Args{"snapshot", "--demo", "zfk36", "--journal", j},
                           Args{"read", "--demo", "zfk36", "--journal", j, "--engineer", "Петров"}})
    ASSERT_EQ(RunCli(args).status, 0) << args[0];
  const CliRun made = RunCli({"report", "--journal", j, "--html", html});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_NE(made.out.find("сведения -> " + sidecar), std::string::npos) << made.out;
  const std::string journal = j + "/" + ListJournalMeters(j).meters.at(0).file;
  const std::string page = FileBytes(html), data = FileBytes(sidecar), lines = FileBytes(journal);
  const Args verify{"report", "verify", html, "--journal", j};
  const CliRun fresh = RunCli(verify);
  EXPECT_EQ(fresh.status, 0) << fresh.out << fresh.err;
  EXPECT_NE(fresh.out.find(" подлинный (событий журнала: 2)"), std::string::npos) << fresh.out;
  // The byte after what; npos when what is not there.
  const auto at = [](const std::string& text, const std::string& what, size_t from = 0) {
    const size_t found = text.find(what, from);
    return found == std::string::npos ? found : found + what.size();
  };
  const size_t secondLine = lines.find('\n') + 1;
  struct Case {
    std::string name, file, original;
    size_t offset;  // the byte changed
    char to;        // what it becomes
    std::string expected;
  } const cases[] = {
      {"the page's serial number", html, page, at(page, "<td>Заводской номер</td><td>"), '1',
       "файл отчёта изменён"},
      {"the page's printed hash", html, page, at(page, "<code class=\"seal\">"), 'x',
       "файл отчёта изменён"},
      {"a value of the sidecar", sidecar, data, at(data, "\"k1.K0\": 0.002"), '1',
       "сведения отчёта изменены"},
      {"the model of the sidecar", sidecar, data,
       at(data, "\"model\": \"ZFK-3", data.find("\"meter\"")), '1',
       "расходятся с журналом: прибор"},
      {"the sidecar's layout", sidecar, data, at(data, "{\n"), '\t', "файл сведений изменён"},
      {"the page's hash in the sidecar", sidecar, data, at(data, "\"report_sha256\": \""), 'x',
       "файл отчёта изменён"},
      {"the time of the first event", journal, lines, at(lines, "\"timeUtc\":\"20"), '1',
       "в журнале изменено (строка 1)"},
      {"the hash of the second event", journal, lines,
       at(lines, "\"hash\":\"", lines.find("\"prev\"", secondLine)), 'x', "нет в журнале"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string changed = c.original;
    ASSERT_LT(c.offset, changed.size());
    ASSERT_NE(changed[c.offset], c.to);
    changed[c.offset] = c.to;
    std::ofstream(c.file, std::ios::binary | std::ios::trunc) << changed;
    const CliRun run = RunCli(verify);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("НЕ подлинный"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
    std::ofstream(c.file, std::ios::binary | std::ios::trunc) << c.original;
  }
  EXPECT_EQ(RunCli(verify).status, 0);
  std::filesystem::remove(sidecar);
  const CliRun alone = RunCli(verify);
  EXPECT_EQ(alone.status, 1);
  EXPECT_NE(alone.out.find("нет файла сведений"), std::string::npos) << alone.out;
}

// The QR code of the page, decoded by zbarimg, names the report and the
// hash of its sidecar's data.
TEST_F(CliFiles, TheReportsQrCodeNamesItsNumberAndDataHash) {
  if (std::system("command -v zbarimg >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
  const std::string j = dir + "/journal", html = dir + "/r.html";
  ASSERT_EQ(RunCli({"read", "--demo", "zfk31", "--journal", j}).status, 0);
  ASSERT_EQ(RunCli({"report", "--journal", j, "--html", html}).status, 0);
  const std::string page = FileBytes(html);
  const std::string uri = "src=\"data:image/png;base64,";
  const size_t begin = page.find(uri);
  ASSERT_NE(begin, std::string::npos);
  const size_t from = begin + uri.size();
  std::ofstream(dir + "/qr.b64") << page.substr(from, page.find('"', from) - from);
  ASSERT_EQ(std::system(("base64 -d " + dir + "/qr.b64 > " + dir + "/qr.png").c_str()), 0);
  FILE* pipe = popen(("zbarimg --raw -q " + dir + "/qr.png").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  for (char buf[256]; fgets(buf, sizeof buf, pipe);)
    text += buf;
  EXPECT_EQ(pclose(pipe), 0);
  const nlohmann::json sidecar = nlohmann::json::parse(FileBytes(html + ".json"));
  EXPECT_EQ(text, "CALIBRATE REPORT " + sidecar["data"]["number"].get<std::string>() + " SHA256 " +
                      sidecar["data_sha256"].get<std::string>() + "\n");
}
