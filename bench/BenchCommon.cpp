#include "bench/BenchCommon.h"

#include <urlmon.h>

#include <cstdio>

double Now()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PrintSample(const char* pszCase, const char* pszWay, double seconds, LONGLONG bytes, LONGLONG peak)
{
    char szBytes[32] = "-", szPeak[32] = "-";
    if (bytes >= 0) std::snprintf(szBytes, sizeof(szBytes), "%lld", bytes);
    if (peak >= 0) std::snprintf(szPeak, sizeof(szPeak), "%lld", peak);
    std::printf("%s %s %.6f %s %s\n", pszCase, pszWay, seconds, szBytes, szPeak);
    // Wine's console is a pipe here: a run that dies later must not take its lines with it.
    std::fflush(stdout);
}

std::wstring Wide(const char* psz)
{
    const std::string text = psz;
    return std::wstring(text.begin(), text.end());
}

ULONGLONG FileSize(const char* pszPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(pszPath, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

double TimedUrlDownloadToFile(const char* pszUrl, const char* pszFile, HRESULT& hr)
{
    ::DeleteFileA(pszFile);
    const double start = Now();
    hr = ::URLDownloadToFileA(nullptr, pszUrl, pszFile, 0, nullptr);
    return Now() - start;
}
