// Whether a typed number survives its way into a meter. Every coefficient is
// kept as a 32-bit float: a number beyond its range would be stored as
// infinity, one too small as 0, and the meter would hold something the
// engineer never typed, with the read-back agreeing.
#pragma once

#include <optional>
#include <string>

// The float the number is stored as; nullopt and why (in Russian) for a NaN,
// an infinity, a number beyond the float range, or a non-zero number that
// the float keeps as 0.
std::optional<float> StorableFloat(double typed, std::string& why);
