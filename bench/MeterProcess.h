// A virtual meter on a pseudo-terminal, served by a child process of its own,
// so that the CPU time of the bench's process is the reading side's alone.
// The parent asks the child for the meter's request log after each read.
// POSIX only; the parent must not run other threads when it starts one.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/MeterBus.h"
#include "sim/SimTypes.h"

class MeterProcess {
 public:
  // What the log says of one request the meter heard.
  struct Request {
    bool replied = false;
    metersim::Protocol protocol = metersim::Protocol::ThreeX;
    metersim::RequestKind kind = metersim::RequestKind::Other;
    size_t bytes = 0;  // the request frame's length
  };

  MeterProcess() = default;
  ~MeterProcess();  // Stop()
  MeterProcess(const MeterProcess&) = delete;
  MeterProcess& operator=(const MeterProcess&) = delete;

  // Starts a meter of the model at the address, pacing at baud with the
  // given turnaround. False, with ErrorText(), when it cannot.
  bool Start(metersim::MeterModel model, uint8_t address, uint32_t baud, uint32_t turnaroundMs);
  // Starts a bus of meters on one line (MeterBus.h); the log is all of theirs.
  bool StartBus(const std::vector<metersim::BusMember>& members, uint32_t baud,
                uint32_t turnaroundMs);
  // Ends the child; its CPU seconds from then on in ChildCpuSeconds().
  void Stop();

  std::string DevicePath() const { return path_; }
  std::string ErrorText() const { return error_; }
  // The requests heard since the last call (or Start), and forgets them.
  std::vector<Request> TakeRequests();
  double ChildCpuSeconds() const { return childCpu_; }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::string path_;
  std::string error_;
  double childCpu_ = 0;
};
