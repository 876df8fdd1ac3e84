#include "TestEnv.h"

#include <windows.h>

#include "framework/Handles.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testenv {

std::string StateDir()
{
    const char* state = std::getenv("QX_TEST_STATE");
    return state ? state : "";
}

std::string StatePath(const std::string& relative)
{
    return StateDir() + "\\" + relative;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeDirs(const std::string& path)
{
    for (size_t pos = path.find('\\', 3); pos != std::string::npos; pos = path.find('\\', pos + 1))
        ::CreateDirectoryA(path.substr(0, pos).c_str(), nullptr);
    ::CreateDirectoryA(path.c_str(), nullptr);
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA data;
    UniqueFindHandle hFind(::FindFirstFileA((path + "\\*").c_str(), &data));
    if (hFind) {
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..") RemoveTree(path + "\\" + name);
        } while (::FindNextFileA(hFind.Get(), &data));
    }
    ::RemoveDirectoryA(path.c_str());
}

}  // namespace testenv
