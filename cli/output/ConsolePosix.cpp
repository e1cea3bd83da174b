#include <signal.h>

#include "Console.h"

namespace {

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
  interrupted = 1;
}

}  // namespace

// Terminals here decode UTF-8 themselves.
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  // A read or write of the port under way goes on; the loop then sees the flag.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);  // the terminal or the SSH session gone
}

bool Interrupted() {
  return interrupted != 0;
}
