// A view that keeps what the read showed: the text of each field (unset when
// the read never wrote it), the device caption, the error boxes, and whether
// the firmware controls are visible. The command line prints from it; tests
// assert on it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/core/meter/MeterRead.h"

class RecordingView : public MeterReadView {
 public:
  void SetFieldText(ReadField field, const std::string& text) override {
    fields[static_cast<size_t>(field)] = text;
  }
  void ShowError(const std::string& message, const std::string& detail = {}) override {
    errors.push_back(message);
    details.push_back(detail);
  }
  void SetVersionControlsVisible(bool visible) override { versionVisible = visible; }
  void SetDeviceCaption(const std::string& text) override { caption = text; }
  void SetRefreshEnabled(bool enabled) override { refreshStates.push_back(enabled); }
  void ProcessMessages() override { ++messagePasses; }

  const std::optional<std::string>& Field(ReadField field) const {
    return fields[static_cast<size_t>(field)];
  }

  std::array<std::optional<std::string>, kReadFieldCount> fields;
  std::string caption = kDefaultDeviceCaption;
  std::vector<std::string> errors;
  std::vector<std::string> details;  // one per error, empty when none
  bool versionVisible = false;
  std::vector<bool> refreshStates;
  int messagePasses = 0;
};
