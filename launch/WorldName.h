// The world that a world file names: the key "world" of its section "Program", read by the
// platform's profile reader. The file comes from a web server and the name goes on into the
// browser's settings file, so the name is judged before it is used.
#pragma once

#include <cstddef>

#include "framework/CString.h"

// The browser's settings hold the world name in a fixed-size field.
constexpr size_t kMaxWorldNameBytes = 255;

// Reads the world name of `pszWorldFile` into `strName`, cut to at most kMaxWorldNameBytes bytes
// without splitting a double-byte character; "default" when the file, the section or the key is
// missing. False, with `strName` untouched, when the name holds a control byte (below 0x20): no
// such byte has a place in a name, and a line break could shape the settings file.
bool ReadWorldName(const char* pszWorldFile, CString& strName);
