// What the reliability tests share: the models with the requests a fault is
// aimed at, one read of "Прочитать" against a virtual meter with everything
// it left behind, what the window would show after a fault, and the time
// bound such a read has to keep.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/core/meter/MeterRead.h"
#include "app/core/meter/RecordingView.h"
#include "sim/MeterSim.h"

namespace rel {

constexpr const char* kNoData = "Нет данных или не поддерживается";
constexpr const char* kNotFound = "Прибор не найден ";
// The meters answer here; the two-node GDZ-12.07S also at the next address.
constexpr uint8_t kMeterAddress = 5;

// The three requests of a read a fault is aimed at.
enum class Target { Identification, Coefficient, Record };
const char* TargetName(Target target);

// Which requests a fault hits: kind, and where set, start and node address.
struct RequestAim {
  metersim::RequestKind kind;
  std::optional<uint32_t> start;
  uint8_t address = kMeterAddress;
};

struct ModelCase {
  metersim::MeterModel model;
  bool modbus;
  // Ku of channel 1, shown in Ek10.
  RequestAim coefficient;
  // The calibration record; none on a path that reads no record.
  std::optional<RequestAim> record;
  // Fields the path fills after Ek10, in order: what a line that hangs up
  // during the Ku read takes with it.
  std::vector<ReadField> afterCoefficient;
};

const std::vector<ModelCase>& Models();
const ModelCase& ModelOf(metersim::MeterModel model);
std::optional<RequestAim> AimOf(const ModelCase& model, Target target);

// The faults of the virtual meters that mean something for this protocol:
// a 3x reply has no exception, a ModBus reply no address complement.
std::vector<metersim::FaultKind> FaultsFor(const ModelCase& model);

// False where the fault cannot hit the target: a short reply needs a request
// that asks for a length, which an identification does not.
bool FaultMeansSomething(metersim::FaultKind kind, Target target);

// A fault of the kind with the meter's usual parameters, aimed at the target,
// hitting every attempt (times 0) or only the first (times 1).
metersim::Fault AimedFault(metersim::FaultKind kind, const RequestAim& aim, uint32_t times);

// One press of "Прочитать" and what it left.
struct ReadRun {
  RecordingView view;
  MeterReading outcome;
  uint64_t ms = 0;  // on whatever clock is installed
  bool portOpenAfter = false;
};

// The read of the meter at kMeterAddress through device, named as the
// engineer chose it (name) in the messages, at 9600 baud.
ReadRun RunRead(TMeterRead& read, const std::string& device, const std::string& name);

// The window's state after a read as one comparable value.
bool SameScreen(const RecordingView& a, const RecordingView& b);

// What a faulted read is expected to show, against the read of the same meter
// without the fault: either everything as without it (the fault was
// absorbed), "Прибор не найден ", or some fields failed ("ERR" in a
// coefficient field, kNoData in both record fields) and the rest as without.
struct Expectation {
  bool notFound = false;
  std::set<ReadField> failed;
  // Either everything as without the fault or "Прибор не найден ": see Expect.
  bool foundOrNot = false;
};

Expectation Expect(const ModelCase& model, Target target, metersim::FaultKind kind, uint32_t times);
// Empty when the run shows what is expected, else what differs.
std::string Check(const Expectation& expected, const ReadRun& run, const ReadRun& clean);
// What the window shows, in a few words: "all values", "Прибор не найден ",
// "Ek10 ERR", "record: Нет данных…", ...
std::string Describe(const ReadRun& run, const ReadRun& clean);

// Time-outs of one engine as the read configured them (the drivers of its
// last connection), and what its operations cost at worst.
struct EngineLimits {
  uint32_t packetMs;  // P
  uint32_t byteMs;    // B
  uint32_t attempts;  // R
  uint32_t pauseMs;   // w: pause after a failed attempt
  uint32_t maxBytes;  // n: most bytes one attempt takes off the line
};
EngineLimits Limits3x(const Tlum3xProtocol& engine);
EngineLimits LimitsModBus(const TlumModBusProtocol& engine, bool identification);
// A = 10 + (P + 10) + (B + 10) + n·τ, τ the time of one byte on the line.
double AttemptMs(const EngineLimits& e, double byteMs);
// X = R·(A + w): an operation that fails every attempt the longest way.
double FailedOperationMs(const EngineLimits& e, double byteMs);

// The engine a model's path reads through.
EngineLimits PathLimits(const Connection& read, const ModelCase& model);
// What failing identification costs: the 3x request (for a 3x meter) and the
// ModBus one the read falls back to.
double IdentificationFailureMs(const Connection& read, const ModelCase& model, double byteMs);

// The bound of a faulted read: the clean read's time plus X for every
// operation the fault makes fail.
double FaultBoundMs(const Connection& read, const ModelCase& model, Target target,
                    metersim::FaultKind kind, uint64_t cleanMs, size_t operationsFromTarget,
                    double byteMs);
// The bound of any read of the model whatever its line does: X for every
// operation the read can make.
double AnyReadBoundMs(const Connection& read, const ModelCase& model, size_t pathOperations,
                      double byteMs);

// Requests of the log that a fault aimed so would hit.
size_t CountAimed(const std::vector<metersim::RequestRecord>& log, const RequestAim& aim);
// Requests for the meter from the first one aimed so to the end of the log.
size_t OperationsFrom(const std::vector<metersim::RequestRecord>& log, const RequestAim& aim);
// Requests that would change the meter.
size_t CountWrites(const std::vector<metersim::RequestRecord>& log);

}  // namespace rel
