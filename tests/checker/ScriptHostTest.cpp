// The control as pages script it: JScript and VBScript run by the platform's script host create
// it by its ProgIDs through the registry and call it through IDispatch. The scripts (tests/scripts)
// report what happened through their exit code; the world launch's effects are checked here.
// Each test registers the build's DLL with regsvr32 and leaves the class unregistered.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ProductDll.h"
#include "TestEnv.h"
#include "UiHelper.h"
#include "TestServer.h"
#include "framework/Handles.h"

namespace {

// The scripts' exit code for "as expected". Wine's script host exits 0 when a script dies of an
// uncaught error, so 0 must never count as success.
const DWORD kScriptOk = 10;
const DWORD kScriptGaveOne = 11;  // check scripts: Check gave the number 1
const DWORD kScriptCreateFailed = 2;
const DWORD kScriptNotEnded = 0xFFFFFFFF;
const DWORD kProcessLimitMs = 30000;

const char kWorldFile[] = "C:\\Program Files\\Activeworlds\\temp.qxl";
const char kSettingsFile[] = "C:\\Program Files\\Activeworlds\\ActiveWorld\\Aworld.ini";

std::string DllPath()
{
    return productdll::Path();
}

std::string ScriptPath(const char* name)
{
    return testenv::WindowsPath(std::string(QX_SOURCE_DIR) + "/tests/scripts/" + name);
}

struct ProcessRun {
    DWORD exitCode = kScriptNotEnded;
    std::string output;  // what the program wrote to its standard output and error
};

// Runs a program to its end, bounded, with its output in a file of the state folder.
ProcessRun RunToEnd(const std::string& commandLine)
{
    ProcessRun run;
    const std::string outputPath = testenv::StatePath("scripthost-output.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueFileHandle output(::CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        ADD_FAILURE() << "cannot create " << outputPath;
        return run;
    }
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = output.Get();
    si.hStdError = output.Get();
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start: " << commandLine << " (error " << ::GetLastError() << ")";
        return run;
    }
    UniqueKernelHandle process(pi.hProcess);
    UniqueKernelHandle thread(pi.hThread);
    output.Reset();
    if (::WaitForSingleObject(process.Get(), testenv::ScaledMs(kProcessLimitMs)) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "did not end within " << kProcessLimitMs << " ms: " << commandLine;
        ::TerminateProcess(process.Get(), kScriptNotEnded);
        ::WaitForSingleObject(process.Get(), 5000);
    } else {
        ::GetExitCodeProcess(process.Get(), &run.exitCode);
    }
    run.output = testenv::ReadFileBytes(outputPath);
    return run;
}

DWORD Regsvr32(const char* options)
{
    return RunToEnd(std::string("C:\\windows\\system32\\regsvr32.exe ") + options + " \"" + DllPath() + "\"").exitCode;
}

// cscript SCRIPT PROGID [URL]; the URL is left out, not passed empty, where the script should
// use the empty URL, as an empty argument does not survive every host's command-line parsing.
ProcessRun RunScript(const char* script, const char* progId, const std::string* url = nullptr)
{
    std::string commandLine =
        "C:\\windows\\system32\\cscript.exe //nologo \"" + ScriptPath(script) + "\" " + progId;
    if (url) commandLine += " \"" + *url + "\"";
    return RunToEnd(commandLine);
}

std::string ReadProfile(const std::string& file, const char* section, const char* key)
{
    char value[1024] = {};
    ::GetPrivateProfileStringA(section, key, "<missing>", value, sizeof(value), file.c_str());
    return value;
}

const char* const kProgIds[] = {"QxChecker.Checker", "QxChecker.Checker.1"};

class ScriptHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0u, Regsvr32("/s"));
        testenv::RemoveTree("C:\\Program Files\\Activeworlds");
        ASSERT_TRUE(testenv::MakeDirs("C:\\Program Files\\Activeworlds\\ActiveWorld"));
        // The loader stand-in is what the shell starts for the world file's document type; the
        // script host and the shell pass this variable on to it.
        m_record = testenv::CaseStatePath("scripthost-loader-record.txt");
        ::DeleteFileA(m_record.c_str());
        ::SetEnvironmentVariableA("QX_LOADER_RECORD", m_record.c_str());
        ASSERT_TRUE(testenv::SetClassesDefault(".qxl", "qxl_auto_file"));
        ASSERT_TRUE(testenv::SetClassesDefault("qxl_auto_file\\shell\\open\\command",
                                    std::string("\"") + testenv::WindowsPath(QX_SAMPLE_LOADER_PATH) + "\" \"%1\""));
    }

    void TearDown() override { Regsvr32("/u /s"); }

    // The record the loader stand-in leaves once it has run; empty if it has not within the bound.
    std::string WaitForLoaderRecord() const { return testenv::WaitForRecordLine(m_record); }

    std::string m_record;
};

}  // namespace

TEST_F(ScriptHost, LaunchFromEitherLanguageFetchesTheWorldSetsTheStartWorldAndOpensIt)
{
    struct Case {
        const char* script;
        const char* progId;
        const char* world;
    };
    const Case cases[] = {
        {"launch.js", "QxChecker.Checker", "ScriptWorld"},
        {"launch.js", "QxChecker.Checker.1", "ScriptWorldJs1"},
        {"launch.vbs", "QxChecker.Checker", "ScriptWorldVbs"},
        {"launch.vbs", "QxChecker.Checker.1", "ScriptWorldVbs1"},
    };
    for (const Case& c : cases) {
        const std::string label = std::string(c.script) + " " + c.progId;
        ::DeleteFileA(kWorldFile);
        ::DeleteFileA(m_record.c_str());
        const std::string world = std::string("[Program]\r\nworld=") + c.world + "\r\n";
        const std::string url = testserver::Url(testserver::PutFile("scripts/" + std::string(c.world) + ".qxl", world));

        const ProcessRun run = RunScript(c.script, c.progId, &url);

        ASSERT_EQ(kScriptOk, run.exitCode) << label << "\n" << run.output;
        EXPECT_EQ(world, testenv::ReadFileBytes(kWorldFile)) << label;
        EXPECT_EQ(c.world, ReadProfile(kSettingsFile, "start", "world")) << label;
        const std::string record = WaitForLoaderRecord();
        EXPECT_NE(std::string::npos, record.find(kWorldFile)) << label << ": loader record \"" << record << "\"";
    }
}

TEST_F(ScriptHost, LaunchWithAnEmptyUrlCompletesWithoutAnError)
{
    for (const char* script : {"launch.js", "launch.vbs"}) {
        const ProcessRun run = RunScript(script, "QxChecker.Checker");
        EXPECT_EQ(kScriptOk, run.exitCode) << script << "\n" << run.output;
    }
}

// Check answers through its [retval] as the script's value: a number (VT_I4), 1 here, where the
// description finds the loader current and nothing is shown.
TEST_F(ScriptHost, CheckAnswersTheNumberOneForACurrentLoaderInEitherLanguage)
{
    ASSERT_TRUE(testenv::WriteFileBytes("C:\\Program Files\\Activeworlds\\qxLoader.exe", "MZ"));
    const std::string url = testserver::Url(
        testserver::PutFile("scripts/current.ini", "[Program]\r\n\"downurl\"=\"http://127.0.0.1:1/x.exe\"\r\n"));
    for (const char* script : {"check.js", "check.vbs"}) {
        for (const char* progId : kProgIds) {
            const ProcessRun run = RunScript(script, progId, &url);
            EXPECT_EQ(kScriptGaveOne, run.exitCode) << script << " " << progId << "\n" << run.output;
        }
    }
}

// What a page does: Check installs the loader and registers its document type; Launch then
// opens a world through that type, which starts the installed loader.
TEST_F(ScriptHost, FullInstallationThenLaunchStartsTheInstalledLoader)
{
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "qxl_auto_file");
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Tessaron");
    testserver::PutFile("scripts/qxLoader.exe", testenv::ReadFileBytes(testenv::WindowsPath(QX_SAMPLE_LOADER_PATH)));
    const std::string description =
        "[Program]\r\n\"downurl\"=\"" + testserver::Url("/scripts/qxLoader.exe") + "\"\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Tessaron\\qxLoader]\r\n\"Path\"=\"x\"\r\n\"Version\"=3\r\n"
        "[HKEY_CLASSES_ROOT\\.qxl]\r\n\"\"=\"qxl_auto_file\"\r\n"
        "[HKEY_CLASSES_ROOT\\qxl_auto_file]\r\n\"EditFlags\"=h00\r\n"
        "[HKEY_CLASSES_ROOT\\qxl_auto_file\\shell\\open\\command]\r\n[End]\r\n";
    const std::string checkUrl = testserver::Url(testserver::PutFile("scripts/full.ini", description));
    const ProcessRun check = RunScript("check.js", "QxChecker.Checker", &checkUrl);
    ASSERT_EQ(kScriptGaveOne, check.exitCode) << check.output;
    const std::string installed = "C:\\Program Files\\Activeworlds\\qxLoader.exe";
    EXPECT_TRUE(testenv::FileExists(installed));

    const std::string worldUrl =
        testserver::Url(testserver::PutFile("scripts/installed.qxl", "[Program]\r\nworld=Installed\r\n"));
    const ProcessRun launch = RunScript("launch.js", "QxChecker.Checker", &worldUrl);
    EXPECT_EQ(kScriptOk, launch.exitCode) << launch.output;
    const std::string record = WaitForLoaderRecord();
    EXPECT_NE(std::string::npos, record.find(installed)) << record;
    EXPECT_NE(std::string::npos, record.find("temp.qxl")) << record;
}

// The boxes a failing Check shows come up in the page's own process, owned and captioned as the
// installer gives them, in order; the page still gets its number: 0.
TEST_F(ScriptHost, FailingCheckTellsTheUserInThePagesProcessAndAnswersZero)
{
    struct Seen {
        std::string caption, text;
    };
    std::vector<Seen> seen;
    std::atomic<bool> stop{false};
    std::thread recorder([&] {
        const DWORD self = ::GetCurrentProcessId();
        while (!stop) {
            HWND found = nullptr;
            for (HWND h = ::FindWindowExA(nullptr, nullptr, "#32770", nullptr); h;
                 h = ::FindWindowExA(nullptr, h, "#32770", nullptr)) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(h, &pid);
                if (pid != self && ::IsWindowVisible(h)) found = h;
            }
            if (found) {
                seen.push_back(Seen{ui::GetText(found), ui::GetMessageBoxText(found)});
                ui::ClickButton(found, IDOK);
                ui::WaitForWindowGone(found, 10000);
            }
            ::Sleep(20);
        }
    });
    const std::string url = testserver::Url("/scripts/no-such-description.ini");
    const ProcessRun run = RunScript("check.js", "QxChecker.Checker", &url);
    stop = true;
    recorder.join();

    EXPECT_EQ(kScriptOk, run.exitCode) << run.output;
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ("Error", seen[0].caption);
    EXPECT_EQ(url + " 파일을 찾지 못했습니다.", seen[0].text);
    EXPECT_EQ("qxChecker", seen[1].caption) << "the application title is the module's name";
    EXPECT_EQ("파싱 파일을 읽지 못했습니다.", seen[1].text);
    EXPECT_EQ("Error", seen[2].caption);
    EXPECT_EQ("C:\\Program Files\\Activeworlds\\temp.ini 파일을 파싱하지 못했습니다", seen[2].text);
}

TEST_F(ScriptHost, UnknownMethodRaisesAnErrorTheScriptCanCatch)
{
    for (const char* script : {"unknown.js", "unknown.vbs"}) {
        const ProcessRun run = RunScript(script, "QxChecker.Checker");
        EXPECT_EQ(kScriptOk, run.exitCode) << script << "\n" << run.output;
    }
}

TEST_F(ScriptHost, UnregisteredClassCannotBeCreated)
{
    ASSERT_EQ(0u, Regsvr32("/u /s"));
    for (const char* script : {"check.js", "check.vbs"}) {
        for (const char* progId : kProgIds) {
            const ProcessRun run = RunScript(script, progId);
            EXPECT_EQ(kScriptCreateFailed, run.exitCode) << script << " " << progId << "\n" << run.output;
        }
    }
}
