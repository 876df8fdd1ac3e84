// Stands in for the loader program: the shell starts it for a world file through the document
// type, and it records how it was started, one line per start, so that a run can be checked.
// The record goes to the file named by QX_LOADER_RECORD, else to qxLoader.log beside the program.
#include <windows.h>

#include <string>
#include <vector>

namespace {

// Wide, as the environment holds it: Wine's GetEnvironmentVariableA cuts a value with double-byte
// letters at its length in UTF-16 units (a record under a Korean folder lost its last bytes).
std::wstring RecordPath()
{
    std::vector<wchar_t> value(32768);
    const DWORD n = ::GetEnvironmentVariableW(L"QX_LOADER_RECORD", value.data(), static_cast<DWORD>(value.size()));
    if (n > 0 && n < value.size()) return std::wstring(value.data(), n);

    std::vector<wchar_t> self(32768);
    const DWORD m = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    std::wstring path(self.data(), m);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + L"qxLoader.log";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::string line = std::string(::GetCommandLineA()) + "\r\n";
    HANDLE h = ::CreateFileW(RecordPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == line.size() ? 0 : 1;
}
