// --pcap as Wireshark reads it: tshark decodes the capture of a read of every
// demo model, the 3x frames with the dissector shipped in tools/wireshark/ and
// the ModBus frames with its own "mbrtu" through the DLT_USER table, and a
// line with garbage shows the garbage bytes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sim/PtyMeterServer.h"
#include "sim/ReplyPlan.h"
#include "sim/VirtualMeter.h"

namespace {

// epb_flags' direction as tshark prints it.
const std::string kOut = "0x00000002", kIn = "0x00000001";

struct Shell {
  int status = -1;
  std::string out;
};

Shell RunShell(const std::string& command) {
  Shell r;
  FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
    r.out.append(buf, n);
  const int s = pclose(p);
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return r;
}

// One line per packet, its fields split at tabs.
std::vector<std::vector<std::string>> Rows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');)
      fields.push_back(cell);
    fields.resize(5);
    rows.push_back(fields);
  }
  return rows;
}

class Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunShell("tshark -v").status != 0)
      GTEST_SKIP() << "tshark не установлен: захваты не проверены";
    char tmpl[] = "/tmp/calibrate-pcapXXXXXX";
    dir_ = mkdtemp(tmpl);
    // Wireshark's personal settings of the test alone: ModBus RTU on USER0.
    std::filesystem::create_directories(dir_ + "/config/wireshark");
    std::ofstream(dir_ + "/config/wireshark/user_dlts")
        << "\"User 0 (DLT=147)\",\"mbrtu\",\"0\",\"\",\"0\",\"\"\n";
    ini_ = dir_ + "/Calibrate.ini";
    std::ofstream(ini_) << "[Device1]\nNB=50\nNP=100\nNR=1\n";
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string Cli(const std::string& args) {
    return std::string("XDG_DATA_HOME=") + dir_ + " " + CLI_PROGRAM + " " + args + " --ini " +
           ini_ + " --pcap " + pcap_;
  }
  // tshark's fields of every packet of the capture.
  Shell Fields(const std::vector<std::string>& fields) {
    std::string command =
        "HOME=" + dir_ + " XDG_CONFIG_HOME=" + dir_ + "/config tshark -r " + pcap_ +
        " -X lua_script:" + CALIBRATE_SOURCE_DIR "/tools/wireshark/calibrate3x.lua" +
        " -o mbrtu.crc_verification:TRUE -T fields";
    for (const std::string& f : fields)
      command += " -e " + f;
    return RunShell(command);
  }
  std::string dir_, ini_, pcap_ = "/tmp/calibrate-pcap-none";
};

TEST_F(Capture, TsharkDecodesTheReadOfEveryDemoModel) {
  const struct {
    const char* model;
    bool modbus;
  } cases[] = {{"zfk31", false},      {"zfk36", false},  {"gdz1207s", false},
               {"gdz1207s-2", false}, {"gdz1208", true}, {"gdz1208-2", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    pcap_ = dir_ + "/" + c.model + ".pcapng";
    ASSERT_EQ(RunShell(Cli(std::string("read --demo ") + c.model + " --addr 3")).status, 0);
    const Shell t = Fields({"frame.packet_flags_direction", "calibrate3x.start",
                            "calibrate3x.checksum.status", "mbrtu.crc16.status", "frame.len"});
    ASSERT_EQ(t.status, 0) << t.out;
    std::map<std::string, int> seen;  // direction, kind and check of each packet, counted
    for (const auto& row : Rows(t.out)) {
      const std::string& direction = row[0];
      if (!row[1].empty()) {
        // Requests go out, replies come in, and every checksum is good.
        EXPECT_EQ(direction, row[1] == "0x55" ? kOut : kIn) << row[1];
        EXPECT_EQ(row[2], "1");
        ++seen["3x " + row[1]];
      } else {
        // Wireshark's mbrtu takes no frame under 6 bytes: the 4-byte report
        // slave ID request stays undecoded.
        EXPECT_EQ(row[3], std::stoi(row[4]) < 6 ? "" : "1") << "ModBus CRC, " << direction;
        ++seen["modbus " + direction];
      }
    }
    // The ModBus meter is asked its 3x identification first, and does not answer.
    EXPECT_GT(seen["3x 0x55"], 0);
    EXPECT_EQ(seen["3x 0xaa"] > 0, !c.modbus);
    EXPECT_EQ(seen["modbus " + kOut] > 0, c.modbus);
    EXPECT_EQ(seen["modbus " + kIn] > 0, c.modbus);
  }
}

TEST_F(Capture, TheFieldsOfA3xExchangeAndOfAModBusOne) {
  pcap_ = dir_ + "/fields.pcapng";
  ASSERT_EQ(RunShell(Cli("read --demo zfk31 --addr 3")).status, 0);
  // The first request and its reply: the identification, group 0 command 0.
  const Shell t = Fields({"calibrate3x.addr", "calibrate3x.addr_complement", "calibrate3x.group",
                          "calibrate3x.command", "calibrate3x.name", "calibrate3x.length"});
  const auto rows = Rows(t.out);
  ASSERT_GE(rows.size(), 2u) << t.out;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"3", "0xfc", "0x00", "0x00", "идентификация"}));
  EXPECT_EQ(rows[1][0], "3");
  const Shell name = Fields({"calibrate3x.name", "calibrate3x.length"});
  EXPECT_EQ(Rows(name.out)[0], (std::vector<std::string>{"идентификация", "0", "", "", ""}));

  pcap_ = dir_ + "/modbus.pcapng";
  ASSERT_EQ(RunShell(Cli("read --demo gdz1208 --addr 3")).status, 0);
  const Shell m = Fields({"mbrtu.unit_id", "modbus.func_code", "mbrtu.crc16.status"});
  std::map<std::string, int> functions;
  for (const auto& row : Rows(m.out))
    if (!row[1].empty()) {
      EXPECT_EQ(row[0], "3");
      ++functions[row[1]];
    }
  EXPECT_GT(functions["17"], 0) << m.out;  // report slave ID
  EXPECT_GT(functions["3"], 0) << m.out;   // read holding registers
}

// The meter answers its first request with garbage: the capture holds those
// bytes, as they came, in a packet of no frame, before the answer of the
// second attempt.
TEST_F(Capture, GarbageOnTheLineIsCapturedAsItCame) {
  auto meter = std::make_shared<metersim::VirtualMeter>(metersim::MeterModel::Zfk31, 5);
  metersim::Fault garbage = metersim::MakeFault(metersim::FaultKind::Garbage);
  garbage.times = 1;
  meter->AddFault(garbage);
  metersim::PtyMeterServer server(meter);
  ASSERT_TRUE(server.Start()) << server.ErrorText();
  pcap_ = dir_ + "/garbage.pcapng";
  std::ofstream(ini_) << "[Device1]\nNB=50\nNP=300\nNR=2\n";
  ASSERT_EQ(RunShell(Cli("read --addr 5 --port " + server.DevicePath())).status, 0);
  const Shell t = Fields(
      {"frame.packet_flags_direction", "calibrate3x.noframe", "calibrate3x.checksum.status"});
  const auto rows = Rows(t.out);
  ASSERT_GE(rows.size(), 4u) << t.out;
  EXPECT_EQ(rows[0][0], kOut);  // the request
  EXPECT_EQ(rows[1][0], kIn);
  std::string expected;
  char hex[4];
  for (uint64_t i = 0; i < rows[1][1].size() / 2; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", metersim::GarbageByte(i));
    expected += hex;
  }
  EXPECT_GT(rows[1][1].size(), 200u);  // the stray bytes the 3x master waits through
  EXPECT_EQ(rows[1][1], expected);
  // Asked again, the meter answers with a good frame. Garbage the meter sent
  // before it heard the second request may still come first, as no frame.
  EXPECT_EQ(rows[2][0], kOut);
  size_t reply = 3;
  while (reply < rows.size() && rows[reply][2].empty()) {
    EXPECT_EQ(rows[reply][0], kIn);
    EXPECT_FALSE(rows[reply][1].empty()) << t.out;
    ++reply;
  }
  ASSERT_LT(reply, rows.size()) << t.out;
  EXPECT_EQ(rows[reply][0], kIn);
  EXPECT_EQ(rows[reply][2], "1");
}

}  // namespace
