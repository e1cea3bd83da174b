// A virtual meter on the master side of a pseudo-terminal: the program under
// test opens DevicePath() like any serial device. POSIX only.
//
// The pseudo-terminal is a real device, so this transport keeps real time
// (the monotonic clock), whatever time hook the process has installed. One
// thread reads requests, hands them to the meter and writes each reply byte
// when it is due. The server keeps a slave descriptor of its own open, so
// the line stays up while no client has it open and the master never sees a
// hang-up. A hang-up fault closes the line; the server then opens a new one
// (DevicePath() and the link change) and goes on serving.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/MeterBus.h"
#include "sim/ReplyQueue.h"
#include "sim/VirtualMeter.h"

namespace metersim {

class PtyMeterServer {
 public:
  explicit PtyMeterServer(std::shared_ptr<VirtualMeter> meter);
  // Several meters on the one line.
  explicit PtyMeterServer(MeterBus bus);
  ~PtyMeterServer();  // Stop()
  PtyMeterServer(const PtyMeterServer&) = delete;
  PtyMeterServer& operator=(const PtyMeterServer&) = delete;

  // Opens a pseudo-terminal and starts answering on it. With a linkPath, a
  // symbolic link there points at the device (replacing an older link, never
  // a file that is not one). False, with ErrorText(), when either fails;
  // nothing is left running then.
  bool Start(const std::string& linkPath = {});
  // Ends the thread, closes the pseudo-terminal and removes the link if it
  // still points at our device. Does nothing when not running.
  void Stop();
  bool Running() const;

  // The slave device's path, e.g. /dev/pts/7; empty before Start.
  std::string DevicePath() const;
  std::string ErrorText() const;
  // How often a hang-up fault has closed the line.
  int HangUps() const;

 private:
  void Run();
  bool OpenLine();
  void CloseLine();
  bool PointLink();
  void Fail(const std::string& what);
  void Serve(uint64_t nowUs);
  void SendDue(uint64_t nowUs);

  MeterBus bus_;
  mutable std::mutex mutex_;  // guards path_, error_
  std::string path_;
  std::string error_;
  std::string link_;
  int master_ = -1;
  int slaveKeep_ = -1;
  int wake_[2] = {-1, -1};  // a pipe that interrupts the thread's poll
  std::atomic<bool> stop_{false};
  std::atomic<int> hangUps_{0};
  std::thread thread_;
  ReplyQueue queue_;  // the thread's own
};

}  // namespace metersim
