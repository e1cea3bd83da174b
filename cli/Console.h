// Text on the console. The program writes UTF-8 everywhere; a Windows console
// shows bytes in its own code page (866 or 1251 on Russian systems), so there
// the output code page is UTF-8 for the run and goes back to what it was at
// the end. Terminals elsewhere take UTF-8 as it is.
#pragma once

class ConsoleText {
 public:
  ConsoleText();
  ~ConsoleText();  // flushes what is pending, then restores the console
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;

 private:
  unsigned savedCodePage_ = 0;  // 0: no console to restore
};
