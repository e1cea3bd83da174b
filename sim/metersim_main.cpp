// calibrate-metersim: a virtual meter, or a bus of them, on a pseudo-terminal,
// for trying the tool without a meter. Prints the device path on the first
// line of its output and serves until SIGINT or SIGTERM; SIGUSR1 switches
// the power back on after a power-loss fault.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sim/MeterBus.h"
#include "sim/MeterSim.h"
#include "sim/PtyMeterServer.h"

namespace {

using namespace metersim;

void Usage(FILE* out) {
  std::fputs(
      "usage: calibrate-metersim (--model MODEL --addr N | --bus BUS) [--baud B] [--link PATH]\n"
      "                          [--turnaround MS] [--no-pacing] [--id TEXT] [--fault FAULT]...\n"
      "                          [--flow G1[,G2]] [--seed S] [--true-flow CH=Q]...\n"
      "                          [--error-curve CH=q1:e1,q2:e2,...]...\n"
      "  MODEL  a meter model (see below)\n"
      "  N      network address 0 to 255 (a two-node gdz1207s-2 also answers at N + 1)\n"
      "  BUS    several meters on the one line, MODEL@N,..., e.g. zfk31@1,gdz1208@5,zfk36@17\n"
      "  B      line speed for pacing the replies (default 9600)\n"
      "  PATH   symbolic link made to point at the device, removed on exit\n"
      "  TEXT   identification text instead of the model's own\n"
      "  FAULT  fault, e.g. silence, cut:n=4,times=1, delay:ms=800,kind=id,\n"
      "         not-stored, power-loss:skip=3 (SIGUSR1 powers the meters on again), echo\n"
      "  G1,G2  flows of channels 1 and 2: the present values move around them\n"
      "  S      seed of the present values' noise (default 1)\n"
      "  CH=Q   true flow of channel CH: the meter shows G = Ku*x + K0*Gmax with its\n"
      "         stored coefficients, x = Q*(1 + e(Q)/100), e the channel's error curve in %\n",
      out);
  std::string models;
  for (const std::string& name : MeterModelNames())
    models += " " + name;
  std::fprintf(out, "models:%s\n", models.c_str());
}

bool ParseUnsigned(const char* text, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && text[0] != '-' && value <= max;
}

struct Arguments {
  MeterModel model = MeterModel::Zfk31;
  bool haveModel = false;
  bool haveAddress = false;
  uint8_t address = 0;
  MeterOptions options;
  std::string link;
  std::string id;
  bool haveId = false;
  std::vector<Fault> faults;
  std::vector<BusMember> bus;
  std::vector<float> flows;
  std::vector<std::string> trueFlows, errorCurves;
  uint64_t seed = 1;
};

// "12.5" or "12.5,7.0": one or two flows.
bool ParseFlows(const std::string& text, std::vector<float>& flows) {
  flows.clear();
  size_t at = 0;
  while (flows.size() < 2) {
    const size_t comma = text.find(',', at);
    const std::string part = text.substr(at, comma == std::string::npos ? comma : comma - at);
    char* end = nullptr;
    errno = 0;
    const float flow = std::strtof(part.c_str(), &end);
    if (part.empty() || errno != 0 || *end != '\0') return false;
    flows.push_back(flow);
    if (comma == std::string::npos) return true;
    at = comma + 1;
  }
  return false;
}

// Reads the command line; prints the reason and returns false when it cannot.
bool Parse(int argc, char** argv, Arguments& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      std::exit(0);
    }
    if (arg == "--no-pacing") {
      a.options.pacing = false;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "calibrate-metersim: %s needs a value\n", arg.c_str());
      return false;
    }
    const char* value = argv[++i];
    unsigned long n = 0;
    if (arg == "--model") {
      const auto model = ParseMeterModel(value);
      if (!model) {
        std::fprintf(stderr, "calibrate-metersim: unknown model '%s'\n", value);
        return false;
      }
      a.model = *model;
      a.haveModel = true;
    } else if (arg == "--addr") {
      if (!ParseUnsigned(value, 255, n)) {
        std::fprintf(stderr, "calibrate-metersim: address must be 0 to 255, not '%s'\n", value);
        return false;
      }
      a.address = static_cast<uint8_t>(n);
      a.haveAddress = true;
    } else if (arg == "--baud") {
      if (!ParseUnsigned(value, 4'000'000, n) || n < 50) {
        std::fprintf(stderr, "calibrate-metersim: bad speed '%s'\n", value);
        return false;
      }
      a.options.baud = static_cast<uint32_t>(n);
    } else if (arg == "--turnaround") {
      if (!ParseUnsigned(value, 60'000, n)) {
        std::fprintf(stderr, "calibrate-metersim: bad turnaround '%s'\n", value);
        return false;
      }
      a.options.turnaroundMs = static_cast<uint32_t>(n);
    } else if (arg == "--bus") {
      std::string error;
      const auto bus = ParseBus(value, &error);
      if (!bus) {
        std::fprintf(stderr, "calibrate-metersim: %s\n", error.c_str());
        return false;
      }
      a.bus = *bus;
    } else if (arg == "--flow") {
      if (!ParseFlows(value, a.flows)) {
        std::fprintf(stderr, "calibrate-metersim: bad flow '%s'\n", value);
        return false;
      }
    } else if (arg == "--true-flow") {
      a.trueFlows.push_back(value);
    } else if (arg == "--error-curve") {
      a.errorCurves.push_back(value);
    } else if (arg == "--seed") {
      if (!ParseUnsigned(value, ~0ul, n)) {
        std::fprintf(stderr, "calibrate-metersim: bad seed '%s'\n", value);
        return false;
      }
      a.seed = n;
    } else if (arg == "--link") {
      a.link = value;
    } else if (arg == "--id") {
      a.id = value;
      a.haveId = true;
    } else if (arg == "--fault") {
      std::string error;
      const auto fault = ParseFault(value, &error);
      if (!fault) {
        std::fprintf(stderr, "calibrate-metersim: %s\n", error.c_str());
        return false;
      }
      a.faults.push_back(*fault);
    } else {
      std::fprintf(stderr, "calibrate-metersim: unknown option '%s'\n", arg.c_str());
      return false;
    }
  }
  if (!a.bus.empty()) {
    if (a.haveModel || a.haveAddress || a.haveId) {
      std::fputs("calibrate-metersim: --bus excludes --model, --addr and --id\n", stderr);
      return false;
    }
    return true;
  }
  if (!a.haveModel || !a.haveAddress) {
    std::fputs("calibrate-metersim: --model and --addr, or --bus, are required\n", stderr);
    return false;
  }
  a.bus.push_back({a.model, a.address});
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!Parse(argc, argv, args)) {
    Usage(stderr);
    return 2;
  }
  // Block the stop signals before any thread starts, so that every thread
  // inherits the mask and only sigwait below ever sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  const auto meters = MakeBusMeters(args.bus, args.options);
  for (const auto& meter : meters) {
    if (args.haveId) meter->SetIdText(args.id);
    for (const Fault& fault : args.faults)
      meter->AddFault(fault);
    meter->SetNoise(0.01f, args.seed);
    for (size_t ch = 0; ch < args.flows.size(); ++ch)
      meter->SetFlow(static_cast<int>(ch + 1), args.flows[ch]);
    const std::string error = ApplyTrueFlowOptions(*meter, args.trueFlows, args.errorCurves);
    if (!error.empty()) {
      std::fprintf(stderr, "calibrate-metersim: %s\n", error.c_str());
      return 2;
    }
  }

  PtyMeterServer server{MeterBus(meters)};
  if (!server.Start(args.link)) {
    std::fprintf(stderr, "calibrate-metersim: %s\n", server.ErrorText().c_str());
    return 1;
  }
  std::printf("%s\n", server.DevicePath().c_str());
  std::fflush(stdout);
  for (const auto& meter : meters)
    std::fprintf(stderr, "calibrate-metersim: %s at address %u%s, %u baud\n",
                 MeterModelName(meter->Model()), static_cast<unsigned>(meter->Address()),
                 meter->NodeCount() > 1 ? " and the next" : "", args.options.baud);

  int signal = 0;
  while (sigwait(&stopSignals, &signal) == 0 && signal == SIGUSR1)
    for (const auto& meter : meters)
      meter->PowerOn();
  server.Stop();
  // Every meter on the line hears every request; the first one's log tells.
  std::fprintf(stderr, "calibrate-metersim: stopped (%s), %zu requests heard\n",
               signal == SIGINT ? "SIGINT" : "SIGTERM", meters.front()->Requests().size());
  return 0;
}
