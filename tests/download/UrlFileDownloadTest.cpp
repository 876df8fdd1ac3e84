// The blocking file download against the loopback server: what counts as a whole download, and
// that a failed one leaves the target as it was.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <string>

#include "TestEnv.h"
#include "TestServer.h"
#include "download/BindCallback.h"
#include "download/UrlFileDownload.h"
#include "launch/WorldLaunch.h"
#include "framework/Handles.h"

namespace {

class UrlFileDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
        m_folder = testenv::StatePath("downloads");
        testenv::RemoveTree(m_folder);
        ASSERT_TRUE(testenv::MakeDirs(m_folder));
        m_target = m_folder + "\\target.bin";
    }
    void TearDown() override { ::OleUninitialize(); }

    bool FolderHoldsOnlyTheTarget() const { return testenv::FolderHoldsOnly(m_folder, "target.bin"); }

    std::string m_folder;
    std::string m_target;
};

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4093) & 0xFF);
    return bytes;
}

}  // namespace

TEST_F(UrlFileDownload, WholeTransfersArriveByteForByte)
{
    const std::string big = Pattern(3 * 1024 * 1024 + 17);
    const std::string path = testserver::PutFile("dl/big.bin", big);
    ASSERT_TRUE(testenv::WriteFileBytes(m_target, "old bytes, longer than nothing"));
    for (const std::string& query : {std::string(), std::string("?chunked=1")}) {
        const DownloadResult result = DownloadUrlToFile(testserver::Url(path + query).c_str(), m_target.c_str());
        EXPECT_TRUE(result.Succeeded()) << query << " hr " << std::hex << result.hr << " status " << std::dec
                                        << result.httpStatus << " write failed " << result.writeFailed
                                        << " incomplete " << result.incomplete << " moved " << result.moved;
        EXPECT_EQ(200u, result.httpStatus) << query;
        EXPECT_TRUE(big == testenv::ReadFileBytes(m_target)) << query;
        EXPECT_TRUE(FolderHoldsOnlyTheTarget()) << query;
    }
    // An empty body is a file too.
    const DownloadResult empty =
        DownloadUrlToFile(testserver::Url(testserver::PutFile("dl/empty.bin", "")).c_str(), m_target.c_str());
    EXPECT_TRUE(empty.Succeeded());
    EXPECT_TRUE(testenv::FileExists(m_target));
    EXPECT_EQ("", testenv::ReadFileBytes(m_target));
}

TEST_F(UrlFileDownload, FailuresLeaveTheTargetAsItWas)
{
    const std::string path = testserver::PutFile("dl/file.bin", Pattern(100000));
    testserver::PutFile("dl/loop.bin.faults", "redirect=/dl/loop.bin");
    struct Case {
        const char* name;
        std::string url;
        DWORD expectedStatus;
    };
    const Case cases[] = {
        {"404 page", testserver::Url("/dl/missing.bin"), 404},
        {"500 page", testserver::Url(path + "?status=500"), 500},
        {"body cut short", testserver::Url(path + "?cut=1000"), 200},
        {"refused connection", testserver::RefusedUrl(path), 0},
        {"a redirect to itself, for ever", testserver::Url(testserver::PutFile("dl/loop.bin", "x")), 0},
        {"empty URL", "", 0},
    };
    const std::string old = "the previous file";
    for (const Case& c : cases) {
        ASSERT_TRUE(testenv::WriteFileBytes(m_target, old));
        const DownloadResult result = DownloadUrlToFile(c.url.c_str(), m_target.c_str());
        EXPECT_FALSE(result.Succeeded()) << c.name;
        EXPECT_EQ(c.expectedStatus, result.httpStatus) << c.name;
        EXPECT_EQ(old, testenv::ReadFileBytes(m_target)) << c.name;
        EXPECT_TRUE(FolderHoldsOnlyTheTarget()) << c.name;
    }
}

TEST_F(UrlFileDownload, MissingTargetFolderFailsWithoutTouchingTheServer)
{
    const std::string path = testserver::PutFile("dl/nowhere.bin", "x");
    const DownloadResult result =
        DownloadUrlToFile(testserver::Url(path).c_str(), (m_folder + "\\no such folder\\file.bin").c_str());
    EXPECT_FALSE(result.Succeeded());
    EXPECT_FALSE(testserver::WaitForLogEntry(path, 0));
}

// A server that goes silent must not hold the caller: the transfer is abandoned after the idle
// bound. (Wine's wininet keeps the socket of an aborted read open until the server ends it, so
// the server cannot be asked when the client let go.)
TEST_F(UrlFileDownload, SilentServerIsAbandonedAfterTheIdleBound)
{
    const std::string path = testserver::PutFile("dl/stall.bin", Pattern(1000));
    ASSERT_TRUE(testenv::WriteFileBytes(m_target, "kept"));

    const DownloadResult result =
        DownloadUrlToFile(testserver::Url(path + "?stall=60&stall_after=10").c_str(), m_target.c_str(), DownloadRules(), 500);

    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ("kept", testenv::ReadFileBytes(m_target));
    EXPECT_TRUE(FolderHoldsOnlyTheTarget());
}

TEST_F(UrlFileDownload, SlowButSteadyServerIsNotAbandoned)
{
    const std::string bytes = Pattern(4000);
    const std::string path = testserver::PutFile("dl/slow.bin", bytes);
    // Every piece comes well within the bound, the whole transfer takes longer than it.
    const DownloadResult result =
        DownloadUrlToFile(testserver::Url(path + "?trickle=500&delay=150").c_str(), m_target.c_str(), DownloadRules(), 600);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(bytes == testenv::ReadFileBytes(m_target));
}

// What the rules refuse never replaces the target: addresses that are not web addresses or not on
// the site list (never requested at all), redirects that leave them, files over the size cap, and
// bytes that are not the expected ones.
TEST_F(UrlFileDownload, RulesRefuseAddressesRedirectsSizesAndBytes)
{
    const std::string bytes = Pattern(200000);
    const std::string path = testserver::PutFile("dl/ruled.bin", bytes);
    const std::string unlisted = testserver::PutFile("dl/unlisted.bin", bytes);
    const std::string redirected = testserver::PutFile("dl/redirected.bin", bytes + "the other site's file");
    const std::string port = testserver::BaseUrl().substr(testserver::BaseUrl().rfind(':'));
    DownloadRules loopback;
    CUrlPolicy::Site site;
    ASSERT_TRUE(CUrlPolicy::ParseSite("http://127.0.0.1", site));
    loopback.urls.AddSite(site);
    loopback.urls.RestrictToSites();
    DownloadRules capped;
    capped.cbMaxBytes = bytes.size() - 1;
    DownloadRules digest;
    digest.bCheckSha256 = true;
    digest.expectedSha256.fill(0xAB);
    DownloadRules whole;  // the digest of the whole file
    whole.bCheckSha256 = true;
    CSha256 hash;
    ASSERT_TRUE(hash.Update(bytes.data(), bytes.size()));
    ASSERT_TRUE(hash.Finish(whole.expectedSha256));
    DownloadRules lastByte = whole;
    lastByte.expectedSha256.back() ^= 1;

    struct Case {
        const char* name;
        std::string url;
        const DownloadRules& rules;
        bool requested;
    };
    const Case cases[] = {
        {"a local file", "file:///" + m_target, DownloadRules(), false},
        {"a share", "\\\\127.0.0.1\\share\\ruled.bin", DownloadRules(), false},
        {"a script", "javascript:void(0)", DownloadRules(), false},
        {"a site not on the list", "http://localhost" + port + unlisted, loopback, false},
        {"a redirect to a site not on the list",
         testserver::Url(path + "?redirect=" + "http://localhost" + port + redirected), loopback, true},
        {"a redirect to a local file", testserver::Url(path + "?redirect=file:///C:/windows/win.ini"), DownloadRules(), true},
        {"an announced length over the cap", testserver::Url(path), capped, true},
        {"a chunked body over the cap", testserver::Url(path + "?chunked=1"), capped, true},
        {"bytes with another digest", testserver::Url(path), digest, true},
        {"a digest that differs in its last byte only", testserver::Url(path), lastByte, true},
        // Wine ends a chunked body closed before its last chunk like a whole one; a digest tells.
        {"a chunked body without its last chunk", testserver::Url(path + "?chunked=1&cut=16384"), whole, true},
    };
    const std::string old = "the previous file";
    for (const Case& c : cases) {
        ASSERT_TRUE(testenv::WriteFileBytes(m_target, old));
        const DownloadResult result = DownloadUrlToFile(c.url.c_str(), m_target.c_str(), c.rules);
        EXPECT_FALSE(result.Succeeded()) << c.name;
        EXPECT_EQ(old, testenv::ReadFileBytes(m_target)) << c.name;
        EXPECT_TRUE(FolderHoldsOnlyTheTarget()) << c.name;
        if (!c.requested) {
            EXPECT_TRUE(result.refused) << c.name;
        }
    }
    EXPECT_FALSE(testserver::WaitForLogEntry(unlisted, 0)) << "a refused address was requested";
    // A redirect is judged when urlmon reports it; Wine's wininet has sent the redirected request
    // by then, so only what arrives from it is refused, not the request itself.

    // Where urlmon offers to veto a redirect before it is sent, the same rules decide.
    for (const wchar_t* to : {L"http://localhost/dl/redirected.bin", L"http://127.0.0.1/dl/redirected.bin"}) {
        Microsoft::WRL::ComPtr<IBindCallbackRedirect> veto;
        ASSERT_EQ(S_OK, CBindCallback::Create(m_target.c_str(), loopback).As(&veto));
        VARIANT_BOOL cancel = VARIANT_FALSE;
        EXPECT_EQ(S_OK, veto->Redirect(to, &cancel));
        EXPECT_EQ(std::wstring(to).find(L"localhost") != std::wstring::npos ? VARIANT_TRUE : VARIANT_FALSE, cancel);
    }

    // The same rules let the right file through.
    capped.cbMaxBytes = bytes.size();
    for (DownloadRules* rules : {&loopback, &capped, &whole}) {
        EXPECT_TRUE(DownloadUrlToFile(testserver::Url(path + "?chunked=1").c_str(), m_target.c_str(), *rules).Succeeded());
        EXPECT_TRUE(bytes == testenv::ReadFileBytes(m_target));
    }
}

TEST_F(UrlFileDownload, SteadyTrickleEndsAtTheDeadline)
{
    const std::string path = testserver::PutFile("dl/endless.bin", Pattern(100000));
    ASSERT_TRUE(testenv::WriteFileBytes(m_target, "kept"));
    // Each piece well within the idle bound; the whole would take minutes.
    const DownloadResult result = DownloadUrlToFile(testserver::Url(path + "?trickle=100&delay=100").c_str(),
                                                    m_target.c_str(), DownloadRules(), 5000, 1500);
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ("kept", testenv::ReadFileBytes(m_target));
    // What a page is held by at most when nothing else is asked: the description's and the world
    // file's downloads alike.
    EXPECT_EQ(60u * 1000, kDefaultDownloadIdleLimitMs);
    EXPECT_EQ(5u * 60 * 1000, kDefaultDownloadDeadlineMs);
    EXPECT_EQ(kDefaultDownloadIdleLimitMs, DefaultWorldLaunchOptions().dwIdleLimitMs);
    EXPECT_EQ(kDefaultDownloadDeadlineMs, DefaultWorldLaunchOptions().dwDeadlineMs);
}
