// The ModBus engine against libmodbus, an RTU slave written by others, over
// real pseudo-terminals and our termios layer: both ends frame, check and
// answer on their own, so a mistake shared by our encoder and decoder shows.
#include <gtest/gtest.h>
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "comm/lumModBusProtocol.h"
#include "support/PtyPair.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kPort = 44;
constexpr int kSlaveAddress = 1;
constexpr int kMappedRegisters = 400;

// Two pseudo-terminals joined by a copying thread, like a null-modem cable:
// what is written to one slave device comes out of the other. Each end can
// then be opened by path, as libmodbus and our port both insist on.
class PtyBridge {
 public:
  ~PtyBridge() {
    stop_ = true;
    thread_.join();
  }
  const std::string& PathA() const { return a_.SlavePath(); }
  const std::string& PathB() const { return b_.SlavePath(); }

 private:
  void Run() {
    while (!stop_) {
      pollfd fds[2] = {{a_.MasterFd(), POLLIN, 0}, {b_.MasterFd(), POLLIN, 0}};
      if (poll(fds, 2, 10) <= 0) continue;
      Copy(fds[0], b_);
      Copy(fds[1], a_);
    }
  }
  static void Copy(const pollfd& from, PtyPair& to) {
    if (!(from.revents & POLLIN)) return;
    uint8_t buf[512];
    const ssize_t n = read(from.fd, buf, sizeof buf);
    if (n > 0) to.Send(Bytes(buf, buf + n));
  }

  PtyPair a_, b_;
  std::atomic<bool> stop_{false};
  std::thread thread_{[this] { Run(); }};  // last: starts once the pairs exist
};

// A libmodbus RTU slave serving holding registers 0..399 from its own thread.
class LibmodbusSlave {
 public:
  explicit LibmodbusSlave(const std::string& path)
      : ctx_(modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1)),
        map_(modbus_mapping_new(0, 0, kMappedRegisters, 0)) {
    if (!ctx_ || !map_) return;
    modbus_set_slave(ctx_, kSlaveAddress);
    if (modbus_connect(ctx_) != 0) return;
    // Wake up now and then to notice the end of the test.
    modbus_set_indication_timeout(ctx_, 0, 20000);
    connected_ = true;
    thread_ = std::thread([this] { Serve(); });
  }
  ~LibmodbusSlave() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (connected_) modbus_close(ctx_);
    if (ctx_) modbus_free(ctx_);
    if (map_) modbus_mapping_free(map_);
  }
  bool Ready() const { return connected_; }
  uint16_t Register(int i) {
    std::lock_guard lock(mutex_);
    return map_->tab_registers[i];
  }
  void SetRegister(int i, uint16_t value) {
    std::lock_guard lock(mutex_);
    map_->tab_registers[i] = value;
  }

 private:
  void Serve() {
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_) {
      const int n = modbus_receive(ctx_, request);
      if (n <= 0) continue;  // time-out, a frame for another slave, a bad CRC
      std::lock_guard lock(mutex_);
      modbus_reply(ctx_, request, n, map_);
    }
  }

  modbus_t* ctx_;
  modbus_mapping_t* map_;
  bool connected_ = false;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class ModBusInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(slave.Ready()) << "libmodbus could not open " << bridge.PathA();
    lum::BindSerialPortPath(kPort, bridge.PathB());
    port.SetComPort(kPort);
    ASSERT_TRUE(port.Open());
    port.SetOnTrace([this](TraceDirection d, std::span<const uint8_t> bytes) {
      if (d == TraceDirection::Received)
        received.insert(received.end(), bytes.begin(), bytes.end());
    });
    engine.SetComPort(&port);
    engine.SetNetAddr(kSlaveAddress);
    engine.SetEWrite(true);
  }
  void TearDown() override {
    port.Close();
    lum::UnbindSerialPort(kPort);
  }

  PtyBridge bridge;
  LibmodbusSlave slave{bridge.PathA()};
  TlumComPort port;
  TlumModBusProtocol engine;
  Bytes received;  // every byte our port read
};

TEST_F(ModBusInterop, ReadsRegistersTheSlaveHolds) {
  slave.SetRegister(315, 0x1234);
  slave.SetRegister(316, 0xABCD);
  Bytes buffer(4);
  ASSERT_TRUE(engine.ReadHoldingRegisters(315, 2, buffer)) << engine.LastError();
  EXPECT_EQ(buffer, (Bytes{0x12, 0x34, 0xAB, 0xCD}));
}

TEST_F(ModBusInterop, WrittenRegistersReachTheSlaveAndReadBack) {
  const Bytes data = {0x00, 0x01, 0xFF, 0xFE, 0x80, 0x00};
  ASSERT_TRUE(engine.WriteMultipleRegisters(320, 3, data)) << engine.LastError();
  EXPECT_EQ(slave.Register(320), 0x0001);
  EXPECT_EQ(slave.Register(321), 0xFFFE);
  EXPECT_EQ(slave.Register(322), 0x8000);
  // libmodbus acknowledges with start and count, function 16.
  ASSERT_GE(received.size(), 8u);
  EXPECT_EQ(Bytes(received.begin(), received.begin() + 6),
            (Bytes{0x01, 0x10, 0x01, 0x40, 0x00, 0x03}));
  Bytes back(6);
  ASSERT_TRUE(engine.ReadHoldingRegisters(320, 3, back)) << engine.LastError();
  EXPECT_EQ(back, data);
}

TEST_F(ModBusInterop, LongestFramesRoundTrip) {
  Bytes data(246);  // 123 registers: a 255-byte request
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 7 + 3);
  ASSERT_TRUE(engine.WriteMultipleRegisters(100, 123, data)) << engine.LastError();
  EXPECT_EQ(slave.Register(100), (data[0] << 8) | data[1]);
  EXPECT_EQ(slave.Register(222), (data[244] << 8) | data[245]);

  slave.SetRegister(223, 0x5AA5);
  slave.SetRegister(224, 0xC33C);
  Bytes back(250);  // 125 registers: a 255-byte reply
  ASSERT_TRUE(engine.ReadHoldingRegisters(100, 125, back)) << engine.LastError();
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  EXPECT_EQ(Bytes(back.end() - 4, back.end()), (Bytes{0x5A, 0xA5, 0xC3, 0x3C}));
}

TEST_F(ModBusInterop, UnmappedRegistersGiveExceptions) {
  Bytes buffer(4, 0xEE);
  EXPECT_FALSE(engine.ReadHoldingRegisters(kMappedRegisters + 100, 2, buffer));
  EXPECT_EQ(engine.LastError(), 4u);
  EXPECT_EQ(buffer, Bytes(4, 0xEE));
  // Illegal data address (2), once: a reply with a good CRC ends the attempts.
  EXPECT_EQ(received, (Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));

  // A refused write fails: the meter stored nothing.
  received.clear();
  EXPECT_FALSE(engine.WriteMultipleRegisters(kMappedRegisters + 100, 1, Bytes{0x12, 0x34}));
  EXPECT_EQ(engine.LastError(), 8u);  // refused
  EXPECT_EQ(engine.LastException(), 2);
  EXPECT_EQ(received, (Bytes{0x01, 0x90, 0x02, 0xCD, 0xC1}));
}

}  // namespace
