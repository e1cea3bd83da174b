#include "DemoMode.h"

#include "comm/serial/SerialDevice.h"
#include "sim/MeterBus.h"
#include "sim/MeterDevice.h"
#ifndef _WIN32
#include "sim/PtyMeterServer.h"
#endif

namespace {

constexpr const char* kBusName = "bus";

#ifndef _WIN32
class PtyDemo final : public DemoMeter {
 public:
  explicit PtyDemo(metersim::MeterBus bus) : bus_(bus), server_(std::move(bus)) {}
  ~PtyDemo() override { server_.Stop(); }
  bool Start(std::string& error) {
    if (server_.Start()) return true;
    error = server_.ErrorText();
    return false;
  }
  std::shared_ptr<metersim::VirtualMeter> Meter() const override { return bus_.Meters().front(); }
  std::vector<std::shared_ptr<metersim::VirtualMeter>> Meters() const override {
    return bus_.Meters();
  }
  std::string Where() const override { return server_.DevicePath(); }
  std::string Device() const override { return server_.DevicePath(); }

 private:
  metersim::MeterBus bus_;
  metersim::PtyMeterServer server_;
};
#endif

class InProcessDemo final : public DemoMeter {
 public:
  InProcessDemo(metersim::MeterBus bus, std::string name)
      : bus_(std::move(bus)), name_(std::move(name)) {
    lum::RegisterSerialDevice(name_, metersim::MeterDeviceFactory(bus_));
  }
  ~InProcessDemo() override { lum::UnregisterSerialDevice(name_); }
  std::shared_ptr<metersim::VirtualMeter> Meter() const override { return bus_.Meters().front(); }
  std::vector<std::shared_ptr<metersim::VirtualMeter>> Meters() const override {
    return bus_.Meters();
  }
  std::string Where() const override { return "in process"; }
  std::string Device() const override { return name_; }

 private:
  metersim::MeterBus bus_;
  std::string name_;
};

}  // namespace

std::vector<std::string> DemoModelNames() {
  std::vector<std::string> names = metersim::MeterModelNames();
  names.emplace_back(kBusName);
  return names;
}

std::string DemoModelList() {
  std::string list;
  for (const std::string& name : DemoModelNames())
    list += (list.empty() ? "" : ", ") + name;
  return list;
}

std::unique_ptr<DemoMeter> StartDemoMeter(const std::string& model, uint8_t addr, unsigned baud,
                                          std::string& error) {
  metersim::MeterOptions options;
  options.baud = baud;
  std::vector<std::shared_ptr<metersim::VirtualMeter>> meters;
  if (model == kBusName) {
    meters = metersim::MakeBusMeters(*metersim::ParseBus(metersim::kDemoBus), options);
  } else if (const auto parsed = metersim::ParseMeterModel(model)) {
    meters.push_back(std::make_shared<metersim::VirtualMeter>(*parsed, addr, options));
  } else {
    error = "unknown model '" + model + "' (" + DemoModelList() + ")";
    return nullptr;
  }
  // Present values move a little around the set flow, as a real meter's do,
  // so that the live view of a demo shows a living line.
  for (const auto& meter : meters)
    meter->SetNoise(0.01f, 1);
  metersim::MeterBus bus(std::move(meters));
#ifdef _WIN32
  return std::make_unique<InProcessDemo>(std::move(bus), "demo:" + model);
#else
  auto demo = std::make_unique<PtyDemo>(std::move(bus));
  if (!demo->Start(error)) return nullptr;
  return demo;
#endif
}
