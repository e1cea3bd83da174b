// calibrate-bench: reads every meter model through the window's read, and takes
// its snapshot, from a virtual meter that paces its bytes at the line speed on
// a pseudo-terminal, served by a child process, and sets the time each took
// against the least time the wire allows (WireBound.h). Prints one row per
// operation, model and speed and, last, the worst ratio of measured to least
// time.
//
//   calibrate-bench [--reps N] [--op read|snapshot]... [--model NAME]...
//                   [--baud 9600|19200]... [--quick] [--scan] [--write]
//   calibrate-bench --department [--events N] [--database URL] [--quick]
//
// --quick runs each operation once, and unless told otherwise only on the
// ZFK-31 at 9600. The exit code is 1 when an operation did not come out as it
// must for that model (wrong path, an error box, an "ERR" field, a failed
// snapshot item), 2 on bad arguments or when a meter cannot be started.
// --scan times the bus scan instead; --write the guarded write's full reset
// and restore of a ZFK-36 (at 9600 unless told otherwise) against their wire
// bound and a snapshot of the same meter, and fails when either takes more
// than 1.3 times its bound or 4 times the snapshot (with --quick the times
// are shown, not judged).
// --route times the route (Route.h) over a bus of a ZFK-31, a GDZ-12.08 and a
// ZFK-36 at 9600 against the same scan alone plus 1.3 times the three
// snapshots' wire bound (with --quick over addresses 0..20, not judged).
// --department times the department's record (DepartmentBench.h): pushing
// and pulling N events (default 100,000; 2,000 with --quick, not judged) and
// one meter's history afterwards.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DepartmentBench.h"
#include "MeterProcess.h"
#include "WireBound.h"
#include "app/core/meter/MeterRead.h"
#include "app/core/meter/RecordingView.h"
#include "app/core/ops/BusScan.h"
#include "app/core/ops/GuardedWrite.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/core/ops/Route.h"
#include "app/core/values/WriteImage.h"

namespace {

// The virtual meter's models; MeterModel alone is the core's.
using SimModel = metersim::MeterModel;

constexpr uint8_t kAddr = 1;
constexpr uint32_t kTurnaroundMs = 5;
// What the engines pause after a failed attempt.
constexpr uint32_t kPause3xMs = 200;
constexpr uint32_t kPauseModBusMs = 100;

enum class Op { Read, Snapshot, Reset, Restore };

const char* OpName(Op op) {
  switch (op) {
    case Op::Read:
      return "read";
    case Op::Snapshot:
      return "snapshot";
    case Op::Reset:
      return "reset";
    default:
      return "restore";
  }
}

struct Options {
  unsigned reps = 5;
  std::vector<Op> ops;
  std::vector<SimModel> models;
  std::vector<uint32_t> bauds;
  bool scan = false;                    // the bus scan instead of the reads
  bool write = false;                   // the ZFK-36's reset and restore instead of the reads
  bool route = false;                   // the route over a bus of three instead of the reads
  bool quick = false;                   // one run of each; the write's times are shown, not judged
  bool department = false;              // the department's record instead
  std::optional<unsigned> events;       // its journal's size
  std::optional<std::string> database;  // its server; a throwaway one by default
};

struct CaseResult {
  Op op = Op::Read;
  SimModel model{};
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

ReadPath ExpectedPath(SimModel model) {
  switch (model) {
    case SimModel::Zfk31:
      return ReadPath::Zfk31;
    case SimModel::Zfk36:
      return ReadPath::Zfk36;
    case SimModel::Gdz1207s:
      return ReadPath::GdzSingle;
    case SimModel::Gdz1207s2:
      return ReadPath::GdzDouble;
    default:
      return ReadPath::ModBus;
  }
}

// The meter's line: the pseudo-terminal's path is the device and its name.
PortSpec SpecOf(const MeterProcess& meter, uint32_t baud) {
  return {meter.DevicePath(), meter.DevicePath(), baud, kAddr, false};
}

// The 3x engine of the connection that sends a request of this kind to this model.
const Tlum3xProtocol& Engine3x(const Connection& connection, SimModel model,
                               metersim::RequestKind kind) {
  if (kind == metersim::RequestKind::Identify) return connection.Zfk31();
  if (model == SimModel::Zfk36) return connection.Zfk36();
  if (model == SimModel::Gdz1207s || model == SimModel::Gdz1207s2) return connection.Gdz1207s();
  return connection.Zfk31();
}

uint64_t SilenceCostMs(const Connection& connection, SimModel model,
                       const MeterProcess::Request& r) {
  if (r.protocol == metersim::Protocol::ThreeX)
    return SilentAttemptMs(Engine3x(connection, model, r.kind).PacketTimeout(), kPause3xMs);
  const bool identify = r.kind == metersim::RequestKind::Identify;
  return SilentAttemptMs(connection.Gdz1208().PacketTimeout(), identify ? 0 : kPauseModBusMs);
}

// What went wrong with one read; empty when nothing did.
std::string Judge(SimModel model, const MeterReading& outcome, const RecordingView& view) {
  if (outcome.path != ExpectedPath(model)) return "read took the wrong path";
  if (!view.errors.empty()) return "error box: " + view.errors.front();
  for (const auto& field : view.fields)
    if (field && *field == "ERR") return "a field shows ERR";
  const auto& number = view.Field(ReadField::ELicNo);
  if (!number || number->empty()) return "no serial number";
  return {};
}

// The guarded write's confirmation for the bench's own virtual meter: write
// whatever serial number it reports.
class ConfirmingView : public WriteView {
 public:
  void ShowDifference(const Confirmation&) override {}
  bool WarningsAccepted() const override { return true; }
  Answer Confirm(const std::string& serial) override {
    return serial.empty() ? Answer::Refuse : Answer::Write;
  }
  void ShowMessage(const std::string&) override {}
};

// One operation on the meter the PortSpec names: the read through the window's read
// object, everything else through a connection of its own, identified,
// run and closed within the time measured, as the command line's commands do.
class Runner {
 public:
  Runner(PortSpec spec, TOnTrace trace) : spec_(std::move(spec)), trace_(std::move(trace)) {
    read_.SetOnTrace(trace_);
  }

  // What went wrong with the operation; empty when nothing did.
  std::string Run(Op op, SimModel model, const WriteRequest& write = {}) {
    if (op == Op::Read) {
      connection_.reset();
      RecordingView view;
      const MeterReading outcome = read_.BRefreshClick(view, spec_);
      return Judge(model, outcome, view);
    }
    Connected c = Connect(spec_, catalogue_, trace_);
    connection_ = std::move(c.connection);
    if (!c.meter) {
      connection_->Close();
      return "no meter: " + c.message;
    }
    std::string problem;
    if (op == Op::Snapshot) {
      const MeterSnapshot s = TakeSnapshot(*c.meter, catalogue_);
      if (s.path != ExpectedPath(model)) problem = "snapshot took the wrong path";
      if (problem.empty() && s.AnyFailed()) problem = "a snapshot item failed";
    } else {
      ConfirmingView view;
      written_ = RunGuardedWrite(*c.meter, write, view);
      if (written_.status != WriteStatus::Verified)
        problem = std::string(OpName(op)) + " not verified: " + written_.reason;
      if (connection_->AnyWriteEnabled()) problem = "EWrite left on";
    }
    connection_->Close();
    return problem;
  }

  // The connection the last operation ran on, for its engines' time-outs.
  const Connection& Last() const { return connection_ ? *connection_ : *read_.LastConnection(); }
  // What the last reset or restore came to.
  const WriteOutcome& Written() const { return written_; }

 private:
  PortSpec spec_;
  LineTrace trace_;
  Catalogue catalogue_;
  TMeterRead read_;
  std::unique_ptr<Connection> connection_;
  WriteOutcome written_;
};

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

// Fills the traffic figures of one run from the meter's log and the port's
// byte counts; returns how many request bytes the meter heard.
size_t CountTraffic(const Connection& connection, SimModel model,
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
      traffic.silenceMs += SilenceCostMs(connection, model, r);
    }
  }
  traffic.answered = c.answered;
  return heard;
}

// The runs of one operation in one row: their times, CPU and traffic.
struct Tally {
  explicit Tally(Op op, SimModel model, uint32_t baud) {
    c.op = op;
    c.model = model;
    c.baud = baud;
    traffic.baud = baud;
    traffic.turnaroundMs = kTurnaroundMs;
  }
  CaseResult c;
  ReadTraffic traffic;
  std::vector<double> times;
  double cpu = 0;
  size_t sent = 0;
  size_t received = 0;

  // Runs the operation once and books it.
  void RunOnce(Runner& runner, MeterProcess& meter, const WriteRequest& write = {}) {
    sent = received = 0;
    const double cpuBefore = CpuNow();
    const auto t0 = std::chrono::steady_clock::now();
    const std::string problem = runner.Run(c.op, c.model, write);
    times.push_back(SecondsSince(t0) * 1000);
    cpu += CpuNow() - cpuBefore;
    if (c.problem.empty()) c.problem = problem;
    const size_t before = c.answered + c.unanswered;
    const size_t heard =
        CountTraffic(runner.Last(), c.model, meter.TakeRequests(), received, c, traffic);
    if (heard != sent && c.problem.empty())
      c.problem = "the meter heard other bytes than were sent";
    if (times.size() > 1 && before != c.answered + c.unanswered && c.problem.empty())
      c.problem = "transactions differ between runs";
    c.bytesOut = sent;
    c.bytesIn = received;
  }
  // The row's figures; meterCpu is the caller's.
  CaseResult Result() {
    double wall = 0;
    for (double t : times)
      wall += t / 1000;
    c.readCpu = wall > 0 ? cpu / wall : 0;
    c.boundMs = WireBoundMs(traffic);
    c.medianMs = times.empty() ? 0 : Median(times);
    return c;
  }
  // Counts the bytes of the port into the run being booked.
  TOnTrace Counter() {
    return [this](TraceDirection d, std::span<const uint8_t> bytes) {
      (d == TraceDirection::Sent ? sent : received) += bytes.size();
    };
  }
};

CaseResult RunCase(Op op, SimModel model, uint32_t baud, unsigned reps) {
  Tally tally(op, model, baud);
  MeterProcess meter;
  const auto rowStart = std::chrono::steady_clock::now();
  if (!meter.Start(model, kAddr, baud, kTurnaroundMs)) {
    tally.c.problem = "cannot start the meter: " + meter.ErrorText();
    return tally.c;
  }
  Runner runner(SpecOf(meter, baud), tally.Counter());
  for (unsigned rep = 0; rep < reps; ++rep)
    tally.RunOnce(runner, meter);
  meter.Stop();
  CaseResult c = tally.Result();
  c.meterCpu = meter.ChildCpuSeconds() / SecondsSince(rowStart);
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
      "# op       read: the window's read; snapshot: every item the model has;\n"
      "#          reset / restore (--write): the guarded write's whole reset and the\n"
      "#          restore of the before-image that reset saved, each with its reads\n"
      "#          before and after the write\n"
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
  bool& quick = o.quick;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--quick") {
      quick = true;
    } else if (arg == "--scan") {
      o.scan = true;
    } else if (arg == "--write") {
      o.write = true;
    } else if (arg == "--route") {
      o.route = true;
    } else if (arg == "--department") {
      o.department = true;
    } else if (arg == "--events" && hasValue) {
      const long n = std::atol(argv[++i]);
      if (n < 100 || n > 10000000 || n % 100 != 0) return false;
      o.events = static_cast<unsigned>(n);
    } else if (arg == "--database" && hasValue) {
      o.database = argv[++i];
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
    if (o.models.empty()) o.models = {SimModel::Zfk31};
    if (o.bauds.empty()) o.bauds = {9600};
  }
  if ((o.write || o.route) && o.bauds.empty()) o.bauds = {9600};
  if (o.models.empty())
    o.models = {SimModel::Zfk31,     SimModel::Zfk36,   SimModel::Gdz1207s,
                SimModel::Gdz1207s2, SimModel::Gdz1208, SimModel::Gdz1208x2};
  if (o.bauds.empty()) o.bauds = {9600, 19200};
  if (o.ops.empty()) o.ops = {Op::Read, Op::Snapshot};
  return true;
}

}  // namespace

// A scan must cover addresses 0..127 in both protocols at 9600 within this.
// Every silent address is asked twice, so that a meter that misses a request
// is still found: 255 silent addresses of 2 waits of 60 ms are some 31 s.
constexpr double kScanLimitMs = 40000;

class ProbeCount : public ScanListener {
 public:
  void OnProgress(const ScanProgress&) override { ++probes; }
  size_t probes = 0;
};

// The bus scan of 0..127, both protocols, against one ZFK-31 at kAddr. Its
// wire bound: the answered transactions' bytes and turnarounds, and for every
// other probe two of the engine's waits for silence (no pause after them in a
// scan).
int RunScanCase(uint32_t baud) {
  MeterProcess meter;
  if (!meter.Start(SimModel::Zfk31, kAddr, baud, kTurnaroundMs)) {
    std::printf("scan %u: cannot start the meter: %s\n", baud, meter.ErrorText().c_str());
    return 2;
  }
  TBusScan scan;
  size_t received = 0;
  scan.lumComPort.SetOnTrace([&](TraceDirection d, std::span<const uint8_t> bytes) {
    if (d == TraceDirection::Received) received += bytes.size();
  });
  ScanRequest request;
  request.port = SpecOf(meter, baud);
  request.bauds = {baud};
  ProbeCount probes;
  const auto t0 = std::chrono::steady_clock::now();
  const ScanOutcome outcome = scan.Run(request, probes);
  const double ms = SecondsSince(t0) * 1000;
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
  traffic.silenceMs =
      2 * silent * SilentAttemptMs(static_cast<uint32_t>(request.timeouts.packetMs), 0);
  const double bound = WireBoundMs(traffic);
  const bool right = outcome.meters.size() == 1 && outcome.meters[0].address == kAddr;
  std::printf(
      "scan 0..127 3x+modbus %6u baud: %zu probes, measured %.0f ms, wire bound %.0f ms, "
      "ratio %.2f%s%s\n",
      baud, probes.probes, ms, bound, ms / bound, right ? "" : "  (wrong meters found)",
      baud == 9600 && ms > kScanLimitMs ? "  (over 40 s)" : "");
  return right && !(baud == 9600 && ms > kScanLimitMs) ? 0 : 1;
}

// The guarded write on a ZFK-36: a full reset, then the restore of the
// before-image that reset saved, each against its own wire bound and against a
// snapshot of the same meter taken in the same run. Both read every item
// before writing (the before-image) and after (the verification), so they
// must stay close to their bytes on the wire and within a few snapshots.
constexpr double kWriteBoundLimit = 1.3;
constexpr double kWriteSnapshotLimit = 4.0;

std::vector<std::vector<uint8_t>> ImageBytes(const ItemsImage& image) {
  std::vector<std::vector<uint8_t>> bytes;
  for (const ImageItem& item : image.items)
    bytes.push_back(item.Raw());
  return bytes;
}

int RunWriteCase(uint32_t baud, unsigned reps, bool judgeTime) {
  const SimModel model = SimModel::Zfk36;
  MeterProcess meter;
  const auto rowStart = std::chrono::steady_clock::now();
  if (!meter.Start(model, kAddr, baud, kTurnaroundMs)) {
    std::printf("write %u: cannot start the meter: %s\n", baud, meter.ErrorText().c_str());
    return 2;
  }
  char tmpl[] = "/tmp/calibrate-bench-XXXXXX";
  if (!mkdtemp(tmpl)) {
    std::printf("write %u: no folder for the before-images\n", baud);
    return 2;
  }
  const std::string dir = tmpl;
  Tally snapshot(Op::Snapshot, model, baud), reset(Op::Reset, model, baud),
      restore(Op::Restore, model, baud);
  Tally* counting = &snapshot;
  Runner runner(SpecOf(meter, baud), [&](TraceDirection d, std::span<const uint8_t> bytes) {
    (d == TraceDirection::Sent ? counting->sent : counting->received) += bytes.size();
  });
  for (unsigned rep = 0; rep < reps; ++rep) {
    counting = &snapshot;
    snapshot.RunOnce(runner, meter);
    WriteRequest whole;
    whole.kind = WriteKind::Reset;
    whole.saveDir = dir;
    counting = &reset;
    reset.RunOnce(runner, meter, whole);
    std::string error;
    const std::optional<ItemsImage> saved = LoadRestoreImage(runner.Written().imagePath, error);
    if (!saved) {
      if (reset.c.problem.empty()) reset.c.problem = "no before-image: " + error;
      break;
    }
    WriteRequest back;
    back.kind = WriteKind::Restore;
    back.restore = saved;
    back.saveDir = dir;
    counting = &restore;
    restore.RunOnce(runner, meter, back);
    if (restore.c.problem.empty() && ImageBytes(runner.Written().after) != ImageBytes(*saved))
      restore.c.problem = "the restore did not bring the before-image back";
  }
  meter.Stop();
  std::filesystem::remove_all(dir);
  const double meterCpu = meter.ChildCpuSeconds() / SecondsSince(rowStart);
  std::vector<CaseResult> rows;
  for (Tally* t : {&snapshot, &reset, &restore}) {
    rows.push_back(t->Result());
    rows.back().meterCpu = meterCpu;
    PrintRow(rows.back());
  }
  const CaseResult& snap = rows[0];
  int status = 0;
  for (const CaseResult& w : {rows[1], rows[2]}) {
    const double toBound = w.boundMs > 0 ? w.medianMs / w.boundMs : 0;
    const double toSnapshot = snap.medianMs > 0 ? w.medianMs / snap.medianMs : 0;
    const bool boundOk = w.boundMs > 0 && toBound <= kWriteBoundLimit;
    const bool snapshotOk = snap.medianMs > 0 && toSnapshot <= kWriteSnapshotLimit;
    std::printf(
        "%s zfk36 %u baud: measured %.1f ms, wire bound %.1f ms, ratio %.2f%s; "
        "%.2fx the snapshot's %.1f ms%s\n",
        OpName(w.op), baud, w.medianMs, w.boundMs, toBound,
        boundOk ? "" : "  (over 1.3x the wire bound)", toSnapshot, snap.medianMs,
        snapshotOk ? "" : "  (over 4x the snapshot)");
    if (!w.problem.empty()) status = 1;
    if (judgeTime && (!boundOk || !snapshotOk)) status = 1;
  }
  if (!snap.problem.empty()) status = 1;
  return status;
}

// The route over the bus of three virtual meters: its scan, and one snapshot
// of each. It must take no more than the same scan alone plus 1.3 times the
// wire bound of the three snapshots (each measured on a meter of its own):
// the route adds nothing to the line but its files.
constexpr double kRouteBoundLimit = 1.3;

class KeepNothing : public RouteRecorder {
 public:
  RouteVisit Record(const MeterSnapshot& snapshot) override { return UnjournalledVisit(snapshot); }
};

int RunRouteCase(uint32_t baud, bool quick) {
  MeterProcess bus;
  const std::vector<metersim::BusMember> members{
      {SimModel::Zfk31, 1}, {SimModel::Gdz1208, 5}, {SimModel::Zfk36, 17}};
  if (!bus.StartBus(members, baud, kTurnaroundMs)) {
    std::printf("route %u: cannot start the bus: %s\n", baud, bus.ErrorText().c_str());
    return 2;
  }
  char tmpl[] = "/tmp/calibrate-bench-route-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  ScanRequest scanRequest;
  scanRequest.port = SpecOf(bus, baud);
  scanRequest.bauds = {baud};
  scanRequest.to = quick ? 20 : 127;
  ProbeCount probes;
  auto t0 = std::chrono::steady_clock::now();
  const size_t found = TBusScan().Run(scanRequest, probes).meters.size();
  const double scanMs = SecondsSince(t0) * 1000;
  TRoute route;
  KeepNothing recorder;
  RouteListener listener;
  t0 = std::chrono::steady_clock::now();
  const RouteOutcome outcome =
      route.Run({scanRequest, tmpl, false}, Catalogue{}, recorder, listener);
  const double routeMs = SecondsSince(t0) * 1000;
  bus.Stop();
  std::filesystem::remove_all(tmpl);
  double bound = 0;
  int status = 0;
  for (const metersim::BusMember& m : members) {
    const CaseResult c = RunCase(Op::Snapshot, m.model, baud, 1);
    PrintRow(c);
    if (!c.problem.empty()) status = 1;
    bound += c.boundMs;
  }
  bool right = found == 3 && outcome.rows.size() == 3;
  for (const RouteRow& row : outcome.rows)
    right = right && row[13] == "прочитано";
  const double limit = scanMs + kRouteBoundLimit * bound;
  std::printf(
      "route 0..%d over 3 meters %u baud: measured %.0f ms; scan alone %.0f ms, 3 snapshots' "
      "wire bound %.0f ms; route - scan = %.2fx the bound%s%s\n",
      scanRequest.to, baud, routeMs, scanMs, bound, (routeMs - scanMs) / bound,
      right ? "" : "  (wrong meters or rows)", routeMs > limit ? "  (over scan + 1.3x bound)" : "");
  if (!right || (!quick && routeMs > limit)) status = 1;
  return status;
}

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: calibrate-bench [--reps N] [--op read|snapshot]... [--model NAME]... "
                 "[--baud 9600|19200]... [--quick] [--scan] [--write] [--route]\n"
                 "       calibrate-bench --department [--events N] [--database URL] [--quick]\n");
    return 2;
  }
  if (options.department) {
#ifdef CALIBRATE_DEPARTMENT
    std::printf("# load average at start: %s\n", LoadAverage().c_str());
    const int status = RunDepartmentBench(options.events.value_or(options.quick ? 2000 : 100000),
                                          options.database, options.quick);
    std::printf("# load average at end: %s\n", LoadAverage().c_str());
    return status;
#else
    std::fprintf(stderr, "calibrate-bench: built without libpqxx\n");
    return 2;
#endif
  }
  if (options.write) {
    PrintHeader(options);
    int status = 0;
    for (uint32_t baud : options.bauds)
      status = std::max(status, RunWriteCase(baud, options.reps, !options.quick));
    std::printf("# load average at end: %s\n", LoadAverage().c_str());
    return status;
  }
  if (options.route) {
    int status = 0;
    for (uint32_t baud : options.bauds)
      status = std::max(status, RunRouteCase(baud, options.quick));
    std::printf("# load average at end: %s\n", LoadAverage().c_str());
    return status;
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
      for (SimModel model : options.models) {
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
