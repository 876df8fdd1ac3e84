// The world launch end to end under Wine: a real download from the loopback server, the real
// settings file, and the real shell starting the program registered for the world file's type.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "TestEnv.h"
#include "TestServer.h"
#include "framework/Handles.h"
#include "launch/WorldLaunch.h"

namespace {

const char kCRoot[] = "C:\\Program Files\\Activeworlds";
const char kDRoot[] = "D:\\Program Files\\Activeworlds";

int AlwaysNo(char, ULONGLONG) { return 0; }

std::string ReadProfile(const std::string& file, const char* section, const char* key)
{
    char value[1024] = {};
    ::GetPrivateProfileStringA(section, key, "<missing>", value, sizeof(value), file.c_str());
    return value;
}

class BstrArg {
public:
    explicit BstrArg(const std::string& ansi)
    {
        const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<size_t>(n), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], n);
        m_bstr = ::SysAllocString(wide.c_str());
    }
    ~BstrArg() { ::SysFreeString(m_bstr); }
    BstrArg(const BstrArg&) = delete;
    BstrArg& operator=(const BstrArg&) = delete;
    BSTR Get() const { return m_bstr; }

private:
    BSTR m_bstr;
};

class WorldLaunch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
        for (const char* root : {kCRoot, kDRoot}) {
            testenv::RemoveTree(root);
            ASSERT_TRUE(testenv::MakeDirs(std::string(root) + "\\ActiveWorld")) << root;
        }
        // The loader stand-in is the program the shell starts for the document type.
        m_record = testenv::CaseStatePath("loader-record.txt");
        ::DeleteFileA(m_record.c_str());
        ::SetEnvironmentVariableA("QX_LOADER_RECORD", m_record.c_str());
        ASSERT_TRUE(testenv::SetClassesDefault(".qxl", "qxl_auto_file"));
        ASSERT_TRUE(testenv::SetClassesDefault("qxl_auto_file\\shell\\open\\command",
                                    std::string("\"") + testenv::WindowsPath(QX_SAMPLE_LOADER_PATH) + "\" \"%1\""));
    }

    void TearDown() override { ::OleUninitialize(); }

    static std::string Settings(const char* root) { return std::string(root) + "\\ActiveWorld\\Aworld.ini"; }
    static std::string WorldFile(const char* root) { return std::string(root) + "\\temp.qxl"; }

    // The record the loader stand-in leaves once it has run; empty if it has not within the bound.
    std::string WaitForLoaderRecord() const { return testenv::WaitForRecordLine(m_record); }

    std::string m_record;
};

}  // namespace

TEST_F(WorldLaunch, FetchesTheWorldSetsTheStartWorldAndOpensItThroughTheShell)
{
    const std::string world = "[Program]\r\nworld=AWTeen\r\nother=1\r\n";
    const std::string url = testserver::Url(testserver::PutFile("worlds/teen.qxl", world));
    const std::string settings = Settings(kCRoot);
    ASSERT_TRUE(testenv::WriteFileBytes(settings, "[start]\r\nworld=old\r\nx=1\r\n[video]\r\nmode=full\r\n"));

    const BstrArg arg(url);
    const WorldLaunchOutcome outcome = LaunchWorld(arg.Get());

    EXPECT_EQ(WorldFile(kCRoot), outcome.strWorldFile.Str());
    EXPECT_TRUE(outcome.bDownloaded);
    EXPECT_EQ(world, testenv::ReadFileBytes(WorldFile(kCRoot)));
    EXPECT_EQ("AWTeen", ReadProfile(settings, "start", "world"));
    EXPECT_EQ("1", ReadProfile(settings, "start", "x"));
    EXPECT_EQ("full", ReadProfile(settings, "video", "mode"));
    EXPECT_TRUE(outcome.bOpened);
    const std::string record = WaitForLoaderRecord();
    EXPECT_NE(std::string::npos, record.find(WorldFile(kCRoot))) << record;
}

TEST_F(WorldLaunch, WorldNamesAsTheWorldFileGivesThem)
{
    const std::string longName(300, 'w');
    std::string longKorean;  // 150 two-byte characters: a cut at 255 bytes would split the 128th
    for (int i = 0; i < 150; ++i) longKorean += "\xB0\xA1";
    struct Case {
        const char* name;
        std::string world;
        std::string expected;
    };
    const Case cases[] = {
        {"a 300-character name gives its first 255", "[Program]\r\nworld=" + longName + "\r\n", longName.substr(0, 255)},
        {"no section Program", "[Other]\r\nworld=elsewhere\r\n", "default"},
        {"no key world", "[Program]\r\nname=x\r\n", "default"},
        {"an empty file", "", "default"},
        {"a Korean name passes as its code page bytes", "[Program]\r\nworld=\xB0\xA1\xB3\xAA\r\n", "\xB0\xA1\xB3\xAA"},
        {"a long Korean name is cut on a whole character", "[Program]\r\nworld=" + longKorean + "\r\n",
         longKorean.substr(0, 254)},
        {"lines ending in a line feed alone", "[Program]\nworld=Unix\n", "Unix"},
        {"names in any case, blanks around them, the value in quotes", "[program]\r\n  WORLD = \"Quoted\" \r\n", "Quoted"},
        {"a UTF-8 file with its mark gives the name in the code page",
         "\xEF\xBB\xBF[Program]\r\nworld=\xEA\xB0\x80\xEB\x82\x98\r\n", "\xB0\xA1\xB3\xAA"},
    };
    for (const Case& c : cases) {
        const std::string url = testserver::Url(testserver::PutFile("worlds/case.qxl", c.world));
        const WorldLaunchOutcome outcome = LaunchWorldFromUrl(url.c_str(), DefaultWorldLaunchOptions());
        EXPECT_TRUE(outcome.bDownloaded) << c.name;
        EXPECT_EQ(c.expected, outcome.strWorldName.Str()) << c.name;
        EXPECT_EQ(c.expected, ReadProfile(Settings(kCRoot), "start", "world")) << c.name;
    }
}

// A line break in the name would carry keys or sections of the world file's choosing into the
// browser's settings file; no control byte belongs in a name.
TEST_F(WorldLaunch, WorldNameWithAControlByteChangesNothingAndOpensNothing)
{
    struct Case {
        const char* name;
        std::string world;
    };
    const Case refused[] = {
        {"a tab", "[Program]\r\nworld=Ev\til\r\n"},
        {"byte 0x01", "[Program]\r\nworld=Ev\x01il\r\n"},
        {"byte 0x1F past the 255-byte cut", "[Program]\r\nworld=" + std::string(300, 'w') + "\x1F\r\n"},
    };
    const std::string settings = Settings(kCRoot);
    const std::string settingsBefore = "[start]\r\nworld=Mine\r\n[video]\r\nmode=full\r\n";
    for (const Case& c : refused) {
        ASSERT_TRUE(testenv::WriteFileBytes(settings, settingsBefore));
        const std::string url = testserver::Url(testserver::PutFile("worlds/control.qxl", c.world));

        const WorldLaunchOutcome outcome = LaunchWorldFromUrl(url.c_str(), DefaultWorldLaunchOptions());

        EXPECT_TRUE(outcome.bDownloaded) << c.name;
        EXPECT_TRUE(outcome.bNameRefused) << c.name;
        EXPECT_FALSE(outcome.bOpened) << c.name;
        EXPECT_EQ(settingsBefore, testenv::ReadFileBytes(settings)) << c.name;
        EXPECT_FALSE(testenv::FileExists(WorldFile(kCRoot))) << c.name << ": the refused file is left behind";
    }
    EXPECT_EQ("", testenv::WaitForRecordLine(m_record, 3000)) << "the shell started the loader";

    // The profile reader ends a line at a carriage return, so what follows one never reaches the
    // name: the settings get the name before it and nothing else of the world file's.
    const Case lineBreaks[] = {
        {"a lone carriage return", "[Program]\r\nworld=Evil\r[video]\r\nmode=evil\r\n"},
        {"carriage returns before the line's end", "[Program]\r\nworld=Evil\r\r\n"},
        {"a tab at the end, which the reader trims", "[Program]\r\nworld=Evil\t\r\n"},
    };
    for (const Case& c : lineBreaks) {
        ASSERT_TRUE(testenv::WriteFileBytes(settings, settingsBefore));
        const std::string url = testserver::Url(testserver::PutFile("worlds/control.qxl", c.world));
        const WorldLaunchOutcome outcome = LaunchWorldFromUrl(url.c_str(), DefaultWorldLaunchOptions());
        EXPECT_EQ(std::string("Evil"), outcome.strWorldName.Str()) << c.name;
        EXPECT_EQ("Evil", ReadProfile(settings, "start", "world")) << c.name;
        EXPECT_EQ("full", ReadProfile(settings, "video", "mode")) << c.name;
    }
}

TEST_F(WorldLaunch, UsesTheDPairWhenCHasNoRoom)
{
    const std::string url = testserver::Url(testserver::PutFile("worlds/d.qxl", "[Program]\r\nworld=Dworld\r\n"));
    WorldLaunchOptions options = DefaultWorldLaunchOptions();
    options.hasFreeSpace = AlwaysNo;

    const WorldLaunchOutcome outcome = LaunchWorldFromUrl(url.c_str(), options);

    EXPECT_EQ(WorldFile(kDRoot), outcome.strWorldFile.Str());
    EXPECT_TRUE(testenv::FileExists(WorldFile(kDRoot)));
    EXPECT_FALSE(testenv::FileExists(WorldFile(kCRoot)));
    EXPECT_EQ("Dworld", ReadProfile(Settings(kDRoot), "start", "world"));
    EXPECT_NE(std::string::npos, WaitForLoaderRecord().find(WorldFile(kDRoot)));
}

TEST_F(WorldLaunch, TransfersTheServerShapesDifferentlyStillArriveWhole)
{
    const std::string world = "[Program]\r\nworld=Shaped\r\n" + std::string(100000, ';') + "\r\n";
    const std::string path = testserver::PutFile("worlds/shaped.qxl", world);
    for (const std::string& query : {std::string("?chunked=1"), "?redirect=" + path, std::string("?trickle=20000&delay=20")}) {
        testenv::RemoveTree(WorldFile(kCRoot));
        const WorldLaunchOutcome outcome = LaunchWorldFromUrl(testserver::Url(path + query).c_str(),
                                                              DefaultWorldLaunchOptions());
        EXPECT_TRUE(outcome.bDownloaded) << query;
        EXPECT_EQ(world, testenv::ReadFileBytes(WorldFile(kCRoot))) << query;
        EXPECT_EQ("Shaped", outcome.strWorldName.Str()) << query;
    }
}

// A failed download must neither open a world file left by an earlier launch nor overwrite the
// start world with a stale name or "default".
TEST_F(WorldLaunch, FailedDownloadChangesNothingAndOpensNothing)
{
    const std::string path = testserver::PutFile("worlds/fail.qxl", "[Program]\r\nworld=Fresh\r\n");
    struct Case {
        const char* name;
        std::string url;
    };
    const Case cases[] = {
        {"404 page", testserver::Url("/worlds/missing.qxl")},
        {"500 page", testserver::Url(path + "?status=500")},
        {"refused connection", testserver::RefusedUrl(path)},
        {"body cut short", testserver::Url(path + "?cut=5")},
        {"empty URL", ""},
        {"not a URL", "::not a url::"},
    };
    const std::string settings = Settings(kCRoot);
    const std::string settingsBefore = "[start]\r\nworld=Mine\r\n";
    for (const Case& c : cases) {
        ASSERT_TRUE(testenv::WriteFileBytes(WorldFile(kCRoot), "[Program]\r\nworld=Stale\r\n"));
        ASSERT_TRUE(testenv::WriteFileBytes(settings, settingsBefore));

        const WorldLaunchOutcome outcome = LaunchWorldFromUrl(c.url.c_str(), DefaultWorldLaunchOptions());

        EXPECT_FALSE(outcome.bDownloaded) << c.name;
        EXPECT_FALSE(outcome.bOpened) << c.name;
        EXPECT_FALSE(testenv::FileExists(WorldFile(kCRoot))) << c.name << ": stale or error page left behind";
        EXPECT_EQ(settingsBefore, testenv::ReadFileBytes(settings)) << c.name;
    }
    // A null BSTR is an empty URL.
    const WorldLaunchOutcome outcome = LaunchWorld(nullptr);
    EXPECT_FALSE(outcome.bDownloaded);
    EXPECT_EQ(settingsBefore, testenv::ReadFileBytes(settings));
}

TEST_F(WorldLaunch, StalledTransferIsAbandonedAndChangesNothing)
{
    const std::string path = testserver::PutFile("worlds/stall.qxl", "[Program]\r\nworld=Never\r\n");
    const std::string settings = Settings(kCRoot);
    ASSERT_TRUE(testenv::WriteFileBytes(settings, "[start]\r\nworld=Mine\r\n"));
    WorldLaunchOptions options = DefaultWorldLaunchOptions();
    options.dwIdleLimitMs = 1000;

    const WorldLaunchOutcome outcome =
        LaunchWorldFromUrl(testserver::Url(path + "?stall=30&stall_after=5").c_str(), options);

    EXPECT_FALSE(outcome.bDownloaded);
    EXPECT_FALSE(outcome.bOpened);
    EXPECT_FALSE(testenv::FileExists(WorldFile(kCRoot)));
    EXPECT_EQ("Mine", ReadProfile(settings, "start", "world"));
}

// A standard user, as the tries would answer for one: the 3D browser's folder cannot be written.
// The world file goes to the user's own root, and the start world into the copy of the settings
// that Windows' file virtualization serves that browser, made from the machine's file first.
TEST_F(WorldLaunch, AStandardUserGetsTheirOwnWorldFileAndVirtualizedSettings)
{
    const std::string settings = Settings(kCRoot);
    ASSERT_TRUE(testenv::WriteFileBytes(settings, "[start]\r\nworld=old\r\n[video]\r\nmode=full\r\n"));
    const std::string copy = VirtualStorePath(settings.c_str()).GetString();
    const std::string userRoot = PerUserInstallRoot().GetString();
    ::DeleteFileA(copy.c_str());
    WorldLaunchOptions options = DefaultWorldLaunchOptions();
    options.canWriteFolder = [](const char* pszFolder) { return ::_strnicmp(pszFolder + 1, ":\\Program Files", 15) != 0; };
    const std::string url = testserver::Url(testserver::PutFile("worlds/user.qxl", "[Program]\r\nworld=Mine\r\n"));

    const WorldLaunchOutcome outcome = LaunchWorldFromUrl(url.c_str(), options);

    EXPECT_EQ(userRoot + "\\temp.qxl", outcome.strWorldFile.Str());
    EXPECT_EQ(copy, outcome.strSettingsFile.Str());
    EXPECT_EQ("Mine", ReadProfile(copy, "start", "world"));
    EXPECT_EQ("full", ReadProfile(copy, "video", "mode"));
    EXPECT_EQ("old", ReadProfile(settings, "start", "world")) << "the machine's file was written";
    EXPECT_FALSE(testenv::FileExists(WorldFile(kCRoot)));
    EXPECT_TRUE(outcome.bOpened);
    ::DeleteFileA(copy.c_str());
}
