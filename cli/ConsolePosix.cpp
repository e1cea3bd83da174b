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
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
  return interrupted != 0;
}
