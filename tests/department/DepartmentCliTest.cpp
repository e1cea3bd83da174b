// Two workstations, each with its own settings, journal and virtual meter
// state, adjust one demo meter offline and sync through calibrate-cli: the
// record then holds two states after service, and history, compare --last
// and the report say so with both.
#include <cstdio>
#include <fstream>

#include "DepartmentTestUtil.h"
#include "app/journal/Divergence.h"

namespace {

struct Ran {
  int status = -1;
  std::string out;  // standard output and error together
};

std::string Quote(const std::string& text) {
  std::string q = "'";
  for (const char c : text)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// calibrate-cli with args, its demo meter's state kept below home.
Ran Cli(const std::string& home, const std::vector<std::string>& args) {
  std::string command = "XDG_DATA_HOME=" + Quote(home) + " " + CLI_PROGRAM;
  for (const std::string& a : args)
    command += " " + Quote(a);
  Ran ran;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return ran;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    ran.out.append(buffer, n);
  const int status = pclose(pipe);
  ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return ran;
}

}  // namespace

TEST_F(DepartmentTest, TwoStatesAfterServiceAreShownWithBoth) {
  struct Workstation {
    std::string home, ini, journal;
  };
  const auto make = [&](const std::string& name, const std::string& engineer) {
    Workstation w{Folder(name), Folder(name) + "/Calibrate.ini", Folder(name) + "/journal"};
    std::filesystem::create_directories(w.home);
    std::ofstream(w.ini) << "[Journal]\nEnabled=1\nEngineer=" << engineer
                         << "\nRequireReason=1\n[Department]\nDatabase=" << server->Url(database)
                         << "\nSite=north\n";
    return w;
  };
  const Workstation a = make("a", "Иванов"), b = make("b", "Петров");
  const auto write = [](const Workstation& w, const char* k0) {
    const Ran ran = Cli(w.home, {"write", "--demo", "zfk36", "--channel", "1", "--k0", k0,
                                 "--expect-serial", "360517", "--yes", "--accept-warnings",
                                 "--reason", "поверка", "--save-dir", w.home, "--ini", w.ini});
    EXPECT_EQ(ran.status, 0) << ran.out;
  };
  write(a, "0.003");
  write(b, "0.004");
  for (const Workstation& w : {a, b, a}) {
    const Ran sync = Cli(w.home, {"sync", "--ini", w.ini});
    ASSERT_EQ(sync.status, 0) << sync.out;
  }
  EXPECT_EQ(Held(a.journal, "360517"), Held(b.journal, "360517"));
  const std::string html = Folder("report.html");
  const struct {
    const Workstation& w;
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {a, {"compare", "--last", "360517"}, 1},
      {b, {"history", "360517"}, 0},
      {a, {"report", "360517", "--html", html}, 0},
      {b, {"journal", "verify"}, 0},
      {a, {"journal", "verify", "--database"}, 0},
      // b holds a's events in its department folder, and finds them there.
      {b, {"report", "verify", html}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--ini", c.w.ini});
    const Ran ran = Cli(c.w.home, args);
    EXPECT_EQ(ran.status, c.status) << ran.out;
    if (c.args.front() == "journal") continue;
    if (c.args[1] == "verify") {
      EXPECT_NE(ran.out.find("подлинный"), std::string::npos) << ran.out;
      continue;
    }
    std::string shown = ran.out;
    if (c.args.front() == "report") {
      std::ifstream in(html);
      shown.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (const char* expected : {kDivergenceText, "Иванов", "Петров", "0.003", "0.004"})
      EXPECT_NE(shown.find(expected), std::string::npos) << expected << "\n" << shown;
  }
}

// An event recorded after a sync names the last event of each other
// workstation it then held of the meter.
TEST_F(DepartmentTest, AnEventNamesWhatItsWorkstationHadSeen) {
  const std::string home = Folder("a"), ini = home + "/Calibrate.ini";
  std::filesystem::create_directories(home);
  std::ofstream(ini) << "[Journal]\nEnabled=1\nEngineer=Иванов\n[Department]\nDatabase="
                     << server->Url(database) << "\nSite=north\n";
  // Another workstation left the meter otherwise, and its events came in.
  const std::string other = Folder("other");
  Record(other, "ws-other", "360517", 1);
  ASSERT_TRUE(Sync(other, "ws-other").ok);
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"--ini", ini});
    return Cli(home, args);
  };
  const std::vector<std::string> writeArgs = {
      "write",           "--demo", "zfk36", "--channel",         "1",          "--k0", "0.005",
      "--expect-serial", "360517", "--yes", "--accept-warnings", "--save-dir", home};
  ASSERT_EQ(run({"sync", "--serial", "360517"}).status, 0);
  ASSERT_EQ(run(writeArgs).status, 0);
  const nlohmann::json seen = ReadMeterJournal(home + "/journal", "360517").records.front().seen;
  ASSERT_TRUE(seen.is_object()) << seen;
  EXPECT_EQ(seen.value("ws-other", ""), *Held(other, "360517").begin());
}
