// The command line's grammar: what it takes, and the one-line reason for what
// it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/core/line/PortSpec.h"
#include "cli/CommandLine.h"
#include "cli/commands/CommandTable.h"
#include "cli/output/HelpText.h"

namespace {

using Args = std::vector<std::string>;

TEST(CliOptions, TakesTheContract) {
  std::string error;
  auto o = ParseCli({"read"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->command, CliCommand::Read);
  EXPECT_EQ(o->addr, 0u);
  EXPECT_FALSE(o->port || o->baud || o->ini || o->demo);
  EXPECT_FALSE(o->json);

  o = ParseCli(
      {"read", "--port", "COM3", "--baud", "19200", "--addr", "127", "--ini", "/x.ini", "--json"},
      error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->port, "COM3");
  EXPECT_EQ(o->baud, 19200u);
  EXPECT_EQ(o->addr, 127u);
  EXPECT_EQ(o->ini, "/x.ini");
  EXPECT_TRUE(o->json);

  o = ParseCli({"read", "--demo", "gdz1208-2", "--baud", "9600", "--port", "/dev/ttyUSB0"}, error);
  EXPECT_FALSE(o);  // a demo has its own port
  o = ParseCli({"read", "--demo", "gdz1208-2", "--baud", "9600"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->demo, "gdz1208-2");

  o = ParseCli({"read", "--port", "/dev/serial/by-id/usb-FTDI"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->port, "/dev/serial/by-id/usb-FTDI");

  o = ParseCli({"monitor"}, error);  // the saved port
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->command, CliCommand::Monitor);
  o = ParseCli({"monitor", "--port", "COM2", "--baud", "115200"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->baud, 115200u);

  o = ParseCli({"ports"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->command, CliCommand::Ports);
}

TEST(CliOptions, HelpForEveryCommand) {
  struct Case {
    Args args;
    std::string topic;
  };
  const Case cases[] = {{{}, ""},
                        {{"--help"}, ""},
                        {{"help", "read"}, "read"},
                        {{"read", "--help"}, "read"},
                        {{"read", "--addr", "5", "-h"}, "read"},
                        {{"ports", "--help"}, "ports"},
                        {{"monitor", "--help"}, "monitor"}};
  for (const Case& c : cases) {
    std::string error;
    auto o = ParseCli(c.args, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->command, CliCommand::Help);
    EXPECT_EQ(o->helpTopic, c.topic);
  }
  for (const char* command : {"read", "ports", "monitor"})
    EXPECT_EQ(CliHelp(command).rfind(std::string("Использование: calibrate-cli ") + command, 0),
              0u);
  EXPECT_NE(CliHelp("").find("Команды:"), std::string::npos);
}

TEST(CliOptions, RefusesWithOneLineThatNamesTheFault) {
  struct Case {
    Args args;
    const char* mentions;
  };
  const Case cases[] = {
      {{"read", "--addr", "128"}, "128"},
      {{"read", "--addr", "-1"}, "-1"},
      {{"read", "--addr", "0x10"}, "0x10"},
      {{"read", "--addr", "99999999999999"}, "99999999999999"},
      {{"read", "--baud", "1200"}, "1200"},
      {{"read", "--baud", "115200"}, "115200"},
      {{"monitor", "--baud", "0"}, "0"},
      {{"read", "--port"}, "--port"},
      {{"read", "--port", ""}, "--port"},
      {{"read", "--port", "--json"}, "--port"},
      {{"read", "--port", "COM0"}, "COM0"},
      {{"read", "--port", "COM256"}, "COM256"},
      {{"read", "--demo"}, "--demo"},
      {{"read", "--demo", "zfk99"}, "zfk99"},
      {{"read", "--ini"}, "--ini"},
      {{"read", "extra"}, "extra"},
      {{"read", "--verbose"}, "--verbose"},
      {{"ports", "--json"}, "--json"},
      {{"monitor", "--addr", "3"}, "--addr"},
      {{"adjust"}, "adjust"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseCli(c.args, error)) << c.mentions;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
}

// What a writing command or watch took, in one line.
std::string Taken(const CliOptions& o) {
  std::ostringstream s;
  for (const CliCoef& c : o.coefs)
    s << (c.obr ? "Obr" : "K") << c.channel << "." << c.index << "=" << c.value << " ";
  s << o.sealText.value_or("") << o.imageFile << (o.clockSet ? "set" : "") << "|"
    << o.expectSerial.value_or("") << (o.yes ? " yes" : "") << "|" << o.saveDir.value_or("");
  if (o.command == CliCommand::Watch)
    s << "|" << o.watch.intervalMs << " " << o.watch.count.value_or(0)
      << (o.watch.csv ? " csv" : "");
  return s.str();
}

// The writing commands and watch: what each takes, and what each refuses
// (nothing is written on a line that does not parse).
TEST(CliOptions, WritingCommandsAndWatch) {
  struct Case {
    Args args;
    bool taken;
    std::string expected;  // Taken(), or a text the refusal names
  };
  const Case cases[] = {
      {{"write", "--channel", "2", "--k0", "0.5", "--ku", "1e-3", "--k", "3=1.25", "--obr", "9=-4"},
       true,
       "K2.0=0.5 K2.1=0.001 K2.3=1.25 Obr2.9=-4 ||"},
      {{"write", "--channel", "1", "--k", "2=7", "--k", "4=8", "--yes"},
       true,
       "K1.2=7 K1.4=8 | yes|"},
      {{"reset", "--expect-serial", "310042"}, true, "|310042|"},
      {{"seal", "--text", "Поверено", "--save-dir", "/d"}, true, "Поверено||/d"},
      {{"clock", "--set"}, true, "set||"},
      {{"restore", "/tmp/i.json", "--expect-serial", "7", "--yes"}, true, "/tmp/i.json|7 yes|"},
      {{"watch"}, true, "|||1000 0"},
      {{"watch", "--interval", "250", "--count", "7", "--csv"}, true, "|||250 7 csv"},
      {{"write", "--channel", "3", "--k0", "1"}, false, "--channel 1 или 2"},
      {{"write", "--channel", "1", "--k", "12=1"}, false, "12=1"},
      {{"write", "--channel", "1", "--obr", "3"}, false, "--obr 3"},
      {{"write", "--channel", "1", "--k", "3=abc"}, false, "abc"},
      {{"write", "--channel", "1"}, false, "хотя бы один"},
      {{"seal"}, false, "--text"},
      {{"clock"}, false, "--set"},
      {{"restore"}, false, "restore"},
      {{"watch", "--interval", "99"}, false, "99"},
      {{"watch", "--count", "0"}, false, "отсчётов 0"},
      {{"watch", "--json"}, false, "--json"},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto o = ParseCli(c.args, error);
    EXPECT_EQ(o.has_value(), c.taken) << c.expected << ": " << error;
    if (o) EXPECT_EQ(Taken(*o), c.expected);
    if (!o) EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
}

// Numbers are read as the decimal digits they are: a leading zero is no
// octal, a sign or a hex prefix is refused, not converted.
TEST(CliOptions, NumbersAreDecimalDigits) {
  struct Case {
    Args args;
    std::string taken;  // "addr baud interval", or what the refusal names
    bool ok;
  };
  const Case cases[] = {
      {{"read", "--addr", "010", "--baud", "09600"}, "10 9600 1000", true},
      {{"watch", "--addr", "007", "--interval", "0250"}, "7 0 250", true},
      {{"monitor", "--baud", "000115200"}, "0 115200 1000", true},
      {{"read", "--addr", "+3"}, "+3", false},
      {{"read", "--addr", " 3"}, " 3", false},
      {{"monitor", "--baud", "0x10"}, "0x10", false},
      {{"watch", "--count", "-1"}, "-1", false},
      {{"write", "--channel", "01", "--k0", "1"}, "0 0 1000", true},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto o = ParseCli(c.args, error);
    ASSERT_EQ(o.has_value(), c.ok) << c.taken << ": " << error;
    if (o)
      EXPECT_EQ(std::to_string(o->addr) + " " + std::to_string(o->baud.value_or(0)) + " " +
                    std::to_string(o->watch.intervalMs),
                c.taken);
    else
      EXPECT_NE(error.find(c.taken), std::string::npos) << error;
  }
  std::string error;
  const auto write = ParseCli({"write", "--channel", "02", "--k", "03=1"}, error);
  ASSERT_TRUE(write) << error;
  EXPECT_EQ(Taken(*write), "K2.3=1 ||");
}

std::string ScanTaken(const CliOptions& o) {
  std::ostringstream s;
  for (unsigned b : o.scan.bauds)
    s << b << ",";
  s << " " << o.scan.from << "-" << o.scan.to << (o.scan.threeX ? " 3x" : "")
    << (o.scan.modbus ? " modbus" : "") << (o.scan.csv ? " csv" : "") << (o.json ? " json" : "")
    << " " << o.demo.value_or("") << o.port.value_or("");
  return s.str();
}

TEST(CliOptions, ScanTakesListsAndRefusesWhatItCannotProbe) {
  struct Case {
    Args args;
    bool taken;
    std::string expected;  // ScanTaken(), or a text the refusal names
  };
  const Case cases[] = {
      {{"scan"}, true, "9600,19200, 0-127 3x modbus "},
      {{"scan", "--baud", "19200", "--protocol", "modbus", "--csv", "--demo", "bus"},
       true,
       "19200, 0-127 modbus csv bus"},
      {{"scan", "--baud", "19200,9600", "--from", "5", "--to", "5", "--json", "--port", "COM2"},
       true,
       "19200,9600, 5-5 3x modbus json COM2"},
      {{"scan", "--protocol", "3x,modbus"}, true, "9600,19200, 0-127 3x modbus "},
      {{"scan", "--baud", "9600,1200"}, false, "скорость 1200"},
      {{"scan", "--baud", "9600,"}, false, "скорость"},
      {{"scan", "--protocol", "3x,rtu"}, false, "'rtu'"},
      {{"scan", "--from", "5", "--to", "3"}, false, "--from"},
      {{"scan", "--to", "128"}, false, "128"},
      {{"scan", "--json", "--csv"}, false, "--csv"},
      {{"scan", "--port", "COM1", "--demo", "bus"}, false, "--demo"},
      {{"scan", "--addr", "3"}, false, "--addr"},
      {{"scan", "--trace"}, false, "--trace"},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto o = ParseCli(c.args, error);
    EXPECT_EQ(o.has_value(), c.taken) << c.expected << ": " << error;
    if (o) EXPECT_EQ(ScanTaken(*o), c.expected);
    if (!o) EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
}

std::string JournalTaken(const CliOptions& o) {
  std::ostringstream s;
  s << static_cast<int>(o.command) << ":";
  for (const std::string& operand : o.operands)
    s << operand << ",";
  s << (o.verifyAll ? " all" : "") << (o.lastVisit ? " last" : "") << (o.json ? " json" : "") << " "
    << o.session.value_or("") << "|" << o.htmlFile.value_or("") << "|" << o.journalDir.value_or("")
    << "|" << o.ini.value_or("");
  return s.str();
}

// history, journal verify, compare and report share the grammar of the other
// commands and its one-line refusals.
TEST(CliOptions, JournalCommands) {
  const auto id = [](CliCommand c) { return std::to_string(static_cast<int>(c)) + ":"; };
  const std::string history = id(CliCommand::History), verify = id(CliCommand::JournalVerify),
                    compare = id(CliCommand::Compare), report = id(CliCommand::Report);
  struct Case {
    Args args;
    bool taken;
    std::string expected;  // JournalTaken(), or a text the refusal names
  };
  const Case cases[] = {
      {{"history"}, true, history + " |||"},
      {{"history", "360517", "--json", "--journal", "/j", "--ini", "/c.ini"},
       true,
       history + "360517, json ||/j|/c.ini"},
      {{"journal", "verify"}, true, verify + " |||"},
      {{"journal", "verify", "/j/a.jsonl", "--json"}, true, verify + "/j/a.jsonl, json |||"},
      {{"journal", "verify", "--all", "--journal", "/j"}, true, verify + " all ||/j|"},
      {{"compare", "a.json", "last"}, true, compare + "a.json,last, |||"},
      {{"compare", "--last", "360517"}, true, compare + "360517, last |||"},
      {{"compare", "--last"}, true, compare + " last |||"},
      {{"report", "--html", "r.html", "--session", "ab12"}, true, report + " ab12|r.html||"},
      {{"report", "360517", "--last", "--html", "r.html"}, true, report + "360517, last |r.html||"},
      {{"journal"}, false, "journal verify"},
      {{"journal", "check"}, false, "journal verify"},
      {{"journal", "verify", "a", "--all"}, false, "--all"},
      {{"journal", "verify", "a", "b"}, false, "b"},
      {{"history", "a", "b"}, false, "b"},
      {{"history", "--journal"}, false, "--journal"},
      {{"history", "--journal", "--json"}, false, "--journal"},
      {{"history", "--port", "COM1"}, false, "--port"},
      {{"compare", "a"}, false, "нужны два"},
      {{"compare", "a", "b", "c"}, false, "c"},
      {{"compare", "--last", "a", "b"}, false, "нужны два"},
      {{"report"}, false, "нужен --html FILE"},
      {{"report", "--html", "x", "--last", "--session", "1"}, false, "--session и --last"},
      {{"report", "--html", "x", "--json"}, false, "--json"},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto o = ParseCli(c.args, error);
    EXPECT_EQ(o.has_value(), c.taken) << c.expected << ": " << error;
    if (o) EXPECT_EQ(JournalTaken(*o), c.expected);
    if (!o) {
      EXPECT_NE(error.find(c.expected), std::string::npos) << error;
      EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
  }
}

// The help is made from the options the grammar takes: each command's help
// starts with its usage and names what its command line accepts; options
// taken only for old scripts are accepted but not shown.
TEST(CliOptions, HelpNamesWhatEachCommandTakes) {
  struct Case {
    Args accepted;  // a command line the grammar takes
    std::string usage;
    std::vector<std::string> shown;
    std::vector<std::string> hidden;
  };
  const Case cases[] = {
      {{"read", "--port", "COM2", "--baud", "9600", "--addr", "1", "--ini", "x", "--json",
        "--trace", "--echo", "--journal", "j", "--no-journal"},
       "read",
       {"--port COMn|PATH", "--baud 9600|19200", "--addr N", "--ini FILE", "--json", "--trace",
        "--echo", "--demo MODEL", "--journal DIR", "--no-journal", "Коды завершения: 0 прочитано"},
       {}},
      {{"snapshot", "--demo", "zfk31"}, "snapshot", {"--demo MODEL", "Коды завершения"}, {}},
      {{"write", "--channel", "1", "--k0", "1", "--ku", "1", "--k", "2=1", "--obr", "3=1",
        "--expect-serial", "1", "--yes", "--save-dir", "d"},
       "write",
       {"--channel N", "--k0 X", "--ku X", "--k I=X ...", "--obr I=X ...", "--expect-serial S",
        "--yes", "--save-dir DIR", "Коды завершения"},
       {}},
      {{"seal", "--text", "t"}, "seal --text TEXT", {"--expect-serial"}, {}},
      {{"clock", "--set"}, "clock --set", {"--yes"}, {}},
      {{"restore", "f"}, "restore FILE", {"--save-dir"}, {}},
      {{"reset"}, "reset", {"--expect-serial"}, {}},
      {{"watch", "--interval", "100", "--count", "1", "--csv"},
       "watch",
       {"--interval MS", "--count N", "--csv", "Коды завершения"},
       {"--json"}},
      {{"scan", "--baud", "9600", "--from", "1", "--to", "2", "--protocol", "3x", "--csv"},
       "scan",
       {"--baud 9600,19200", "--from A", "--to B", "--protocol 3x,modbus", "[--json | --csv]",
        "Коды завершения"},
       {"--addr N", "--addr выбирает"}},
      {{"diagnose", "--json", "--journal", "j", "--no-journal"},
       "diagnose",
       {"--echo", "Код завершения 0"},
       {"--json", "--journal", "--no-journal"}},
      {{"monitor", "--trace", "--baud", "300"}, "monitor", {"--baud B"}, {"--trace", "--addr"}},
      {{"ports"}, "ports", {}, {"--"}},
      {{"history", "1", "--json"}, "history", {"[SERIAL]", "--journal DIR"}, {}},
      {{"journal", "verify", "--all"}, "journal verify", {"[FILE | --all]"}, {}},
      {{"compare", "a", "b"}, "compare", {"--last", "Коды завершения"}, {}},
      {{"report", "--html", "r"},
       "report",
       {"[--session ID | --last] --html FILE", "Коды завершения"},
       {}},
  };
  const std::string overview = CliHelp("");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.usage);
    std::string error;
    EXPECT_TRUE(ParseCli(c.accepted, error)) << error;
    const std::string help = CliHelp(c.accepted[0]);
    EXPECT_EQ(help.rfind("Использование: calibrate-cli " + c.usage, 0), 0u) << help;
    for (const std::string& text : c.shown)
      EXPECT_NE(help.find(text), std::string::npos) << text << "\n" << help;
    for (const std::string& text : c.hidden)
      EXPECT_EQ(help.find(text), std::string::npos) << text << "\n" << help;
    EXPECT_EQ(help.find("--help"), std::string::npos) << help;
    EXPECT_NE(overview.find("\n  " + c.accepted[0] + " "), std::string::npos) << overview;
  }
}

// Columns on the terminal: UTF-8 continuation bytes take none.
size_t Columns(const std::string& line) {
  return static_cast<size_t>(std::count_if(line.begin(), line.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Help paragraphs are filled by characters: Cyrillic words, two bytes a
// letter, break where Latin words of as many letters do, and no line of any
// command's help is wider than 80 columns.
TEST(CliOptions, HelpIsFilledByCharacters) {
  const auto help = [](const std::string& word) {
    std::string paragraph;
    for (int i = 0; i < 40; ++i)
      paragraph += word + " ";
    CLI::App app;
    app.set_help_flag();
    Declaration d(app);
    bool unused = false;
    app.add_flag("--x", unused, paragraph);
    return CommandHelp("x", d, paragraph + "\n" + paragraph, paragraph);
  };
  const std::pair<std::string, std::string> cases[] = {
      {"sword", "слово"}, {"ab", "яю"}, {"calibration", "калибровкам"}};
  for (const auto& [latin, cyrillic] : cases) {
    std::string expected = help(latin);
    for (size_t at; (at = expected.find(latin)) != std::string::npos;)
      expected.replace(at, latin.size(), cyrillic);
    EXPECT_EQ(help(cyrillic), expected);
  }
  std::vector<std::string> topics{""};
  for (const Command* c : CommandTable())
    topics.push_back(c->Name());
  for (const std::string& topic : topics) {
    std::istringstream lines(CliHelp(topic));
    for (std::string line; std::getline(lines, line);)
      EXPECT_LE(Columns(line), 80u) << topic << ": " << line;
  }
}

TEST(CliOptions, ComPortNumbers) {
  EXPECT_EQ(ComPortNumber("COM7"), 7u);
  EXPECT_EQ(ComPortNumber("com12"), 12u);
  EXPECT_EQ(ComPortNumber("COM255"), 255u);
  for (const char* notOne : {"COM", "COM0", "COM256", "COMx", "COM-1", "/dev/ttyS0", "ttyCOM1"})
    EXPECT_FALSE(ComPortNumber(notOne)) << notOne;
}

}  // namespace
