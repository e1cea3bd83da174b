// The Windows system's message for an error code, in UTF-8.
#pragma once

#include <string>

namespace lum {

// Asked for in UTF-16 (FormatMessageW) and converted, so that a Russian
// Windows's text reads right in a UTF-8 program; without the line break and
// full stop Windows puts at its end. "ошибка N" when the system has none.
std::string WindowsSystemText(unsigned long code);

}  // namespace lum
