// The world that a world file names: the key "world" of its section "Program". The file comes from
// a web server and the name goes on into the browser's settings file, so the name is read from the
// file's own bytes: the platform's profile reader would end a line at a lone carriage return and
// trim tabs, and the part it hid could never be judged.
#pragma once

#include <cstddef>

#include "framework/CString.h"

// The browser's settings hold the world name in a fixed-size field.
constexpr size_t kMaxWorldNameBytes = 255;

// Reads the world name of `pszWorldFile` into `strName`, cut to at most kMaxWorldNameBytes bytes
// without splitting a double-byte character; "default" when the file, the section or the key is
// missing. False, with `strName` untouched, when the name holds a control byte (below 0x20): a
// line break or any other such byte has no place in a name and could shape the settings file.
bool ReadWorldName(const char* pszWorldFile, CString& strName);
