// Text on the console. The program writes UTF-8 everywhere; a Windows console
// takes text as UTF-16 (or bytes in its own code page, 866 or 1251 on Russian
// systems, which the C runtime may convert once more on the way). So on
// Windows, while a ConsoleText lives, std::cout and std::cerr that go to a
// console hand their text over as UTF-16; output to files and pipes stays
// UTF-8 bytes. Terminals elsewhere take UTF-8 as it is.
#pragma once

#include <memory>
#include <streambuf>
#include <string_view>

class ConsoleText {
 public:
  ConsoleText();
  ~ConsoleText();  // flushes what is pending and puts the streams back
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;

 private:
  std::unique_ptr<std::streambuf> out_, err_;
  std::streambuf* savedOut_ = nullptr;
  std::streambuf* savedErr_ = nullptr;
};

// The length of the longest start of bytes that does not end inside a UTF-8
// character: text handed over in pieces must not split one.
size_t Utf8WholePrefix(std::string_view bytes);

// From the call on, Ctrl+C (and SIGTERM and SIGHUP, or Ctrl+Break and the
// console's closing on Windows) no longer ends the program but sets what
// Interrupted() reports, so that a command that runs until stopped can close
// its port and exit 0, and a write can finish its item and keep its record.
void CatchInterrupt();
bool Interrupted();
