// A command-line demo remembers what was written to its virtual meter from
// one run of calibrate-cli to the next, as a meter on the bench would: every
// demo model keeps a state file in the user's data folder, read when --demo
// starts and written after a run that wrote to the meter, so that write, read,
// compare and restore in one demo session agree. --demo-reset forgets it.
// The window's demo starts afresh every time.
#pragma once

#include <filesystem>
#include <string>

#include "sim/DemoMode.h"

// <user data folder>/demo/<model>.state, the model as --demo names it.
std::filesystem::path DemoStateFile(const std::string& model);

// Puts the saved state into the demo's meters; true when it did or there is
// none. False, with a reason, for a file that cannot be read or holds another
// line's state: the meters then start afresh.
bool LoadDemoState(const DemoMeter& demo, const std::filesystem::path& file, std::string& error);

// Saves the meters' state when any of them heard a write in this run; true
// when saved or nothing was to be saved.
bool SaveDemoState(const DemoMeter& demo, const std::filesystem::path& file, std::string& error);

// Removes the state file; true when it is gone (or never was).
bool ForgetDemoState(const std::filesystem::path& file, std::string& error);
