// The exit statuses of calibrate-cli: a contract with the scripts of service
// departments.
#pragma once

enum class ExitStatus : int {
  Ok = 0,
  Failed = 1,     // a field shows ERR, a write did not verify
  Usage = 2,      // the command line was wrong
  PortError = 3,  // the port cannot be opened
  NotFound = 4,   // no meter recognised
  Refused = 5,    // an operation refused before anything was sent
  // A write stopped by Ctrl+C, SIGTERM or SIGHUP: the item under way was
  // finished, the rest not sent, the outcome journalled.
  Interrupted = 6,
};

inline int Code(ExitStatus status) {
  return static_cast<int>(status);
}
