// A virtual meter: the meter's side of the wire, without any transport.
//
// Request bytes go in through Receive, reply plans come out; a transport
// (PtyMeterServer, MeterDevice) moves the bytes and keeps the time. The
// object holds the meter's memory with plausible contents for its model,
// answers every request a meter of that model answers, bends replies by the
// faults a test asked for, and logs every request it heard.
//
// Addressing: a meter answers only requests to its own address, as a meter on
// a shared line must; the two-node GDZ-12.07S answers at address a and at
// a + 1, each node with its own memory. Address 0 is an address like any
// other (the tool's default network address), not a ModBus broadcast. The
// GDZ-12.08 is silent on the 3x protocol, the 3x meters on ModBus; either
// still logs what it heard.
//
// What a meter does not answer, it leaves unanswered: unknown group and
// command, a read or write past the end of an area, a request of the wrong
// length. ModBus requests for registers the meter does not have (400
// registers, 0 to 399) get exception 2, bad counts exception 3.
//
// The meter keeps whatever is written to it, over the wire or through
// Write, for as long as it lives. A 3x meter keeps a running clock at Rtc128
// address 0 (MeterClock.h), started from the computer's local time; a
// ModBus meter has none. Present values move around a flow set per channel
// (PresentValues.h).
//
// All members may be called from any thread; each takes the meter's lock.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/FaultInjector.h"
#include "sim/MeterClock.h"
#include "sim/MeterNode.h"
#include "sim/PresentValues.h"
#include "sim/ReplyPlan.h"
#include "sim/RequestFramer.h"
#include "sim/SimTypes.h"
#include "sim/TrueFlow.h"

namespace metersim {

class VirtualMeter {
 public:
  // A meter of the model at the address, memory filled with the model's defaults.
  VirtualMeter(MeterModel model, uint8_t address, MeterOptions options = {});

  MeterModel Model() const;
  uint8_t Address() const;
  void SetAddress(uint8_t address);
  // 2 for the two-node GDZ-12.07S, else 1.
  size_t NodeCount() const;
  MeterOptions Options() const;
  void SetOptions(const MeterOptions& options);

  // Memory, byte by byte. `node` 1 is the second node of a two-node meter.
  // Read returns fewer bytes where the area ends; Write stops there.
  std::vector<uint8_t> Read(MemoryArea area, uint32_t address, size_t count, size_t node = 0) const;
  void Write(MemoryArea area, uint32_t address, std::span<const uint8_t> bytes, size_t node = 0);
  // One holding register (ModBus meters); 0 for one it does not have.
  uint16_t Register(uint16_t reg) const;
  void SetRegister(uint16_t reg, uint16_t value);

  // Identification text (3x group 0 command 0, ModBus function 17), the same
  // for both nodes, and the firmware version text (3x group 0 command 1).
  std::string IdText() const;
  void SetIdText(std::string text);
  std::string SoftVersion() const;
  void SetSoftVersion(std::string text);
  // The byte that unlock (0x0F 0xF1) answers, and the status byte of the
  // single commands 77 77 and 77 78.
  uint8_t UnlockStatus() const;
  void SetUnlockStatus(uint8_t status);
  uint8_t CommandStatus() const;
  void SetCommandStatus(uint8_t status);

  // Faults, see Fault in SimTypes.h.
  void AddFault(const Fault& fault);
  void ClearFaults();
  std::vector<Fault> PendingFaults() const;

  // Every well-formed request heard since construction or ClearRequests.
  std::vector<RequestRecord> Requests() const;
  void ClearRequests();
  // How many of those were addressed to this meter and would change it
  // (RequestRecord::writes), stored or not: 0 proves a dry run.
  size_t WriteCount() const;

  // Present values. With a flow set for channel 1 or 2, every read that may
  // reach the channel's G or SFR first puts there G = flow * (1 + level * u),
  // u a new number from the noise sequence, and SFR in step with it. Without
  // a flow the places keep what was put there. Other channels are ignored.
  void SetFlow(int channel, float flow);
  // The true flow through channel 1 or 2 (TrueFlow.h): once set, every read
  // that may reach the channel's G shows what the meter makes of it through
  // its stored K0, Ku and Gmax and the channel's error curve, without noise
  // (the bench's flow is steady; sampling is the bench's concern). It takes
  // the place of SetFlow's flow; ClearFlow clears both.
  void SetTrueFlow(int channel, double flow);
  void SetErrorCurve(int channel, std::vector<CurvePoint> curve);
  void ClearFlow(int channel);
  std::optional<float> Flow(int channel) const;
  // Relative level of the noise (0.01, +-1 %, by default) and the seed that
  // starts its sequence anew (1 by default).
  void SetNoise(float level, uint64_t seed);

  // Power. Off (a power-loss fault, or PowerOff) the meter still hears and
  // logs every request but stores and answers nothing. PowerOn brings it back
  // with its memory as it was and its clock run on, as a battery keeps it;
  // half a frame heard before is forgotten.
  void PowerOff();
  void PowerOn();
  bool Powered() const;

  // The bytes the meter heard from the line; a reply plan for every request
  // it answers, in order. Bytes of an unfinished frame wait for the next call.
  std::vector<ReplyPlan> Receive(std::span<const uint8_t> bytes);

  // A node's memory; public so that the model defaults can fill it.
  using Node = MeterNode;

 private:
  Node* NodeAt(uint8_t address);
  // Decodes a frame into the log record; the reply it earns, if any.
  std::vector<uint8_t> Answer3x(const std::vector<uint8_t>& frame, RequestRecord& record);
  std::vector<uint8_t> AnswerModBus(const std::vector<uint8_t>& frame, RequestRecord& record);
  std::vector<uint8_t> Do3x(Node& node, RequestRecord& record, std::span<const uint8_t> data);
  void WriteGmax(Node& node, int channel, std::span<const uint8_t> bigEndian);
  ReplyPlan PlanFor(std::vector<uint8_t> reply) const;
  // Write faults (not stored, power loss) and line faults on a reply;
  // `before` is the memory before the write.
  void Suffer(const std::vector<Fault>& faults, const RequestRecord& record,
              const std::optional<std::vector<Node>>& before, ReplyPlan& plan);
  bool WriteFaultPending() const;
  void RefreshPresent();
  // The clock bytes as they read now; nothing for a stopped clock or none.
  std::optional<ClockBytes> ClockNow(const Node& node) const;
  // Moves the stored bytes on to now, before they are read or partly overwritten.
  void TickClock(Node& node);
  // The bytes [start, start + count) of Rtc128 have changed: set the clock.
  void ClockWritten(Node& node, uint32_t start, size_t count);

  mutable std::mutex mutex_;
  MeterModel model_;
  MeterOptions options_;
  std::vector<Node> nodes_;
  std::string idText_;
  std::string softVersion_;
  uint8_t unlockStatus_ = 1;
  uint8_t commandStatus_ = 0;
  RequestFramer framer_;
  FaultInjector faults_;
  std::vector<RequestRecord> log_;
  std::array<std::optional<float>, 2> flow_;
  std::array<std::optional<double>, 2> trueFlow_;
  std::array<std::vector<CurvePoint>, 2> curve_;
  float noiseLevel_ = 0.01f;
  FlowNoise noise_;
  bool powered_ = true;
};

}  // namespace metersim
