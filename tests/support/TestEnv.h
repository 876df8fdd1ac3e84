// Where a test program finds the run's test environment (set up by tests/support/testenv.sh).
#pragma once

#include <string>
#include <vector>

namespace testenv {

// The run's state folder as a Windows path (Z:\...\teststate), without a trailing backslash.
std::string StateDir();
// A path below the state folder; `relative` uses backslashes.
std::string StatePath(const std::string& relative);
// A path below the state folder that belongs to the running test case alone ("<stem>.<suite>.<case>
// <extension>"): a suite's cases share one process, and what a case's stray processes write late
// (a loader the shell started) must not reach the next case.
std::string CaseStatePath(const std::string& name);
// The whole content of a file, or an empty string when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Writes a file whole (creating or replacing it); false when it cannot.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Creates a folder and every missing folder above it.
bool MakeDirs(const std::string& path);
// Removes a file or a folder with everything in it; fine when it is missing.
void RemoveTree(const std::string& path);

// Whether the folder holds nothing but the file `name` (or nothing at all): no temporary file of
// a download is left beside its target.
bool FolderHoldsOnly(const std::string& folder, const std::string& name);
// Whether only the owner (or the current user), Administrators and SYSTEM may change the folder or
// what is in it, and Everyone has no entry at all. (Wine keeps no DACL of its own: it maps the
// one given at creation to the file's mode and reports it back from there, Everyone included.)
bool OnlyOwnerAdminsAndSystemMayWrite(const std::string& folder);
// A path of the build machine as the test programs see it: Wine maps the Linux root to Z:.
std::string WindowsPath(const std::string& unixPath);
// Sets the default value of a key under HKEY_CLASSES_ROOT, creating the key.
bool SetClassesDefault(const char* key, const std::string& value);
// The rows of one of the data files in tests/data (fields split at tabs, "\t" in a field read as a
// tab, blank and "#" lines skipped); none when the file cannot be read.
std::vector<std::vector<std::string>> DataRows(const std::string& name);
// A test's bound on waiting for a window, a file or a process, scaled by QX_TIME_SCALE (a whole
// number, 1 by default): where every process start is slow (the emulated 32-bit machine), slowness
// must never fail a test, while what a test asserts stays the same.
unsigned long ScaledMs(unsigned long ms);
// The content of a file once it holds a whole line (a program's record of how it was started);
// empty when none has come within the bound.
std::string WaitForRecordLine(const std::string& path, int timeoutMs = 15000);

}  // namespace testenv
