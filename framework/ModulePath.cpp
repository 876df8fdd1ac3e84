#include "framework/ModulePath.h"

#include <vector>

#include "framework/Trace.h"

std::wstring ModulePathW(HMODULE hModule)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD nCopied = ::GetModuleFileNameW(hModule, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (nCopied == 0) {
            Trace("GetModuleFileNameW failed (error %lu)", ::GetLastError());
            return std::wstring();
        }
        if (nCopied < buffer.size()) return std::wstring(buffer.data(), nCopied);
        if (buffer.size() >= 32768) return std::wstring();  // the longest path there is
        buffer.resize(buffer.size() * 2);  // cut short: try again with room to spare
    }
}
