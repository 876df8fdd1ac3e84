// What every benchmark program shares: the clock, the one line each measured run prints, and the
// platform's own blocking file download, the baseline most ways are held against.
#pragma once

#include <windows.h>

#include <string>

// Seconds on the performance counter.
double Now();

// One measured run: "<case> <way> <seconds> <bytes> <peak working set bytes>", with "-" for what
// the run has no figure for. scripts/bench-figures.py reads these lines; anything else is a note.
void PrintSample(const char* pszCase, const char* pszWay, double seconds, LONGLONG bytes = -1, LONGLONG peak = -1);

// The benchmarks' addresses are ASCII: widened byte by byte.
std::wstring Wide(const char* psz);

// 0 when the file is missing.
ULONGLONG FileSize(const char* pszPath);

// URLDownloadToFileA into a file deleted first, so no run finds an earlier run's bytes there;
// returns the seconds the call took and its result in `hr`.
double TimedUrlDownloadToFile(const char* pszUrl, const char* pszFile, HRESULT& hr);
