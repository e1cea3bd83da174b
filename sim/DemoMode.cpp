#include "DemoMode.h"

#include "comm/serial/SerialDevice.h"
#include "sim/MeterDevice.h"
#ifndef _WIN32
#include "sim/PtyMeterServer.h"
#endif

namespace {

#ifndef _WIN32
class PtyDemo final : public DemoMeter {
 public:
  PtyDemo(std::shared_ptr<metersim::VirtualMeter> meter, uint8_t port)
      : meter_(std::move(meter)), server_(meter_), port_(port) {}
  ~PtyDemo() override {
    UnbindSerialPort(port_);
    server_.Stop();
  }
  bool Start(std::string& error) {
    if (!server_.Start()) {
      error = server_.ErrorText();
      return false;
    }
    BindSerialPortPath(port_, server_.DevicePath());
    return true;
  }
  std::shared_ptr<metersim::VirtualMeter> Meter() const override { return meter_; }
  std::string Where() const override { return server_.DevicePath(); }

 private:
  std::shared_ptr<metersim::VirtualMeter> meter_;
  metersim::PtyMeterServer server_;
  uint8_t port_;
};
#endif

class InProcessDemo final : public DemoMeter {
 public:
  InProcessDemo(std::shared_ptr<metersim::VirtualMeter> meter, uint8_t port)
      : meter_(std::move(meter)), port_(port) {
    metersim::BindMeterToPort(port_, meter_);
  }
  ~InProcessDemo() override { UnbindSerialPort(port_); }
  std::shared_ptr<metersim::VirtualMeter> Meter() const override { return meter_; }
  std::string Where() const override { return "in process"; }

 private:
  std::shared_ptr<metersim::VirtualMeter> meter_;
  uint8_t port_;
};

}  // namespace

std::unique_ptr<DemoMeter> StartDemoMeter(const std::string& model, uint8_t port, uint8_t addr,
                                          unsigned baud, std::string& error) {
  const auto parsed = metersim::ParseMeterModel(model);
  if (!parsed) {
    error = "unknown model '" + model + "'";
    return nullptr;
  }
  metersim::MeterOptions options;
  options.baud = baud;
  auto meter = std::make_shared<metersim::VirtualMeter>(*parsed, addr, options);
#ifdef _WIN32
  return std::make_unique<InProcessDemo>(std::move(meter), port);
#else
  auto demo = std::make_unique<PtyDemo>(std::move(meter), port);
  if (!demo->Start(error)) return nullptr;
  return demo;
#endif
}
