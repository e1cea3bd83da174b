// The capture of --pcap for one run: the file is made before the line is
// touched, and every frame of the process's engines goes into it while this
// lives.
#pragma once

#include <optional>

#include "cli/options/CliOptions.h"
#include "comm/PcapWriter.h"

class RunCapture {
 public:
  RunCapture() = default;
  ~RunCapture();
  RunCapture(const RunCapture&) = delete;
  RunCapture& operator=(const RunCapture&) = delete;

  // Starts the capture that --pcap asks for, if any. False, after printing
  // "Ошибка: ...", when its file cannot be made.
  bool Start(const LineOptions& o);
  // Writes the frame itself, for a command that hears the line without an
  // engine (monitor).
  void Note(const LineFrame& frame) { writer_.OnFrame(frame); }

 private:
  TPcapWriter writer_;
  std::optional<FrameObserverScope> listening_;
};
