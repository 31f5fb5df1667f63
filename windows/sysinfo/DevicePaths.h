// Translation between drive-letter paths and device paths, through the
// platform's table of DOS device names.
#pragma once

#include "windows/sysinfo/Text.h"

// C:\dir\file.txt → \Device\HarddiskVolume1\dir\file.txt. The path has at
// least two units.
bool GetDeviceFileName(const WideText& path, WideText& deviceFileName);

// \Device\HarddiskVolume1\dir\file.txt → C:\dir\file.txt, by the lowest
// drive letter whose target the path lies under.
bool GetDosFileName(const WideText& deviceFileName, WideText& dosFileName);

// The same on UTF-8 text.
bool GetDeviceFileName(const char* path, Text& deviceFileName);
bool GetDosFileName(const char* deviceFileName, Text& dosFileName);
