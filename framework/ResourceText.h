// Text a module carries as an RCDATA resource (a setting the build wrote into the DLL).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The resource's bytes up to its first NUL; false when the module has no such resource or it is
// larger than `cbMax` (then `text` is empty).
bool ReadResourceText(HINSTANCE hModule, int nId, DWORD cbMax, std::string& text);

// A setting's lines: each trimmed of blanks, without empty lines and ";" comments.
std::vector<std::string> SettingLines(const std::string& text);
