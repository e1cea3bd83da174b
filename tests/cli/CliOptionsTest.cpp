// The command line's grammar: what it takes, and the one-line reason for what
// it refuses.
#include <gtest/gtest.h>

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

// The writing commands and watch: what each takes, and what each refuses
// (nothing is written on a line that does not parse).
TEST(CliOptions, WritingCommandsAndWatch) {
  struct Case {
    Args args;
    CliCommand command;
    std::vector<CliCoef> coefs;
    const char* refusal;  // a text the refusal names; nullptr: taken
  };
  const Case cases[] = {
      {{"write", "--channel", "2", "--k0", "0.5", "--ku", "1e-3", "--k", "3=1.25", "--obr", "9=-4"},
       CliCommand::Write,
       {{false, 2, 0, 0.5f}, {false, 2, 1, 0.001f}, {false, 2, 3, 1.25f}, {true, 2, 9, -4.0f}},
       nullptr},
      {{"write", "--channel", "1", "--k", "2=7", "--k", "4=8"},
       CliCommand::Write,
       {{false, 1, 2, 7.0f}, {false, 1, 4, 8.0f}},
       nullptr},
      {{"reset"}, CliCommand::Reset, {}, nullptr},
      {{"seal", "--text", "Поверено"}, CliCommand::Seal, {}, nullptr},
      {{"clock", "--set"}, CliCommand::Clock, {}, nullptr},
      {{"restore", "/tmp/image.json", "--expect-serial", "310042", "--yes", "--save-dir", "/d"},
       CliCommand::Restore,
       {},
       nullptr},
      {{"watch", "--interval", "100", "--count", "3", "--csv", "--demo", "zfk31"},
       CliCommand::Watch,
       {},
       nullptr},
      {{"write", "--channel", "3", "--k0", "1"}, CliCommand::Write, {}, "--channel 1 or 2"},
      {{"write", "--channel", "1", "--k", "12=1"}, CliCommand::Write, {}, "12=1"},
      {{"write", "--channel", "1", "--k", "x=1"}, CliCommand::Write, {}, "x=1"},
      {{"write", "--channel", "1", "--obr", "3"}, CliCommand::Write, {}, "--obr 3"},
      {{"write", "--channel", "1", "--k", "3=abc"}, CliCommand::Write, {}, "abc"},
      {{"write", "--channel", "1", "--ku", "inf"}, CliCommand::Write, {}, "inf"},
      {{"write", "--channel", "1"}, CliCommand::Write, {}, "at least one"},
      {{"seal"}, CliCommand::Seal, {}, "--text"},
      {{"clock"}, CliCommand::Clock, {}, "--set"},
      {{"restore"}, CliCommand::Restore, {}, "restore"},
      {{"watch", "--interval", "99"}, CliCommand::Watch, {}, "99"},
      {{"watch", "--count", "0"}, CliCommand::Watch, {}, "count 0"},
      {{"watch", "--json"}, CliCommand::Watch, {}, "--json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    std::string error;
    const auto o = ParseCli(c.args, error);
    if (c.refusal) {
      EXPECT_FALSE(o);
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->command, c.command);
    ASSERT_EQ(o->coefs.size(), c.coefs.size());
    for (size_t n = 0; n < c.coefs.size(); ++n) {
      EXPECT_EQ(o->coefs[n].obr, c.coefs[n].obr) << n;
      EXPECT_EQ(o->coefs[n].channel, c.coefs[n].channel) << n;
      EXPECT_EQ(o->coefs[n].index, c.coefs[n].index) << n;
      EXPECT_EQ(o->coefs[n].value, c.coefs[n].value) << n;
    }
    EXPECT_EQ(o->yes, c.command == CliCommand::Restore);
  }
  std::string error;
  auto o = ParseCli({"seal", "--text", "Поверено", "--expect-serial", "310042"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->sealText, "Поверено");
  EXPECT_EQ(o->expectSerial, "310042");
  EXPECT_FALSE(o->saveDir);
  o = ParseCli({"restore", "/tmp/image.json", "--save-dir", "/d"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->imageFile, "/tmp/image.json");
  EXPECT_EQ(o->saveDir, "/d");
  o = ParseCli({"watch"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->watch.intervalMs, 1000u);
  EXPECT_FALSE(o->watch.count || o->watch.csv);
  o = ParseCli({"watch", "--interval", "250", "--count", "7", "--csv"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->watch.intervalMs, 250u);
  EXPECT_EQ(o->watch.count, 7u);
  EXPECT_TRUE(o->watch.csv);
}

TEST(CliOptions, ComPortNumbers) {
  EXPECT_EQ(ComPortNumber("COM7"), 7u);
  EXPECT_EQ(ComPortNumber("com12"), 12u);
  EXPECT_EQ(ComPortNumber("COM255"), 255u);
  for (const char* notOne : {"COM", "COM0", "COM256", "COMx", "COM-1", "/dev/ttyS0", "ttyCOM1"})
    EXPECT_FALSE(ComPortNumber(notOne)) << notOne;
}

}  // namespace
