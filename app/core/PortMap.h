// The port map: on systems without COM port numbers, section [Ports] of the
// settings file names the device behind each number (COM3=/dev/ttyUSB0).
// Numbers without an entry open /dev/ttyS{n-1}.
#pragma once

class IniFile;

// Binds every COMn entry of [Ports] for the rest of the run. Returns how many
// entries were bound.
int LoadPortMap(const IniFile& ini);
