// A ModBus RTU master written by others (libmodbus) against the virtual
// GDZ-12.08, so that the meter's ModBus side is confirmed independently.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "SimTestUtil.h"
#include "sim/PtyMeterServer.h"

namespace {

using metersim::MeterModel;
using metersim::PtyMeterServer;
using namespace simtest;

class LibModbus : public ::testing::Test {
 protected:
  void SetUp() override {
    meter = std::make_shared<metersim::VirtualMeter>(MeterModel::Gdz1208x2, 7);
    server = std::make_unique<PtyMeterServer>(meter);
    ASSERT_TRUE(server->Start()) << server->ErrorText();
    ctx = modbus_new_rtu(server->DevicePath().c_str(), 19200, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(modbus_set_slave(ctx, 7), 0);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
  }
  void TearDown() override {
    if (ctx) {
      modbus_close(ctx);
      modbus_free(ctx);
    }
  }

  std::shared_ptr<metersim::VirtualMeter> meter;
  std::unique_ptr<PtyMeterServer> server;
  modbus_t* ctx = nullptr;
};

TEST_F(LibModbus, ReadsHoldingRegisters) {
  uint16_t regs[8] = {};
  ASSERT_EQ(modbus_read_registers(ctx, 315, 2, regs), 2) << modbus_strerror(errno);
  EXPECT_EQ((uint32_t{regs[0]} << 16) | regs[1], 120845u);
  ASSERT_EQ(modbus_read_registers(ctx, 171, 8, regs), 8) << modbus_strerror(errno);
  EXPECT_EQ(regs[0], 0x4331);  // "C1": the seal starts with C
  EXPECT_EQ(regs[5], 0x1607);  // year 16, month 07
}

TEST_F(LibModbus, WritesRegistersAndReadsThemBack) {
  const uint16_t values[3] = {0xFF9C, 0x3F80, 0x0000};
  ASSERT_EQ(modbus_write_registers(ctx, 370, 3, values), 3) << modbus_strerror(errno);
  EXPECT_EQ(meter->Register(370), 0xFF9C);
  EXPECT_EQ(meter->Register(371), 0x3F80);
  ASSERT_EQ(modbus_write_register(ctx, 320, 1), 1) << modbus_strerror(errno);
  uint16_t back[2] = {};
  ASSERT_EQ(modbus_read_registers(ctx, 320, 1, back), 1);
  EXPECT_EQ(back[0], 1);
  const auto log = meter->Requests();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(log[0].writes);
  EXPECT_EQ(log[0].start, 370u);
  EXPECT_FALSE(log[2].writes);
}

TEST_F(LibModbus, MissingRegisterGivesAnIllegalDataAddressException) {
  uint16_t regs[4] = {};
  errno = 0;
  EXPECT_EQ(modbus_read_registers(ctx, 398, 4, regs), -1);
  EXPECT_EQ(errno, EMBXILADD);
  const uint16_t value = 1;
  errno = 0;
  EXPECT_EQ(modbus_write_registers(ctx, 400, 1, &value), -1);
  EXPECT_EQ(errno, EMBXILADD);
}

TEST_F(LibModbus, ReportSlaveIdCarriesTheIdentificationText) {
  uint8_t id[64] = {};
  const int n = modbus_report_slave_id(ctx, sizeof id, id);
  ASSERT_EQ(n, 6) << modbus_strerror(errno);
  EXPECT_EQ(id[0], 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(id + 1), 5), "TGDZ2");
}

}  // namespace
