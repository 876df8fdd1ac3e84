// Registration as a setup program does it: through the platform's own regsvr32, from a folder
// whose long path needs quoting, then read back from the real registry and the registered type
// library. Every test starts and ends with the class unregistered; tests elsewhere that need the
// class register it themselves.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ProductDll.h"
#include "TestEnv.h"
#include "framework/Handles.h"
#include "framework/TextConversion.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kClsid[] = "{74A19CB3-36EB-4CC8-AAD0-240CC13686AC}";
const char kLibid[] = "{767C8896-06CE-48FE-96FE-DCD7950E82C4}";
const char kIid[] = "{AF38F596-6CB4-4B3C-B312-FC9B806ACA01}";
const GUID kLibidGuid = {0x767C8896, 0x06CE, 0x48FE, {0x96, 0xFE, 0xDC, 0xD7, 0x95, 0x0E, 0x82, 0xC4}};
const GUID kClsidGuid = {0x74A19CB3, 0x36EB, 0x4CC8, {0xAA, 0xD0, 0x24, 0x0C, 0xC1, 0x36, 0x86, 0xAC}};
const GUID kIidGuid = {0xAF38F596, 0x6CB4, 0x4B3C, {0xB3, 0x12, 0xFC, 0x9B, 0x80, 0x6A, 0xCA, 0x01}};

const std::string kClassKey = std::string("CLSID\\") + kClsid;
const std::string kTypeLibKey = std::string("TypeLib\\") + kLibid;
const std::string kInterfaceKey = std::string("Interface\\") + kIid;
// A type library is registered, and describes itself, for the platform it was built for.
#ifdef _WIN64
const char kPlatformKey[] = "win64";
const SYSKIND kSysKind = SYS_WIN64;
#else
const char kPlatformKey[] = "win32";
const SYSKIND kSysKind = SYS_WIN32;
#endif
// Everything that registration may leave under HKEY_CLASSES_ROOT.
const std::vector<std::string> kRegisteredKeys = {"QxChecker.Checker.1", "QxChecker.Checker", kClassKey,
                                                  kTypeLibKey, kInterfaceKey};

// The blank makes the long path unusable unquoted; the quote collides with the registry script's
// string syntax. The quote leads the folder name so that it survives into the short (8.3) name.
const char kCopyDir[] = "C:\\Program Files\\q'x reg test";
const char kCopyPath[] = "C:\\Program Files\\q'x reg test\\qxChecker.DLL";

const DWORD kProcessLimitMs = 60000;

std::string Lower(std::string text)
{
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

// Runs a program to its end (bounded) and gives its exit code; the code is 0xFFFFFFFF when it
// could not be started or had to be ended.
DWORD RunToEnd(const std::string& commandLine)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start: " << commandLine << " (error " << ::GetLastError() << ")";
        return 0xFFFFFFFF;
    }
    UniqueKernelHandle process(pi.hProcess);
    UniqueKernelHandle thread(pi.hThread);
    if (::WaitForSingleObject(process.Get(), testenv::ScaledMs(kProcessLimitMs)) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "did not end within " << kProcessLimitMs << " ms: " << commandLine;
        ::TerminateProcess(process.Get(), 0xFFFFFFFF);
        ::WaitForSingleObject(process.Get(), 5000);
        return 0xFFFFFFFF;
    }
    DWORD exitCode = 0xFFFFFFFF;
    ::GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
}

DWORD Regsvr32(const std::string& options, const std::string& dllPath)
{
    return RunToEnd("C:\\windows\\system32\\regsvr32.exe " + options + " \"" + dllPath + "\"");
}

// ---- the registry as a comparable text ------------------------------------------------------

struct RegValue {
    DWORD type;
    std::string data;
};
// Value name ("" for the default value) → value.
using Values = std::map<std::string, RegValue>;
// Key path below HKEY_CLASSES_ROOT → its values; a key without values maps to an empty set.
using Tree = std::map<std::string, Values>;

RegValue Sz(const std::string& data)
{
    return {REG_SZ, data};
}

bool KeyExists(const std::string& path)
{
    UniqueRegKey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// Adds the key at `path` and everything below it to `tree`; nothing when the key is missing.
void ReadTree(const std::string& path, Tree& tree)
{
    UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
    Values& values = tree[path];
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameLength = sizeof(name);
        DWORD type = 0;
        BYTE data[8192];
        DWORD dataLength = sizeof(data);
        if (::RegEnumValueA(key.Get(), i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        std::string text(reinterpret_cast<const char*>(data), dataLength);
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            while (!text.empty() && text.back() == '\0') text.pop_back();
        values[std::string(name, nameLength)] = {type, text};
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof(name);
        if (::RegEnumKeyExA(key.Get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.emplace_back(name, nameLength);
    }
    for (const std::string& subkey : subkeys) ReadTree(path + "\\" + subkey, tree);
}

// The entries of the class itself: its two ProgIDs and its class key.
Tree ClassEntries()
{
    Tree tree;
    for (const char* key : {"QxChecker.Checker.1", "QxChecker.Checker"}) ReadTree(key, tree);
    ReadTree(kClassKey, tree);
    return tree;
}

// One line per key and per value, so that a difference shows as the lines that differ.
std::string Dump(const Tree& tree)
{
    std::ostringstream out;
    for (const auto& key : tree) {
        out << "[" << key.first << "]\n";
        for (const auto& value : key.second)
            out << "  " << (value.first.empty() ? "@" : value.first) << " (type " << value.second.type << ") = \""
                << value.second.data << "\"\n";
    }
    return out.str();
}

Tree ExpectedClassEntries(const std::string& modulePath)
{
    const std::string cls = kClassKey;
    return {
        {"QxChecker.Checker.1", {{"", Sz("Checker Class")}}},
        {"QxChecker.Checker.1\\CLSID", {{"", Sz(kClsid)}}},
        {"QxChecker.Checker", {{"", Sz("Checker Class")}}},
        {"QxChecker.Checker\\CLSID", {{"", Sz(kClsid)}}},
        {"QxChecker.Checker\\CurVer", {{"", Sz("QxChecker.Checker.1")}}},
        {cls, {{"", Sz("Checker Class")}}},
        {cls + "\\ProgID", {{"", Sz("QxChecker.Checker.1")}}},
        {cls + "\\VersionIndependentProgID", {{"", Sz("QxChecker.Checker")}}},
        {cls + "\\Programmable", {}},
        {cls + "\\InprocServer32", {{"", Sz(modulePath)}, {"ThreadingModel", Sz("Apartment")}}},
        {cls + "\\Control", {}},
        {cls + "\\Insertable", {}},
        {cls + "\\ToolboxBitmap32", {{"", Sz(modulePath + ", 102")}}},
        {cls + "\\MiscStatus", {{"", Sz("0")}}},
        {cls + "\\MiscStatus\\1", {{"", Sz("131473")}}},
        {cls + "\\TypeLib", {{"", Sz(kLibid)}}},
        {cls + "\\Version", {{"", Sz("1.0")}}},
    };
}

bool SetValue(const std::string& path, const char* name, const std::string& data)
{
    UniqueRegKey key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return ::RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

// Clears whatever an earlier test or a failed unregistration left, so each test sees a clean slate.
void DeleteRegisteredKeys()
{
    for (const std::string& key : kRegisteredKeys) ::RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
}

std::string ToText(const wchar_t* wide)
{
    if (!wide) return std::string();
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], n, nullptr, nullptr);
    text.resize(static_cast<size_t>(n) - 1);
    return text;
}

struct Documentation {
    std::string name;
    std::string helpString;
    std::string helpFile;
};

Documentation DocumentationOf(ITypeInfo* typeInfo, MEMBERID member)
{
    BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
    DWORD helpContext = 0;
    Documentation result;
    if (SUCCEEDED(typeInfo->GetDocumentation(member, &name, &doc, &helpContext, &helpFile)))
        result = {ToText(name), ToText(doc), ToText(helpFile)};
    ::SysFreeString(name);
    ::SysFreeString(doc);
    ::SysFreeString(helpFile);
    return result;
}

std::vector<std::string> NamesOf(ITypeInfo* typeInfo, MEMBERID member)
{
    BSTR names[8] = {};
    UINT count = 0;
    std::vector<std::string> result;
    if (FAILED(typeInfo->GetNames(member, names, 8, &count))) return result;
    for (UINT i = 0; i < count; ++i) {
        result.push_back(ToText(names[i]));
        ::SysFreeString(names[i]);
    }
    return result;
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegisteredKeys();
        ASSERT_TRUE(testenv::MakeDirs(kCopyDir));
        ASSERT_TRUE(::CopyFileA(productdll::Path().c_str(), kCopyPath, FALSE)) << ::GetLastError();
        char shortPath[MAX_PATH] = {};
        const DWORD n = ::GetShortPathNameA(kCopyPath, shortPath, MAX_PATH);
        ASSERT_TRUE(n > 0 && n < MAX_PATH);
        m_shortPath = shortPath;
    }

    void TearDown() override
    {
        Regsvr32("/u /s", kCopyPath);
        DeleteRegisteredKeys();
    }

    std::string m_shortPath;
};

}  // namespace

TEST_F(Registration, WritesExactlyTheClassEntriesWithTheShortModulePath)
{
    // What makes this path a test at all: the short form has no blank and still holds the quote,
    // which the registry script must receive doubled and write once.
    ASSERT_EQ(std::string::npos, m_shortPath.find(' ')) << m_shortPath;
    ASSERT_EQ(1, std::count(m_shortPath.begin(), m_shortPath.end(), '\'')) << m_shortPath;

    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));

    EXPECT_EQ(Dump(ExpectedClassEntries(m_shortPath)), Dump(ClassEntries())) << "short path " << m_shortPath;
}

// A module whose path does not fit the platform's limit, even in its short form, cannot be
// registered: nothing is written rather than a class that points at a cut path.
TEST_F(Registration, ModulePathThatDoesNotFitRegistersNothing)
{
    std::wstring dir = L"\\\\?\\C:\\qxdeep";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    while (dir.size() < MAX_PATH + 20) {
        dir += L"\\d" + std::to_wstring(dir.size());
        ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) << ::GetLastError();
    }
    const std::wstring dll = dir + L"\\qxChecker.DLL";
    const std::string source = productdll::Path();
    ASSERT_TRUE(::CopyFileW(WideFromAnsi(source.c_str()).c_str(), dll.c_str(), FALSE)) << ::GetLastError();
    {
        UniqueLibrary module(::LoadLibraryW(dll.c_str()));
        ASSERT_TRUE(module) << ::GetLastError();
        auto registerServer = productdll::Export<productdll::RegisterFn>(module.Get(), "DllRegisterServer");
        ASSERT_TRUE(registerServer);
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), registerServer());
    }
    for (const std::string& key : kRegisteredKeys) EXPECT_FALSE(KeyExists(key)) << key;
    ::DeleteFileW(dll.c_str());
}

TEST_F(Registration, RegisteringAgainGivesTheSameEntriesAndDropsWhatElseStoodUnderTheClassKey)
{
    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));
    const Tree once = ClassEntries();
    Tree typeLibOnce;
    ReadTree(kTypeLibKey, typeLibOnce);

    ASSERT_TRUE(SetValue(kClassKey + "\\Planted\\Deeper", "Foreign", "x"));
    ASSERT_TRUE(SetValue(kClassKey, "Foreign", "x"));
    ASSERT_TRUE(SetValue(kClassKey + "\\InprocServer32", "Foreign", "x"));
    ASSERT_TRUE(SetValue(kClassKey + "\\InprocServer32", nullptr, "C:\\elsewhere\\other.dll"));
    ASSERT_NE(Dump(once), Dump(ClassEntries()));

    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));

    EXPECT_EQ(Dump(once), Dump(ClassEntries()));
    EXPECT_EQ(Dump(ExpectedClassEntries(m_shortPath)), Dump(ClassEntries()));
    EXPECT_FALSE(KeyExists(kClassKey + "\\Planted"));
    Tree typeLibTwice;
    ReadTree(kTypeLibKey, typeLibTwice);
    EXPECT_EQ(Dump(typeLibOnce), Dump(typeLibTwice));
}

TEST_F(Registration, UnregisteringRemovesTheClassAndItsTypeLibraryAndKeepsClsid)
{
    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));
    for (const std::string& key : kRegisteredKeys) ASSERT_TRUE(KeyExists(key)) << key;

    EXPECT_EQ(0u, Regsvr32("/u /s", kCopyPath));

    for (const std::string& key : kRegisteredKeys) EXPECT_FALSE(KeyExists(key)) << key;
    UniqueRegKey clsid;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, clsid.Put()));
    DWORD subkeys = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryInfoKeyA(clsid.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_GT(subkeys, 0u) << "the other classes under CLSID must stay";
    ComPtr<ITypeLib> typeLib;
    EXPECT_TRUE(FAILED(::LoadRegTypeLib(kLibidGuid, 1, 0, 0, &typeLib)));

    // Nothing left to remove is not an error.
    EXPECT_EQ(0u, Regsvr32("/u /s", kCopyPath));
}

// IE's elevation policy lists the broker beside the DLL, and only it; unregistering takes out that
// one key and leaves every other program's policy.
TEST_F(Registration, ListsTheBrokerInTheElevationPolicyAndRemovesExactlyThat)
{
    const std::string policies = "SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy";
    const std::string ours = policies + "\\{5E0C9759-56BA-4538-9AE9-9D9F5D15548A}";
    const std::string other = policies + "\\{00000000-0000-0000-0000-0000000000AA}";
    UniqueRegKey planted;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, other.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                               planted.Put(), nullptr));
    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));
    char text[MAX_PATH];
    DWORD cb = sizeof(text);
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueA(HKEY_LOCAL_MACHINE, ours.c_str(), "AppName", RRF_RT_REG_SZ, nullptr, text, &cb));
    EXPECT_STREQ("qxBroker.exe", text);
    cb = sizeof(text);
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueA(HKEY_LOCAL_MACHINE, ours.c_str(), "AppPath", RRF_RT_REG_SZ, nullptr, text, &cb));
    EXPECT_STREQ(kCopyDir, text);
    DWORD policy = 0;
    cb = sizeof(policy);
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueA(HKEY_LOCAL_MACHINE, ours.c_str(), "Policy", RRF_RT_REG_DWORD, nullptr, &policy, &cb));
    EXPECT_EQ(3u, policy);

    EXPECT_EQ(0u, Regsvr32("/u /s", kCopyPath));
    UniqueRegKey key;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, ours.c_str(), 0, KEY_READ, key.Put()));
    EXPECT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, other.c_str(), 0, KEY_READ, key.Put()));
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, other.c_str());
}

// An upgrade whose registration fails (here: a copy whose type library is damaged) leaves what it
// wrote and never takes out the registration that stood before it.
TEST_F(Registration, FailedRegistrationOverAnExistingOneTakesNothingOut)
{
    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));
    Tree typeLibBefore;
    ReadTree(kTypeLibKey, typeLibBefore);
    const std::string broken = std::string(kCopyDir) + "\\broken.DLL";
    ASSERT_TRUE(::CopyFileA(kCopyPath, broken.c_str(), FALSE));
    HANDLE update = ::BeginUpdateResourceA(broken.c_str(), FALSE);
    ASSERT_TRUE(update);
    char garbage[] = "not a type library";
    ASSERT_TRUE(::UpdateResourceA(update, "TYPELIB", MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_EIRE),
                                  garbage, sizeof garbage));
    ASSERT_TRUE(::EndUpdateResourceA(update, FALSE));

    EXPECT_NE(0u, Regsvr32("/s", broken));

    for (const std::string& key : kRegisteredKeys) EXPECT_TRUE(KeyExists(key)) << key;
    Tree typeLibAfter;
    ReadTree(kTypeLibKey, typeLibAfter);
    EXPECT_EQ(Dump(typeLibBefore), Dump(typeLibAfter));
    ::DeleteFileA(broken.c_str());
}

// Unregistration removes only what it wrote: a ProgID key that holds someone else's subkey stays,
// with that subkey.
TEST_F(Registration, UnregisteringKeepsAProgIdKeyThatHoldsAForeignSubkey)
{
    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));
    ASSERT_TRUE(SetValue("QxChecker.Checker\\Foreign", "Owner", "someone else"));

    EXPECT_EQ(0u, Regsvr32("/u /s", kCopyPath));

    EXPECT_TRUE(KeyExists("QxChecker.Checker\\Foreign"));
    EXPECT_FALSE(KeyExists("QxChecker.Checker\\CLSID"));
    EXPECT_FALSE(KeyExists("QxChecker.Checker\\CurVer"));
    EXPECT_FALSE(KeyExists("QxChecker.Checker.1"));
    EXPECT_FALSE(KeyExists(kClassKey));
}

TEST_F(Registration, RegistersTheTypeLibraryAndTheInterfaceForTheAutomationMarshaller)
{
    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));

    Tree typeLib;
    ReadTree(kTypeLibKey, typeLib);
    const std::string version = kTypeLibKey + "\\1.0";
    EXPECT_EQ("qxChecker 1.0 Type Library", typeLib[version][""].data);
    // The platform records the library flags as it loaded them, with its own disk-image mark (8).
    const std::string& flags = typeLib[version + "\\FLAGS"][""].data;
    EXPECT_EQ(0ul, std::strtoul(flags.c_str(), nullptr, 16) & ~static_cast<unsigned long>(LIBFLAG_FHASDISKIMAGE))
        << "FLAGS " << flags;
    // The platform decides the spelling of the recorded path (\\?\C:\..., Z:\...); only its file counts.
    const std::string path = Lower(typeLib[version + "\\0\\" + kPlatformKey][""].data);
    EXPECT_TRUE(path.size() >= 14 && path.compare(path.size() - 14, 14, "\\qxchecker.dll") == 0)
        << Dump(typeLib);
    EXPECT_EQ(1u, typeLib.count(version + "\\HELPDIR")) << Dump(typeLib);

    Tree iface;
    ReadTree(kInterfaceKey, iface);
    EXPECT_EQ("IChecker", iface[kInterfaceKey][""].data) << Dump(iface);
    // The automation marshaller carries the dual interface between apartments.
    EXPECT_EQ("{00020424-0000-0000-C000-000000000046}", iface[kInterfaceKey + "\\ProxyStubClsid32"][""].data)
        << Dump(iface);
    EXPECT_EQ(kLibid, iface[kInterfaceKey + "\\TypeLib"][""].data) << Dump(iface);
}

TEST_F(Registration, RegisteredTypeLibraryDescribesTheCheckerClassAndItsDualInterface)
{
    ASSERT_EQ(0u, Regsvr32("/s", kCopyPath));
    ComPtr<ITypeLib> typeLib;
    ASSERT_EQ(S_OK, ::LoadRegTypeLib(kLibidGuid, 1, 0, 0, &typeLib));

    BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
    ASSERT_EQ(S_OK, typeLib->GetDocumentation(-1, &name, &doc, nullptr, &helpFile));
    EXPECT_EQ("QXCHECKERLib", ToText(name));
    EXPECT_EQ("qxChecker 1.0 Type Library", ToText(doc));
    EXPECT_EQ("", ToText(helpFile));
    ::SysFreeString(name);
    ::SysFreeString(doc);
    ::SysFreeString(helpFile);

    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(S_OK, typeLib->GetLibAttr(&libAttr));
    const TLIBATTR attr = *libAttr;
    typeLib->ReleaseTLibAttr(libAttr);
    EXPECT_TRUE(IsEqualGUID(kLibidGuid, attr.guid));
    EXPECT_EQ(0u, attr.lcid);
    EXPECT_EQ(kSysKind, attr.syskind);
    EXPECT_EQ(1, attr.wMajorVerNum);
    EXPECT_EQ(0, attr.wMinorVerNum);
    // LIBFLAG_FHASDISKIMAGE is the platform's note that the library came from a file, not a flag of ours.
    EXPECT_EQ(0, attr.wLibFlags & ~LIBFLAG_FHASDISKIMAGE) << "library flags " << attr.wLibFlags;

    // The class first, then its interface.
    ASSERT_EQ(2u, typeLib->GetTypeInfoCount());
    TYPEKIND kinds[2] = {};
    ASSERT_EQ(S_OK, typeLib->GetTypeInfoType(0, &kinds[0]));
    ASSERT_EQ(S_OK, typeLib->GetTypeInfoType(1, &kinds[1]));
    EXPECT_EQ(TKIND_COCLASS, kinds[0]);
    EXPECT_EQ(TKIND_DISPATCH, kinds[1]);

    // The class.
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, typeLib->GetTypeInfoOfGuid(kClsidGuid, &coclass));
    TYPEATTR* typeAttr = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&typeAttr));
    EXPECT_EQ(TKIND_COCLASS, typeAttr->typekind);
    EXPECT_EQ(TYPEFLAG_FCANCREATE, typeAttr->wTypeFlags);
    EXPECT_EQ(1, typeAttr->cImplTypes);
    coclass->ReleaseTypeAttr(typeAttr);
    EXPECT_EQ("Checker", DocumentationOf(coclass.Get(), MEMBERID_NIL).name);
    EXPECT_EQ("Checker Class", DocumentationOf(coclass.Get(), MEMBERID_NIL).helpString);
    INT implFlags = 0;
    ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(0, &implFlags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, implFlags);
    HREFTYPE implRef = 0;
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &implRef));
    ComPtr<ITypeInfo> defaultInterface;
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(implRef, &defaultInterface));
    ASSERT_EQ(S_OK, defaultInterface->GetTypeAttr(&typeAttr));
    EXPECT_TRUE(IsEqualGUID(kIidGuid, typeAttr->guid));
    defaultInterface->ReleaseTypeAttr(typeAttr);

    // The interface, as scripts see it: dual, automation-compatible, neither hidden nor closed.
    ComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(S_OK, typeLib->GetTypeInfoOfGuid(kIidGuid, &dispatch));
    ASSERT_EQ(S_OK, dispatch->GetTypeAttr(&typeAttr));
    EXPECT_EQ(TKIND_DISPATCH, typeAttr->typekind);
    // Dual and dispatchable, neither hidden nor closed to extension. widl marks only the vtable
    // half (below) as automation-compatible, so that flag is not asked for here.
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, typeAttr->wTypeFlags & ~TYPEFLAG_FOLEAUTOMATION);
    dispatch->ReleaseTypeAttr(typeAttr);
    EXPECT_EQ("IChecker", DocumentationOf(dispatch.Get(), MEMBERID_NIL).name);
    EXPECT_EQ("IChecker Interface", DocumentationOf(dispatch.Get(), MEMBERID_NIL).helpString);

    // The names a script calls resolve to the DISPIDs the control dispatches on.
    for (const auto& method : {std::make_pair(L"Check", 1), std::make_pair(L"Launch", 2)}) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(method.first)};
        MEMBERID id = MEMBERID_NIL;
        EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(names, 1, &id));
        EXPECT_EQ(method.second, id);
    }

    // The vtable half carries the methods with their exact signatures.
    HREFTYPE vtableRef = 0;
    ASSERT_EQ(S_OK, dispatch->GetRefTypeOfImplType(-1, &vtableRef));
    ComPtr<ITypeInfo> vtable;
    ASSERT_EQ(S_OK, dispatch->GetRefTypeInfo(vtableRef, &vtable));
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&typeAttr));
    EXPECT_EQ(TKIND_INTERFACE, typeAttr->typekind);
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, typeAttr->wTypeFlags);
    const WORD functionCount = typeAttr->cFuncs;
    vtable->ReleaseTypeAttr(typeAttr);
    ASSERT_EQ(2, functionCount);

    struct Param {
        VARTYPE type;
        VARTYPE pointee;  // VT_EMPTY unless type is VT_PTR
        USHORT flags;
    };
    struct Method {
        MEMBERID id;
        std::vector<std::string> names;  // the method, then its parameters
        const char* helpString;
        std::vector<Param> params;
    };
    const Method methods[] = {
        {1, {"Check", "bstrLoaderInfo", "bOk"}, "method Check",
         {{VT_BSTR, VT_EMPTY, PARAMFLAG_FIN}, {VT_PTR, VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}}},
        {2, {"Launch", "bstrURL"}, "method Launch", {{VT_BSTR, VT_EMPTY, PARAMFLAG_FIN}}},
    };
    for (UINT index = 0; index < functionCount; ++index) {
        const Method& method = methods[index];
        FUNCDESC* func = nullptr;
        ASSERT_EQ(S_OK, vtable->GetFuncDesc(index, &func));
        EXPECT_EQ(method.id, func->memid) << method.names[0];
        EXPECT_EQ(FUNC_PUREVIRTUAL, func->funckind) << method.names[0];
        EXPECT_EQ(INVOKE_FUNC, func->invkind) << method.names[0];
        EXPECT_EQ(CC_STDCALL, func->callconv) << method.names[0];
        EXPECT_EQ(VT_HRESULT, func->elemdescFunc.tdesc.vt) << method.names[0];
        EXPECT_EQ(0, func->cParamsOpt) << method.names[0];
        ASSERT_EQ(method.params.size(), static_cast<size_t>(func->cParams)) << method.names[0];
        for (size_t p = 0; p < method.params.size(); ++p) {
            const ELEMDESC& element = func->lprgelemdescParam[p];
            EXPECT_EQ(method.params[p].type, element.tdesc.vt) << method.names[0] << " parameter " << p;
            if (element.tdesc.vt == VT_PTR) {
                EXPECT_EQ(method.params[p].pointee, element.tdesc.lptdesc->vt) << method.names[0] << " parameter " << p;
            }
            EXPECT_EQ(method.params[p].flags, element.paramdesc.wParamFlags) << method.names[0] << " parameter " << p;
        }
        vtable->ReleaseFuncDesc(func);
        EXPECT_EQ(method.names, NamesOf(vtable.Get(), method.id));
        EXPECT_EQ(method.helpString, DocumentationOf(vtable.Get(), method.id).helpString);
    }
}

TEST(RegistrationExports, ExactlyTheFourComEntryPoints)
{
    UniqueLibrary dll(::LoadLibraryA(productdll::Path().c_str()));
    ASSERT_TRUE(dll) << ::GetLastError();
    for (const char* name : {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(nullptr, reinterpret_cast<void*>(::GetProcAddress(dll.Get(), name))) << name;

    // The export directory of the mapped image: nothing more, not even by ordinal alone. The NT
    // headers have the layout of the architecture the test program shares with the DLL.
    const BYTE* base = reinterpret_cast<const BYTE*>(dll.Get());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR_MAGIC, nt->OptionalHeader.Magic);
    ASSERT_EQ(IMAGE_NT_SIGNATURE, nt->Signature);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, directory.VirtualAddress);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    EXPECT_EQ(4u, exports->NumberOfFunctions);
    const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> names;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
    EXPECT_EQ((std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}),
              names);
}
