// A pseudo-terminal pair for integration tests: the code under test opens the
// slave device by path, the test plays the other end on the master side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class PtyPair {
 public:
  PtyPair();  // aborts the test program if no pseudo-terminal can be had
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // Writes bytes from the far end (they arrive at the slave).
  void Send(const std::vector<uint8_t>& bytes);
  // Reads what the slave side sent, waiting up to timeoutMs for `count` bytes.
  std::vector<uint8_t> Receive(size_t count, int timeoutMs = 1000);
  // Closes the master side: the slave sees the line hang up.
  void CloseMaster();

 private:
  int master_ = -1;
  int slaveKeep_ = -1;  // keeps the slave side alive between opens
  std::string slavePath_;
};
