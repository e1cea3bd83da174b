// The memory of the virtual meters on one line as text and back: what a
// command-line demo keeps between its runs, so that a coefficient written in
// one run is what the next run reads, compares and restores.
//
// Only what differs from a fresh meter of the same model is kept, one line
// per run of changed bytes: "<meter> <node> <area> <offset> <hex bytes>",
// under a first line naming the models. Left out are the present values,
// which the meter makes anew at every read, and the clock's bytes, which
// start again from the computer's time as a fresh meter's do.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sim/VirtualMeter.h"

namespace metersim {

std::string MetersStateText(std::span<const std::shared_ptr<VirtualMeter>> meters);

// Puts the text's bytes into meters. False, with a one-line reason and the
// meters left as they were, for a text of other models or one that is not
// such a text at all.
bool LoadMetersState(std::span<const std::shared_ptr<VirtualMeter>> meters, std::string_view text,
                     std::string& error);

}  // namespace metersim
