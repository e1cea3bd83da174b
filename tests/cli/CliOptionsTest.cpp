// The command line's grammar: what it takes, and the one-line reason for what
// it refuses.
#include <gtest/gtest.h>

#include <sstream>

#include "app/core/PortSpec.h"
#include "cli/CliOptions.h"

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
    EXPECT_EQ(CliHelp(command).rfind(std::string("usage: calibrate-cli ") + command, 0), 0u);
  EXPECT_NE(CliHelp("").find("Commands:"), std::string::npos);
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
      {{"calibrate"}, "calibrate"},
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
      {{"write", "--channel", "3", "--k0", "1"}, false, "--channel 1 or 2"},
      {{"write", "--channel", "1", "--k", "12=1"}, false, "12=1"},
      {{"write", "--channel", "1", "--obr", "3"}, false, "--obr 3"},
      {{"write", "--channel", "1", "--k", "3=abc"}, false, "abc"},
      {{"write", "--channel", "1"}, false, "at least one"},
      {{"seal"}, false, "--text"},
      {{"clock"}, false, "--set"},
      {{"restore"}, false, "restore"},
      {{"watch", "--interval", "99"}, false, "99"},
      {{"watch", "--count", "0"}, false, "count 0"},
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

TEST(CliOptions, ComPortNumbers) {
  EXPECT_EQ(ComPortNumber("COM7"), 7u);
  EXPECT_EQ(ComPortNumber("com12"), 12u);
  EXPECT_EQ(ComPortNumber("COM255"), 255u);
  for (const char* notOne : {"COM", "COM0", "COM256", "COMx", "COM-1", "/dev/ttyS0", "ttyCOM1"})
    EXPECT_FALSE(ComPortNumber(notOne)) << notOne;
}

}  // namespace
