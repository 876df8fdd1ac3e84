// Where a test program finds the run's test environment (set up by tests/support/testenv.sh).
#pragma once

#include <string>

namespace testenv {

// The run's state folder as a Windows path (Z:\...\teststate), without a trailing backslash.
std::string StateDir();
// A path below the state folder; `relative` uses backslashes.
std::string StatePath(const std::string& relative);
// The whole content of a file, or an empty string when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Writes a file whole (creating or replacing it); false when it cannot.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Creates a folder and every missing folder above it.
bool MakeDirs(const std::string& path);
// Removes a file or a folder with everything in it; fine when it is missing.
void RemoveTree(const std::string& path);

}  // namespace testenv
