// Several virtual meters on one line, as on an RS-485 bus: every meter hears
// everything the master sends, answers only what is addressed to it in its
// own protocol, and shrugs off the rest, the other protocol's frames
// included (each meter's framer drops what fails its check and picks up the
// next valid frame, see RequestFramer.h). The meters do not hear each
// other's replies: a master sends its next request only after the reply,
// so a reply could only disturb a framer that waits for nothing. Both
// transports carry a bus; a single meter is a bus of one.
//
//   auto members = metersim::ParseBus("zfk31@1,gdz1208@5,zfk36@17", &error);
//   metersim::PtyMeterServer server(metersim::MeterBus(metersim::MakeBusMeters(*members)));
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ReplyPlan.h"
#include "sim/VirtualMeter.h"

namespace metersim {

// The bus that the demo mode's "bus" starts.
inline constexpr const char* kDemoBus = "zfk31@1,gdz1208@5,zfk36@17";

struct BusMember {
  MeterModel model;
  uint8_t address;
};

// "model@address,..." with the model names of ParseMeterModel and addresses
// 0 to 255. A two-node "gdz1207s-2@A" takes A and A + 1. Nothing, and a
// reason in *error, for a text it cannot read, an empty list, or two meters
// that would share an address.
std::optional<std::vector<BusMember>> ParseBus(std::string_view text, std::string* error = nullptr);
std::vector<std::shared_ptr<VirtualMeter>> MakeBusMeters(const std::vector<BusMember>& members,
                                                         const MeterOptions& options = {});

// Two replies to one request on one line. The meter with the shorter
// turnaround starts first; the other joins whole byte times later. Where
// both drive the line at once the master receives the AND of their bytes (a
// driven 0 beats an idle 1, as a start bit does; two drivers that disagree
// give garbage, and this is garbage that a test can repeat), and where one
// goes on alone its bytes come clean. A reply that starts after the other has
// ended does not overlap: both frames come, one behind the other (nothing:
// the plans stay apart).
std::optional<ReplyPlan> Overlap(const ReplyPlan& a, const ReplyPlan& b);

class MeterBus {
 public:
  explicit MeterBus(std::shared_ptr<VirtualMeter> meter);
  explicit MeterBus(std::vector<std::shared_ptr<VirtualMeter>> meters);

  const std::vector<std::shared_ptr<VirtualMeter>>& Meters() const { return meters_; }
  // The line's speed and pacing: those of the first meter.
  MeterOptions Options() const;
  // Hands the master's bytes to every meter; the replies, in order. Meters
  // that answer one request (two meters set to one address) talk over each
  // other as on a real RS-485 line: see Overlap.
  std::vector<ReplyPlan> Receive(std::span<const uint8_t> bytes);

 private:
  std::vector<std::shared_ptr<VirtualMeter>> meters_;
};

}  // namespace metersim
