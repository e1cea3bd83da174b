#include "StorableValue.h"

#include <cmath>
#include <limits>

std::optional<float> StorableFloat(double typed, std::string& why) {
  if (!std::isfinite(typed)) {
    why = "значение должно быть конечным числом";
    return std::nullopt;
  }
  if (std::fabs(typed) > static_cast<double>(std::numeric_limits<float>::max())) {
    why = "число слишком велико: прибор хранит числа до 3.4e38";
    return std::nullopt;
  }
  const auto stored = static_cast<float>(typed);
  if (stored == 0 && typed != 0) {
    why = "число слишком мало: прибор сохранил бы 0";
    return std::nullopt;
  }
  return stored;
}
