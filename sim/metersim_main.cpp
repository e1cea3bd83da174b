// calibrate-metersim: a virtual meter on a pseudo-terminal, for trying the
// tool without a meter. Prints the device path on the first line of its
// output and serves until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sim/MeterSim.h"
#include "sim/PtyMeterServer.h"

namespace {

using namespace metersim;

void Usage(FILE* out) {
  std::fputs(
      "usage: calibrate-metersim --model MODEL --addr N [--baud B] [--link PATH]\n"
      "                          [--turnaround MS] [--no-pacing] [--id TEXT] [--fault FAULT]...\n"
      "  MODEL  zfk31, zfk36, gdz1207s, gdz1207s-2, gdz1208, gdz1208-2\n"
      "  N      network address 0 to 255 (a two-node gdz1207s-2 also answers at N + 1)\n"
      "  B      line speed for pacing the replies (default 9600)\n"
      "  PATH   symbolic link made to point at the device, removed on exit\n"
      "  TEXT   identification text instead of the model's own\n"
      "  FAULT  fault, e.g. silence, cut:n=4,times=1, delay:ms=800,kind=id\n",
      out);
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
};

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
  if (!a.haveModel || !a.haveAddress) {
    std::fputs("calibrate-metersim: --model and --addr are required\n", stderr);
    return false;
  }
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
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  auto meter = std::make_shared<VirtualMeter>(args.model, args.address, args.options);
  if (args.haveId) meter->SetIdText(args.id);
  for (const Fault& fault : args.faults)
    meter->AddFault(fault);

  PtyMeterServer server(meter);
  if (!server.Start(args.link)) {
    std::fprintf(stderr, "calibrate-metersim: %s\n", server.ErrorText().c_str());
    return 1;
  }
  std::printf("%s\n", server.DevicePath().c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "calibrate-metersim: %s at address %u%s, %u baud\n",
               MeterModelName(args.model), static_cast<unsigned>(args.address),
               meter->NodeCount() > 1 ? " and the next" : "", args.options.baud);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  std::fprintf(stderr, "calibrate-metersim: stopped (%s), %zu requests heard\n",
               signal == SIGINT ? "SIGINT" : "SIGTERM", meter->Requests().size());
  return 0;
}
