#include "Console.h"

// Terminals here decode UTF-8 themselves.
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;
