#include "Declaration.h"

#include <algorithm>

const CLI::Option* Declaration::AlternativeOf(const CLI::Option* option) const {
  for (const auto& [a, b, reason] : alternatives_) {
    if (a == option) return b;
    if (b == option) return a;
  }
  return nullptr;
}

bool Declaration::IsMandatory(const CLI::Option* option) const {
  return std::any_of(mandatory_.begin(), mandatory_.end(),
                     [&](const auto& m) { return m.first == option; });
}

void Declaration::Check() const {
  if (nested_ && !nested_->parsed()) throw Refusal{nestReason_};
  for (const auto& [option, reason] : mandatory_)
    if (option->count() == 0) throw Refusal{reason};
  for (const auto& [a, b, reason] : alternatives_)
    if (a->count() > 0 && b->count() > 0)
      throw Refusal{reason.empty() ? a->get_name() + " и " + b->get_name() + " несовместимы"
                                   : reason};
}
