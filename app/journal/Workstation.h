// This installation's name in the department's record. Every event carries
// it, and the events of one meter from one workstation form one chain, so
// that the events of many workstations merge by union without one rewriting
// another's. The id is made once and kept in the settings file as
// [Department] Workstation, beside the computer it was made on: a settings
// file copied to another laptop (departments hand one file to every engineer)
// would otherwise give two workstations one id, so a file from another
// computer gets a fresh one.
#pragma once

#include <string>

#include "app/core/settings/IniFile.h"

inline constexpr const char* kDepartmentSection = "Department";

// The stored id, when it was made on this computer; empty otherwise.
std::string StoredWorkstationId(const IniFile& ini);

// The stored id, or a new one ("<computer>-<8 hexadecimal digits>") stored in
// ini. When the settings file cannot be written the new id serves this run.
std::string EnsureWorkstationId(IniFile& ini);

// Whether text can be a workstation id: 1 to 64 letters, digits, '-', '_'
// or '.', so that it names a folder safely on every system.
bool IsWorkstationId(const std::string& text);
