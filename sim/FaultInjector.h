// Keeps the faults a test asked for and bends replies by them.
#pragma once

#include <span>
#include <vector>

#include "sim/ReplyPlan.h"
#include "sim/SimTypes.h"

namespace metersim {

class FaultInjector {
 public:
  void Add(const Fault& fault);
  void Clear();
  // Faults still waiting for a request to hit.
  std::vector<Fault> Pending() const;

  // The faults that hit this request (for this meter, with a reply), in the
  // order they were added; counts the request against every fault that
  // matches it and retires the ones used up.
  std::vector<Fault> Take(const RequestRecord& request);

 private:
  struct Entry {
    Fault fault;
    uint32_t seen = 0;
    uint32_t hit = 0;
  };
  std::vector<Entry> entries_;
};

// Bends a planned reply by one fault. A fault that has no meaning for the
// protocol (an address complement on ModBus, an exception on 3x) changes
// nothing. `function` is the ModBus function of the request.
void ApplyFault(const Fault& fault, Protocol protocol, uint8_t address, uint8_t function,
                ReplyPlan& plan);

// The reply's part of the write and line faults: a lost reply takes the
// meter's bytes away; an echo puts the request's bytes before whatever goes
// out (so it belongs after every other fault). What a write fault does to
// memory is the meter's business.
void ApplyLineFault(const Fault& fault, std::span<const uint8_t> request, ReplyPlan& plan);

}  // namespace metersim
