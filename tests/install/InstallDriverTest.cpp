// The Check request's installation driver end to end under Wine: the loopback server serves the
// description and the loader, the registry and the drives are real, and a recorder thread reads
// and answers every box the driver shows, in order.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TestEnv.h"
#include "TestServer.h"
#include "UiHelper.h"
#include "framework/Handles.h"
#include "download/Sha256.h"
#include "folder/FolderChooserWnd.h"
#include "install/CheckRequest.h"

namespace {

const char kRootC[] = "C:\\Program Files\\Activeworlds";
const char kRootD[] = "D:\\Program Files\\Activeworlds";
const char kScratch[] = "Software\\Tessaron\\qxCheckerTest\\Install";
const char kVersionKey[] = "SOFTWARE\\Tessaron";

struct Box {
    std::string caption;
    std::string text;
    bool operator==(const Box& other) const { return caption == other.caption && text == other.text; }
};

std::ostream& operator<<(std::ostream& out, const Box& box)
{
    return out << "[" << box.caption << "] " << box.text;
}

// Answers every message box of this process with OK (a question with Yes), and cancels the
// folder chooser or, when given a folder, types it there and takes it, noting what each said,
// until it is stopped.
class BoxRecorder {
public:
    explicit BoxRecorder(std::string folder = std::string()) : m_folder(std::move(folder)), m_thread([this] { Run(); }) {}
    ~BoxRecorder() { Stop(); }
    std::vector<Box> Stop()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        return m_boxes;
    }

private:
    void Run()
    {
        while (!m_stop) {
            for (const char* caption : {"Error", "qxtests", "설치디렉토리 선택"}) {
                HWND h = ui::WaitForWindow(caption, 0);
                if (!h) continue;
                if (std::string(caption) == "설치디렉토리 선택") {
                    // A chooser that asked its question stays open until the answer, so the wait
                    // for it ran out; once answered it closes, and is not a second chooser.
                    if (h == m_lastChooser) continue;
                    m_lastChooser = h;
                    m_boxes.push_back(Box{caption, "(folder chooser)" + m_folder});
                    if (m_folder.empty() || !ui::TypeText(ui::FindChildById(h, IDC_FOLDER_EDIT), m_folder))
                        ui::ClickButton(h, IDCANCEL);
                    else
                        ui::ClickButton(h, IDOK);
                } else {
                    if (std::string(caption) == "Error") {
                        // Owned by the installer's hidden window, which is never shown.
                        HWND owner = ::GetWindow(h, GW_OWNER);
                        if (!owner || ui::GetText(owner) != "qxChecker" || ::IsWindowVisible(owner)) ++m_badOwners;
                    }
                    m_boxes.push_back(Box{caption, ui::GetMessageBoxText(h)});
                    if (!ui::ClickButton(h, IDOK)) ui::ClickButton(h, IDYES);
                }
                ui::WaitForWindowGone(h, 10000);
            }
            ::Sleep(10);
        }
    }

public:
    std::atomic<int> m_badOwners{0};

private:
    const std::string m_folder;
    std::atomic<bool> m_stop{false};
    HWND m_lastChooser = nullptr;
    std::vector<Box> m_boxes;
    std::thread m_thread;
};

// Free space as the test shapes it: a script of answers for drive C: and D:, in call order.
struct SpaceScript {
    std::vector<int> answers;
    size_t next = 0;
} g_space;

int ScriptedSpace(char, ULONGLONG)
{
    const int answer = g_space.next < g_space.answers.size() ? g_space.answers[g_space.next] : 1;
    ++g_space.next;
    return answer;
}

int g_sleeps = 0;
std::string g_appearDuringSleep;  // written as the description when the first sleep happens

void WINAPI CountingSleep(DWORD)
{
    if (++g_sleeps == 1 && !g_appearDuringSleep.empty())
        testenv::WriteFileBytes(std::string(kRootC) + "\\temp.ini", g_appearDuringSleep);
}

std::string RegString(HKEY root, const std::string& key, const char* name)
{
    char value[2048] = {};
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    if (::RegGetValueA(root, key.c_str(), name, RRF_RT_ANY, &type, value, &size) != ERROR_SUCCESS) return "<missing>";
    return value;
}

DWORD RegDword(HKEY root, const std::string& key, const char* name)
{
    DWORD value = 0xFFFFFFFF, size = sizeof(value);
    ::RegGetValueA(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

class InstallDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
        for (const char* root : {kRootC, kRootD}) testenv::RemoveTree(root);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kVersionKey);
        g_space = SpaceScript{};
        g_sleeps = 0;
        g_appearDuringSleep.clear();
        m_system = InstallSystem{ScriptedSpace, CountingSleep};
        m_loader = Loader("version 5, " + std::string(300000, 'x'));
    }
    void TearDown() override
    {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kVersionKey);
        ::OleUninitialize();
    }

    // The usual description: the loader's address (a path on the test server, or any address),
    // its digest when given, its record under the scratch key and the offered version.
    std::string Description(int version, const std::string& loader = "/inst/qxLoader.exe",
                            const std::string& sha256 = "") const
    {
        const std::string url = loader.compare(0, 1, "/") == 0 ? testserver::Url(loader) : loader;
        return "[Program]\r\n\"downurl\"=\"" + url + "\"\r\n" +
               (sha256.empty() ? "" : "\"sha256\"=\"" + sha256 + "\"\r\n") +
               "[HKEY_CURRENT_USER\\" + kScratch + "]\r\n\"Path\"=\"x\"\r\n\"Version\"=" + std::to_string(version) +
               "\r\n\"Name\"=\"qxLoader\"\r\n[Other]\r\n";
    }

    // Runs Check as the control does, answering the boxes (and, given a folder, choosing it in
    // the folder chooser); bOk, and the boxes in order.
    LONG Check(const std::string& url, std::vector<Box>& boxes, const std::string& folder = std::string())
    {
        BoxRecorder recorder(folder);
        BSTR bstr = ::SysAllocString(std::wstring(url.begin(), url.end()).c_str());
        const LONG bOk = RunCheckRequest(bstr, m_system, m_urls);
        ::SysFreeString(bstr);
        boxes = recorder.Stop();
        EXPECT_EQ(0, recorder.m_badOwners.load()) << "an \"Error\" box not owned by the hidden installer window";
        return bOk;
    }

    // A loader the installer takes: a whole program (the sample loader), told apart by what
    // follows its image.
    static std::string Loader(const std::string& tag)
    {
        return testenv::ReadFileBytes(testenv::WindowsPath(QX_SAMPLE_LOADER_PATH)) + tag;
    }

    std::string Serve(const std::string& name, const std::string& bytes) const
    {
        return testserver::Url(testserver::PutFile(name, bytes));
    }

    InstallSystem m_system{};
    CUrlPolicy m_urls;  // where the request may fetch from: any web address unless a test says
    std::string m_loader;
};

}  // namespace

TEST_F(InstallDriver, NoDriveWithRoomStopsBeforeAnything)
{
    g_space.answers = {0, 0};
    const std::string url = Serve("inst/none.ini", Description(5));
    std::vector<Box> boxes;
    EXPECT_EQ(0, Check(url, boxes));
    EXPECT_EQ((std::vector<Box>{{"qxtests", "ini 파일을 다운로드 받을 폴더를 생성하지 못했습니다."}}), boxes);
    EXPECT_FALSE(testenv::FileExists(kRootC));
    EXPECT_FALSE(testenv::FileExists(kRootD));
    EXPECT_FALSE(testserver::WaitForLogEntry("/inst/none.ini", 0)) << "nothing is downloaded";
}

TEST_F(InstallDriver, MissingDescriptionIsReportedThreeTimesAfterTheBoundedWait)
{
    // A description from an earlier Check must not stand in for the missing one.
    ASSERT_TRUE(testenv::MakeDirs(kRootC));
    ASSERT_TRUE(testenv::WriteFileBytes(std::string(kRootC) + "\\temp.ini", Description(5)));
    struct Case {
        const char* name;
        std::string url;
    };
    const Case cases[] = {
        {"404", testserver::Url("/inst/missing.ini")},
        {"500", Serve("inst/error.ini", Description(5)) + "?status=500"},
        {"refused", testserver::RefusedUrl("/inst/x.ini")},
        {"empty address", ""},
        // Addresses that are not web addresses are never fetched, and one past a description's
        // size is no description.
        {"a local file", "file:///C:/windows/win.ini"},
        {"a share", "\\\\127.0.0.1\\share\\qxloader.ini"},
        {"a script", "javascript:void(0)"},
        {"larger than a description",
         Serve("inst/huge.ini", Description(5) + ";" + std::string(1024 * 1024, 'x') + "\r\n[End]\r\n")},
    };
    for (const Case& c : cases) {
        g_sleeps = 0;
        std::vector<Box> boxes;
        EXPECT_EQ(0, Check(c.url, boxes)) << c.name;
        const std::vector<Box> expected = {
            {"Error", c.url + " 파일을 찾지 못했습니다."},
            {"qxtests", "파싱 파일을 읽지 못했습니다."},
            {"Error", std::string(kRootC) + "\\temp.ini 파일을 파싱하지 못했습니다"},
        };
        EXPECT_EQ(expected, boxes) << c.name;
        EXPECT_EQ(3, g_sleeps) << c.name << ": three tests, a second after each failed one";
        EXPECT_TRUE(testenv::FileExists(kRootC)) << c.name << ": the root is made all the same";
    }
}

TEST_F(InstallDriver, DescriptionArrivingDuringTheWaitIsRead)
{
    g_appearDuringSleep = Description(5, "/inst/never-served.exe");
    std::vector<Box> boxes;
    // Nothing is served: only the wait can bring the file. The loader is missing too (whatever
    // another case served), so the full installation's download fails, which shows that the
    // description was read.
    EXPECT_EQ(0, Check(testserver::Url("/inst/late.ini"), boxes));
    EXPECT_EQ(1, g_sleeps);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ((Box{"qxtests", "DownProgram실패"}), boxes.front()) << "no box about the description";
}

TEST_F(InstallDriver, FullInstallationThenCurrentThenUpgrade)
{
    testserver::PutFile("inst/qxLoader.exe", m_loader);
    const std::string url = Serve("inst/v5.ini", Description(5));
    std::vector<Box> boxes;

    EXPECT_EQ(1, Check(url, boxes));
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    const std::string installed = std::string(kRootC) + "\\qxLoader.exe";
    EXPECT_TRUE(m_loader == testenv::ReadFileBytes(installed));
    EXPECT_EQ(kRootC, RegString(HKEY_CURRENT_USER, kScratch, "Path"));
    EXPECT_EQ(5u, RegDword(HKEY_CURRENT_USER, kScratch, "Version"));
    EXPECT_EQ("qxLoader", RegString(HKEY_CURRENT_USER, kScratch, "Name"));
    EXPECT_TRUE(testenv::FileExists(std::string(kRootC) + "\\temp.ini"));

    // Current: nothing shown, nothing changed.
    EXPECT_EQ(1, Check(url, boxes));
    EXPECT_TRUE(boxes.empty());

    // A higher version offered: the fixed "Version" records it, and so does the place the
    // description's own "Version" names, which the next comparison reads.
    const std::string newer = Loader("version 6");
    const std::string newerPath = testserver::PutFile("inst/qxLoader6.exe", newer);
    const std::string v6 = Serve("inst/v6.ini", Description(6, "/inst/qxLoader6.exe"));
    EXPECT_EQ(1, Check(v6, boxes));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(newer, testenv::ReadFileBytes(installed));
    EXPECT_EQ(6u, RegDword(HKEY_CURRENT_USER, "SOFTWARE\\Tessaron\\qxLoader", "Version"));
    EXPECT_EQ(6u, RegDword(HKEY_CURRENT_USER, kScratch, "Version"));

    // So the upgrade is done once: the same offer again is current, with no download.
    ASSERT_TRUE(testenv::WriteFileBytes(installed, "MZ the upgraded loader, untouched"));
    EXPECT_EQ(1, Check(v6, boxes));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ("MZ the upgraded loader, untouched", testenv::ReadFileBytes(installed));
}

TEST_F(InstallDriver, FullInstallationFailures)
{
    testserver::PutFile("inst/qxLoader.exe", m_loader);
    struct Case {
        const char* name;
        std::vector<int> space;
        std::string description;
        std::vector<Box> boxes;
        bool registryWritten;
    };
    // A key of the loader's own whose name is longer than the registry takes.
    const std::string failingWrite =
        Description(5) + "[HKEY_CURRENT_USER\\Software\\Tessaron\\" + std::string(300, 'k') + "]\r\n\"x\"=\"y\"\r\n";
    const Case cases[] = {
        {"directory choice cancelled", {1, 0, 0}, Description(5),
         {{"설치디렉토리 선택", "(folder chooser)"}, {"Error", "전체설치 실패"}}, false},
        {"a registry write failed", {1, 1}, failingWrite, {{"Error", "전체설치실패"}}, true},
        {"the loader download failed", {1, 1}, Description(5, "/inst/no-such-loader.exe"),
         {{"qxtests", "DownProgram실패"}, {"Error", "전체설치 실패"}}, true},
        {"the loader is a local file", {1, 1}, Description(5, "file:///C:/windows/notepad.exe"),
         {{"qxtests", "DownProgram실패"}, {"Error", "전체설치 실패"}}, true},
        {"the loader is on a share", {1, 1}, Description(5, "\\\\127.0.0.1\\share\\qxLoader.exe"),
         {{"qxtests", "DownProgram실패"}, {"Error", "전체설치 실패"}}, true},
        {"the loader is a script", {1, 1}, Description(5, "javascript:void(0)"),
         {{"qxtests", "DownProgram실패"}, {"Error", "전체설치 실패"}}, true},
        {"the loader's digest is not one", {1, 1}, Description(5, "/inst/qxLoader.exe", "not a digest"),
         {{"qxtests", "DownProgram실패"}, {"Error", "전체설치 실패"}}, true},
    };
    for (const Case& c : cases) {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        testenv::RemoveTree(kRootC);
        g_space = SpaceScript{c.space};
        std::vector<Box> boxes;
        EXPECT_EQ(0, Check(Serve("inst/full.ini", c.description), boxes)) << c.name;
        EXPECT_EQ(c.boxes, boxes) << c.name;
        EXPECT_EQ(c.registryWritten ? kRootC : "<missing>", RegString(HKEY_CURRENT_USER, kScratch, "Path")) << c.name;
        EXPECT_FALSE(testenv::FileExists(std::string(kRootC) + "\\qxLoader.exe")) << c.name;
    }
}

TEST_F(InstallDriver, FailedUpgradeKeepsTheInstalledLoader)
{
    testserver::PutFile("inst/qxLoader.exe", m_loader);
    std::vector<Box> boxes;
    ASSERT_EQ(1, Check(Serve("inst/v5.ini", Description(5)), boxes));
    const std::string installed = std::string(kRootC) + "\\qxLoader.exe";

    EXPECT_EQ(0, Check(Serve("inst/v6.ini", Description(6, "/inst/qxLoader6.exe?status=404")), boxes));
    EXPECT_EQ((std::vector<Box>{{"qxtests", "DownProgram실패"}, {"Error", "설치및 업그레이드 실패"}}), boxes);
    EXPECT_TRUE(m_loader == testenv::ReadFileBytes(installed)) << "the working loader must survive";
    EXPECT_EQ(0xFFFFFFFFu, RegDword(HKEY_CURRENT_USER, "SOFTWARE\\Tessaron\\qxLoader", "Version"));
}

// A drive root is a folder the chooser accepts; once recorded, it must be found again, or every
// later Check would download the loader anew.
TEST_F(InstallDriver, DriveRootRecordedAsTheInstallFolderIsFoundAgain)
{
    const std::string loader = testserver::PutFile("inst/root/qxLoader.exe", m_loader);
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kScratch, "Path", REG_SZ, "D:\\", 4));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kScratch, "Name", REG_SZ, "qxLoader", 9));
    const DWORD version = 5;
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kScratch, "Version", REG_DWORD, &version, 4));
    ASSERT_TRUE(testenv::WriteFileBytes("D:\\qxLoader.exe", "MZ the loader in the root"));
    std::vector<Box> boxes;
    EXPECT_EQ(1, Check(Serve("inst/root.ini", Description(5, loader)), boxes));
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(testserver::WaitForLogEntry(loader, 0)) << "the loader in the root was downloaded again";
    EXPECT_EQ("MZ the loader in the root", testenv::ReadFileBytes("D:\\qxLoader.exe"));
    ::DeleteFileA("D:\\qxLoader.exe");
}

TEST_F(InstallDriver, DRootWhenCHasNoRoom)
{
    testserver::PutFile("inst/qxLoader.exe", m_loader);
    g_space.answers = {0, 1, 0, 1};
    // Only the root's last level is made, as on C:, where "Program Files" always stands.
    ASSERT_TRUE(testenv::MakeDirs("D:\\Program Files"));
    std::vector<Box> boxes;
    EXPECT_EQ(1, Check(Serve("inst/d.ini", Description(5)), boxes));
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(testenv::FileExists(std::string(kRootD) + "\\temp.ini"));
    EXPECT_TRUE(m_loader == testenv::ReadFileBytes(std::string(kRootD) + "\\qxLoader.exe"));
    EXPECT_TRUE(testenv::OnlyOwnerAdminsAndSystemMayWrite(kRootD));
    EXPECT_FALSE(testenv::FileExists(kRootC));
}

std::string HexSha256(const std::string& bytes)
{
    CSha256 hash;
    Sha256Digest digest{};
    hash.Update(bytes.data(), bytes.size());
    hash.Finish(digest);
    std::string hex;
    for (BYTE b : digest) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
    return hex;
}

// A loader whose bytes are not the ones the description names never replaces the installed one,
// whatever the server sends with status 200.
TEST_F(InstallDriver, LoaderWithAnotherDigestNeverReplacesTheInstalledOne)
{
    testserver::PutFile("inst/qxLoader.exe", m_loader);
    std::vector<Box> boxes;
    ASSERT_EQ(1, Check(Serve("inst/v5.ini", Description(5, "/inst/qxLoader.exe", HexSha256(m_loader))), boxes));
    const std::string installed = std::string(kRootC) + "\\qxLoader.exe";
    ASSERT_TRUE(m_loader == testenv::ReadFileBytes(installed));

    const std::string swapped = "MZ not the loader of version 6";
    testserver::PutFile("inst/qxLoader6.exe", swapped);
    EXPECT_EQ(0, Check(Serve("inst/v6.ini", Description(6, "/inst/qxLoader6.exe", HexSha256("MZ the real 6"))), boxes));
    EXPECT_EQ((std::vector<Box>{{"qxtests", "DownProgram실패"}, {"Error", "설치및 업그레이드 실패"}}), boxes);
    EXPECT_TRUE(m_loader == testenv::ReadFileBytes(installed)) << "the working loader must survive";
    EXPECT_EQ(5u, RegDword(HKEY_CURRENT_USER, kScratch, "Version"));
}

// With a site list, the loader comes only from a listed site, wherever the description points.
TEST_F(InstallDriver, LoaderFromASiteOffTheListIsRefused)
{
    CUrlPolicy::Site site;
    ASSERT_TRUE(CUrlPolicy::ParseSite("http://127.0.0.1", site));
    m_urls.AddSite(site);
    m_urls.RestrictToSites();
    const std::string loader = testserver::PutFile("inst/offlist/qxLoader.exe", m_loader);
    const std::string base = testserver::BaseUrl();
    const std::string elsewhere = "http://localhost" + base.substr(base.rfind(':')) + loader;
    std::vector<Box> boxes;
    EXPECT_EQ(0, Check(Serve("inst/offlist.ini", Description(5, elsewhere)), boxes));
    EXPECT_EQ((std::vector<Box>{{"qxtests", "DownProgram실패"}, {"Error", "전체설치 실패"}}), boxes);
    EXPECT_FALSE(testserver::WaitForLogEntry(loader, 0));
    EXPECT_FALSE(testenv::FileExists(std::string(kRootC) + "\\qxLoader.exe"));
}

// The loader's drive fills up during an upgrade: the download fails, the working loader stays as
// it was, and no partial file is left to fill the drive further.
TEST_F(InstallDriver, FullDriveKeepsTheInstalledLoader)
{
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(::GetDiskFreeSpaceExA("D:\\", &freeBytes, nullptr, nullptr));
    ASSERT_LT(freeBytes.QuadPart, 8ull << 20) << "the test environment has no small D: drive";
    testserver::PutFile("inst/qxLoader.exe", m_loader);
    g_space.answers = {0, 1, 0, 1};
    ASSERT_TRUE(testenv::MakeDirs("D:\\Program Files"));
    std::vector<Box> boxes;
    ASSERT_EQ(1, Check(Serve("inst/full-d.ini", Description(5)), boxes));
    const std::string installed = std::string(kRootD) + "\\qxLoader.exe";
    ASSERT_TRUE(m_loader == testenv::ReadFileBytes(installed));

    testserver::PutFile("inst/qxLoader-huge.exe", std::string(8 << 20, 'h'));
    g_space = SpaceScript{{0, 1}};
    EXPECT_EQ(0, Check(Serve("inst/full-d6.ini", Description(6, "/inst/qxLoader-huge.exe")), boxes));
    EXPECT_EQ((std::vector<Box>{{"qxtests", "DownProgram실패"}, {"Error", "설치및 업그레이드 실패"}}), boxes);
    EXPECT_TRUE(m_loader == testenv::ReadFileBytes(installed));
    ASSERT_TRUE(::GetDiskFreeSpaceExA("D:\\", &freeBytes, nullptr, nullptr));
    EXPECT_GT(freeBytes.QuadPart, 2ull << 20) << "the partial download was left on the drive";
    testenv::RemoveTree("D:\\Program Files");
}

// An install folder that cannot be written to (read-only media): the upgrade fails before any
// request, and the loader there stays.
// An installation this user cannot write (a real denial: the environment's E: is read-only) is
// not upgraded in place: the loader is installed afresh where the user can write, and that record
// decides from then on.
TEST_F(InstallDriver, ReadOnlyInstallFolderKeepsItsLoaderAndTheUserGetsAFreshOne)
{
    const char kFolder[] = "E:\\Activeworlds";
    const std::string installed = std::string(kFolder) + "\\qxLoader.exe";
    const std::string before = testenv::ReadFileBytes(installed);
    ASSERT_FALSE(testenv::WriteFileBytes(std::string(kFolder) + "\\probe", "x")) << "the test environment's E: is writable";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kScratch, "Path", REG_SZ, kFolder, sizeof kFolder));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kScratch, "Name", REG_SZ, "qxLoader", 9));
    const DWORD version = 5;
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kScratch, "Version", REG_DWORD, &version, 4));
    const std::string loader = testserver::PutFile("inst/ro/qxLoader.exe", m_loader);
    std::vector<Box> boxes;
    EXPECT_EQ(1, Check(Serve("inst/ro.ini", Description(6, loader)), boxes));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(before, testenv::ReadFileBytes(installed));
    EXPECT_TRUE(m_loader == testenv::ReadFileBytes(std::string(kRootC) + "\\qxLoader.exe"));
    EXPECT_EQ(kRootC, RegString(HKEY_CURRENT_USER, kScratch, "Path"));
}

// Neither root has room: the user chooses a folder with a Korean name and a blank, which the
// chooser makes; the loader goes there and the document type's command finds it.
TEST_F(InstallDriver, KoreanFolderChosenByTheUserTakesTheLoader)
{
    const std::string folder = "C:\\설치 폴더";
    testenv::RemoveTree(folder);
    testserver::PutFile("inst/qxLoader.exe", m_loader);
    g_space.answers = {1, 0, 0};
    const std::string url = Serve("inst/korean.ini", Description(5));
    std::vector<Box> boxes;
    EXPECT_EQ(1, Check(url, boxes, folder));
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("(folder chooser)" + folder, boxes[0].text);
    EXPECT_NE(std::string::npos, boxes[1].text.find(folder)) << boxes[1] << ": the question whether to make it";
    EXPECT_TRUE(m_loader == testenv::ReadFileBytes(folder + "\\qxLoader.exe"));
    EXPECT_EQ(folder, RegString(HKEY_CURRENT_USER, kScratch, "Path"));

    // The next Check finds it where the record says.
    g_space = SpaceScript{{1}};
    EXPECT_EQ(1, Check(url, boxes));
    EXPECT_TRUE(boxes.empty());
    testenv::RemoveTree(folder);
}

