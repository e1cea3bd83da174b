// calibrate-bench: reads every meter model through the window's read, and takes
// its snapshot, from a virtual meter that paces its bytes at the line speed on
// a pseudo-terminal, served by a child process, and sets the time each took
// against the least time the wire allows (WireBound.h). Prints one row per
// operation, model and speed and, last, the worst ratio of measured to least
// time.
//
//   calibrate-bench [--reps N] [--op read|snapshot]... [--model NAME]...
//                   [--baud 9600|19200]... [--quick]
//
// --quick runs each operation once, and unless told otherwise only on the
// ZFK-31 at 9600. The exit code is 1 when an operation did not come out as it
// must for that model (wrong path, an error box, an "ERR" field, a failed
// snapshot item), 2 on bad arguments or when a meter cannot be started.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "MeterProcess.h"
#include "WireBound.h"
#include "app/core/BusScan.h"
#include "app/core/MeterRead.h"
#include "app/core/MeterSnapshotRead.h"
#include "app/core/RecordingView.h"
#include "comm/serial/SerialDevice.h"

namespace {

using metersim::MeterModel;

constexpr uint8_t kPort = 9;  // the port number the read opens; bound to the meter's line
constexpr uint8_t kAddr = 1;
constexpr uint32_t kTurnaroundMs = 5;
// What the engines pause after a failed attempt.
constexpr uint32_t kPause3xMs = 200;
constexpr uint32_t kPauseModBusMs = 100;

enum class Op { Read, Snapshot };

const char* OpName(Op op) {
  return op == Op::Read ? "read" : "snapshot";
}

struct Options {
  unsigned reps = 5;
  std::vector<Op> ops;
  std::vector<MeterModel> models;
  std::vector<uint32_t> bauds;
  bool scan = false;  // the bus scan instead of the reads
};

struct CaseResult {
  Op op = Op::Read;
  MeterModel model{};
  uint32_t baud = 0;
  size_t answered = 0;
  size_t unanswered = 0;
  size_t bytesOut = 0;
  size_t bytesIn = 0;
  double boundMs = 0;
  double medianMs = 0;
  double readCpu = 0;   // the bench's CPU time during the reads / their wall time
  double meterCpu = 0;  // the meter process's CPU time / the row's wall time
  std::string problem;  // empty when every read came out right
};

ReadPath ExpectedPath(MeterModel model) {
  switch (model) {
    case MeterModel::Zfk31:
      return ReadPath::Zfk31;
    case MeterModel::Zfk36:
      return ReadPath::Zfk36;
    case MeterModel::Gdz1207s:
      return ReadPath::GdzSingle;
    case MeterModel::Gdz1207s2:
      return ReadPath::GdzDouble;
    default:
      return ReadPath::ModBus;
  }
}

// The 3x engine of the read that sends a request of this kind to this model.
const Tlum3xProtocol& Engine3x(const TMeterRead& read, MeterModel model,
                               metersim::RequestKind kind) {
  if (kind == metersim::RequestKind::Identify) return read.Zfk31;
  if (model == MeterModel::Zfk36) return read.Zfk36;
  if (model == MeterModel::Gdz1207s || model == MeterModel::Gdz1207s2) return read.Gdz1207s;
  return read.Zfk31;
}

uint64_t SilenceCostMs(const TMeterRead& read, MeterModel model, const MeterProcess::Request& r) {
  if (r.protocol == metersim::Protocol::ThreeX)
    return SilentAttemptMs(Engine3x(read, model, r.kind).PacketTimeout(), kPause3xMs);
  const bool identify = r.kind == metersim::RequestKind::Identify;
  return SilentAttemptMs(read.Gdz1208.PacketTimeout(), identify ? 0 : kPauseModBusMs);
}

// What went wrong with one read; empty when nothing did.
std::string Judge(MeterModel model, const MeterReading& outcome, const RecordingView& view) {
  if (outcome.path != ExpectedPath(model)) return "read took the wrong path";
  if (!view.errors.empty()) return "error box: " + view.errors.front();
  for (const auto& field : view.fields)
    if (field && *field == "ERR") return "a field shows ERR";
  const auto& number = view.Field(ReadField::ELicNo);
  if (!number || number->empty()) return "no serial number";
  return {};
}

// One run of the operation; what went wrong with it, empty when nothing did.
std::string RunOnce(Op op, TMeterRead& read, MeterModel model, const ReadRequest& request) {
  if (op == Op::Read) {
    RecordingView view;
    const MeterReading outcome = read.BRefreshClick(view, request);
    return Judge(model, outcome, view);
  }
  const MeterSnapshot s = TMeterSnapshot(read).Take(request);
  if (s.path != ExpectedPath(model)) return "snapshot took the wrong path";
  if (s.AnyFailed()) return "a snapshot item failed";
  return {};
}

// CPU seconds this process has used, user and system.
double CpuNow() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Fills the traffic figures of one read from the meter's log and the port's
// byte counts; returns how many request bytes the meter heard.
size_t CountTraffic(const TMeterRead& read, MeterModel model,
                    const std::vector<MeterProcess::Request>& log, size_t bytesIn, CaseResult& c,
                    ReadTraffic& traffic) {
  c.answered = c.unanswered = 0;
  size_t heard = 0;
  traffic.answeredBytes = bytesIn;
  traffic.silenceMs = 0;
  for (const auto& r : log) {
    heard += r.bytes;
    if (r.replied) {
      ++c.answered;
      traffic.answeredBytes += r.bytes;
    } else {
      ++c.unanswered;
      traffic.silenceMs += SilenceCostMs(read, model, r);
    }
  }
  traffic.answered = c.answered;
  return heard;
}

CaseResult RunCase(Op op, MeterModel model, uint32_t baud, unsigned reps) {
  CaseResult c;
  c.op = op;
  c.model = model;
  c.baud = baud;
  MeterProcess meter;
  const auto rowStart = std::chrono::steady_clock::now();
  if (!meter.Start(model, kAddr, baud, kTurnaroundMs)) {
    c.problem = "cannot start the meter: " + meter.ErrorText();
    return c;
  }
  BindSerialPortPath(kPort, meter.DevicePath());

  TMeterRead read;
  size_t sent = 0;
  size_t received = 0;
  read.lumComPort.SetOnTrace([&](TraceDirection d, std::span<const uint8_t> bytes) {
    (d == TraceDirection::Sent ? sent : received) += bytes.size();
  });
  ReadRequest request;
  request.portIndex = kPort - 1;
  request.portText = "COM" + std::to_string(kPort);
  request.baudIndex = baud == 9600 ? 0 : 1;
  request.netAddr = kAddr;

  ReadTraffic traffic;
  traffic.baud = baud;
  traffic.turnaroundMs = kTurnaroundMs;
  std::vector<double> times;
  double cpu = 0;
  for (unsigned rep = 0; rep < reps; ++rep) {
    sent = received = 0;
    const double cpuBefore = CpuNow();
    const auto t0 = std::chrono::steady_clock::now();
    const std::string problem = RunOnce(op, read, model, request);
    times.push_back(SecondsSince(t0) * 1000);
    cpu += CpuNow() - cpuBefore;
    if (c.problem.empty()) c.problem = problem;
    const size_t before = c.answered + c.unanswered;
    const size_t heard = CountTraffic(read, model, meter.TakeRequests(), received, c, traffic);
    if (heard != sent && c.problem.empty())
      c.problem = "the meter heard other bytes than were sent";
    if (rep > 0 && before != c.answered + c.unanswered && c.problem.empty())
      c.problem = "transactions differ between reads";
    c.bytesOut = sent;
    c.bytesIn = received;
  }
  UnbindSerialPort(kPort);
  meter.Stop();
  double wall = 0;
  for (double t : times)
    wall += t / 1000;
  c.readCpu = cpu / wall;
  c.meterCpu = meter.ChildCpuSeconds() / SecondsSince(rowStart);
  c.boundMs = WireBoundMs(traffic);
  c.medianMs = Median(times);
  return c;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  if (!(in >> a >> b >> c)) return "unknown";
  return a + " " + b + " " + c;
}

void PrintHeader(const Options& o) {
  std::printf(
      "# Each row: one operation on one model at one speed, run %u times against a\n"
      "# virtual meter (a child process) on a pseudo-terminal that paces its bytes\n"
      "# at the line speed and answers %u ms after a request's last byte.\n"
      "# op       read: the window's read; snapshot: every item the model has\n"
      "# tx       transactions the meter answered + those it did not (each attempt)\n"
      "# out/in   bytes written to / read from the port in one run\n"
      "# bound    least time on the wire: each byte of an answered transaction\n"
      "#          (request and reply) ten bit times, plus %u ms turnaround per\n"
      "#          answered transaction, plus for each unanswered one the engine's\n"
      "#          wait for silence: 10 ms turnaround pause + packet time-out + its\n"
      "#          last 10 ms look + the pause after the attempt (3x 200 ms; ModBus\n"
      "#          100 ms, none after an identification). The request bytes of an\n"
      "#          unanswered attempt travel during that wait.\n"
      "# median   median wall time of one run, opening and closing the port included\n"
      "# ratio    median / bound\n"
      "# cpu read CPU time of this process (user + system) during the runs / their\n"
      "#          wall time; the meter runs in a child process of its own\n"
      "# cpu mtr  the meter process's CPU time / the row's wall time, for comparison\n"
      "# load average at start: %s\n",
      o.reps, kTurnaroundMs, kTurnaroundMs, LoadAverage().c_str());
  std::printf("%-8s %-11s %6s %7s %5s %5s %9s %9s %6s %8s %7s\n", "op", "model", "baud", "tx",
              "out", "in", "bound ms", "median ms", "ratio", "cpu read", "cpu mtr");
}

void PrintRow(const CaseResult& c) {
  const std::string tx = std::to_string(c.answered) + "+" + std::to_string(c.unanswered);
  std::printf("%-8s %-11s %6u %7s %5zu %5zu %9.1f %9.1f %6.2f %7.1f%% %6.1f%%%s%s\n", OpName(c.op),
              metersim::MeterModelName(c.model), c.baud, tx.c_str(), c.bytesOut, c.bytesIn,
              c.boundMs, c.medianMs, c.boundMs > 0 ? c.medianMs / c.boundMs : 0.0, 100 * c.readCpu,
              100 * c.meterCpu, c.problem.empty() ? "" : "  FAILED: ", c.problem.c_str());
  std::fflush(stdout);
}

bool ParseOptions(int argc, char** argv, Options& o) {
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--quick") {
      quick = true;
    } else if (arg == "--scan") {
      o.scan = true;
    } else if (arg == "--reps" && hasValue) {
      const int n = std::atoi(argv[++i]);
      if (n < 1 || n > 1000) return false;
      o.reps = static_cast<unsigned>(n);
    } else if (arg == "--op" && hasValue) {
      const std::string op = argv[++i];
      if (op != "read" && op != "snapshot") return false;
      o.ops.push_back(op == "read" ? Op::Read : Op::Snapshot);
    } else if (arg == "--model" && hasValue) {
      const auto model = metersim::ParseMeterModel(argv[++i]);
      if (!model) return false;
      o.models.push_back(*model);
    } else if (arg == "--baud" && hasValue) {
      const std::string baud = argv[++i];
      if (baud != "9600" && baud != "19200") return false;
      o.bauds.push_back(baud == "9600" ? 9600u : 19200u);
    } else {
      return false;
    }
  }
  if (quick) {
    o.reps = 1;
    if (o.models.empty()) o.models = {MeterModel::Zfk31};
    if (o.bauds.empty()) o.bauds = {9600};
  }
  if (o.models.empty())
    o.models = {MeterModel::Zfk31,     MeterModel::Zfk36,   MeterModel::Gdz1207s,
                MeterModel::Gdz1207s2, MeterModel::Gdz1208, MeterModel::Gdz1208x2};
  if (o.bauds.empty()) o.bauds = {9600, 19200};
  if (o.ops.empty()) o.ops = {Op::Read, Op::Snapshot};
  return true;
}

}  // namespace

// A scan must cover addresses 0..127 in both protocols at 9600 within this.
constexpr double kScanLimitMs = 20000;

class ProbeCount : public ScanListener {
 public:
  void OnProgress(const ScanProgress&) override { ++probes; }
  size_t probes = 0;
};

// The bus scan of 0..127, both protocols, against one ZFK-31 at kAddr. Its
// wire bound: the answered transactions' bytes and turnarounds, and for every
// other probe the engine's wait for silence (no pause after it in a scan).
int RunScanCase(uint32_t baud) {
  MeterProcess meter;
  if (!meter.Start(MeterModel::Zfk31, kAddr, baud, kTurnaroundMs)) {
    std::printf("scan %u: cannot start the meter: %s\n", baud, meter.ErrorText().c_str());
    return 2;
  }
  BindSerialPortPath(kPort, meter.DevicePath());
  TBusScan scan;
  size_t received = 0;
  scan.lumComPort.SetOnTrace([&](TraceDirection d, std::span<const uint8_t> bytes) {
    if (d == TraceDirection::Received) received += bytes.size();
  });
  ScanRequest request;
  request.portNumber = kPort;
  request.bauds = {baud};
  ProbeCount probes;
  const auto t0 = std::chrono::steady_clock::now();
  const ScanOutcome outcome = scan.Run(request, probes);
  const double ms = SecondsSince(t0) * 1000;
  UnbindSerialPort(kPort);
  ReadTraffic traffic;
  traffic.baud = baud;
  traffic.turnaroundMs = kTurnaroundMs;
  traffic.answeredBytes = received;
  for (const MeterProcess::Request& r : meter.TakeRequests())
    if (r.replied) {
      ++traffic.answered;
      traffic.answeredBytes += r.bytes;
    }
  meter.Stop();
  const size_t silent = probes.probes - outcome.meters.size();
  traffic.silenceMs = silent * SilentAttemptMs(static_cast<uint32_t>(request.timeouts.packetMs), 0);
  const double bound = WireBoundMs(traffic);
  const bool right = outcome.meters.size() == 1 && outcome.meters[0].address == kAddr;
  std::printf(
      "scan 0..127 3x+modbus %6u baud: %zu probes, measured %.0f ms, wire bound %.0f ms, "
      "ratio %.2f%s%s\n",
      baud, probes.probes, ms, bound, ms / bound, right ? "" : "  (wrong meters found)",
      baud == 9600 && ms > kScanLimitMs ? "  (over 20 s)" : "");
  return right && !(baud == 9600 && ms > kScanLimitMs) ? 0 : 1;
}

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: calibrate-bench [--reps N] [--op read|snapshot]... [--model NAME]... "
                 "[--baud 9600|19200]... [--quick] [--scan]\n");
    return 2;
  }
  if (options.scan) {
    int status = 0;
    for (uint32_t baud : options.bauds)
      status = std::max(status, RunScanCase(baud));
    std::printf("# load average at end: %s\n", LoadAverage().c_str());
    return status;
  }
  PrintHeader(options);
  double worst = 0;
  int status = 0;
  for (Op op : options.ops) {
    for (uint32_t baud : options.bauds) {
      for (MeterModel model : options.models) {
        const CaseResult c = RunCase(op, model, baud, options.reps);
        PrintRow(c);
        if (!c.problem.empty()) status = c.boundMs > 0 ? 1 : 2;
        if (c.boundMs > 0) worst = std::max(worst, c.medianMs / c.boundMs);
      }
    }
  }
  std::printf("# load average at end: %s\n", LoadAverage().c_str());
  std::printf("worst ratio %.2f\n", worst);
  return status;
}
