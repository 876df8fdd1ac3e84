#include "TestEnv.h"

#include <windows.h>
#include <aclapi.h>

#include "framework/Handles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
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

std::string CaseStatePath(const std::string& name)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const size_t dot = name.find_last_of('.');
    const std::string tag = test ? std::string(".") + test->test_suite_name() + "." + test->name() : "";
    return StatePath(dot == std::string::npos ? name + tag : name.substr(0, dot) + tag + name.substr(dot));
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

bool FolderHoldsOnly(const std::string& folder, const std::string& name)
{
    WIN32_FIND_DATAA data;
    UniqueFindHandle hFind(::FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!hFind) return true;
    do {
        const std::string found = data.cFileName;
        if (found != "." && found != ".." && found != name) return false;
    } while (::FindNextFileA(hFind.Get(), &data));
    return true;
}

bool OnlyOwnerAdminsAndSystemMayWrite(const std::string& folder)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                &descriptor) != ERROR_SUCCESS || !dacl)
        return false;
    std::unique_ptr<void, decltype(&::LocalFree)> owned(descriptor, &::LocalFree);
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
    DWORD size = sizeof user;
    UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()) ||
        !::GetTokenInformation(token.Get(), TokenUser, user, size, &size))
        return false;
    const DWORD writeRights = FILE_GENERIC_WRITE | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace))) return false;
        PSID sid = &ace->SidStart;
        bool trusted = ::EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) != FALSE;
        for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid, WinCreatorOwnerRightsSid, WinCreatorOwnerSid})
            trusted = trusted || ::IsWellKnownSid(sid, type);
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (::IsWellKnownSid(sid, WinWorldSid) || (!trusted && (ace->Mask & writeRights))))
            return false;
    }
    return true;
}

std::string WindowsPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& ch : path)
        if (ch == '/') ch = '\\';
    return path;
}

bool SetClassesDefault(const char* key, const std::string& value)
{
    UniqueRegKey hKey;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, hKey.Put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return ::RegSetValueExA(hKey.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

std::vector<std::vector<std::string>> DataRows(const std::string& name)
{
    std::vector<std::vector<std::string>> rows;
    const std::string text = ReadFileBytes(WindowsPath(QX_SOURCE_DIR "/tests/data/" + name));
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields(1);
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\t') fields.emplace_back();
            else if (line.compare(i, 2, "\\t") == 0) fields.back() += '\t', ++i;
            else fields.back() += line[i];
        }
        rows.push_back(fields);
    }
    return rows;
}

unsigned long ScaledMs(unsigned long ms)
{
    char text[16] = {};
    const DWORD n = ::GetEnvironmentVariableA("QX_TIME_SCALE", text, sizeof(text));
    const unsigned long scale = n > 0 && n < sizeof(text) ? std::strtoul(text, nullptr, 10) : 1;
    return scale >= 1 && scale <= 100 ? ms * scale : ms;
}

std::string WaitForRecordLine(const std::string& path, int timeoutMs)
{
    const int limit = static_cast<int>(ScaledMs(static_cast<unsigned long>(timeoutMs > 0 ? timeoutMs : 0)));
    for (int waited = 0; waited < limit; waited += 20) {
        const std::string record = ReadFileBytes(path);
        if (record.find("\r\n") != std::string::npos) return record;
        ::Sleep(20);
    }
    return std::string();
}

}  // namespace testenv
