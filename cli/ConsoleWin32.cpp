#include <windows.h>

#include <cstdio>
#include <iostream>

#include "Console.h"

ConsoleText::ConsoleText() : savedCodePage_(GetConsoleOutputCP()) {
  // Without a console (output to a file or a pipe) there is nothing to switch:
  // the bytes go out as written.
  if (savedCodePage_ != 0 && !SetConsoleOutputCP(CP_UTF8)) savedCodePage_ = 0;
}

ConsoleText::~ConsoleText() {
  // Everything must reach the console while it still decodes UTF-8.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  if (savedCodePage_ != 0) SetConsoleOutputCP(savedCodePage_);
}
