// The port map: on systems without COM port numbers, section [Ports] of the
// settings file names the device behind each number (COM3=/dev/ttyUSB0).
// Numbers without an entry open /dev/ttyS{n-1}. Windows has COM numbers of its
// own (COMn is \\.\COMn), so there the section is not read.
#pragma once

class IniFile;

#ifdef _WIN32
inline constexpr bool kPortMapInUse = false;
#else
inline constexpr bool kPortMapInUse = true;
#endif

// Binds every COMn entry of [Ports] for the rest of the run. Returns how many
// entries were bound; none where the map is not in use.
int LoadPortMap(const IniFile& ini);
