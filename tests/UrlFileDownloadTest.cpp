// The blocking file download against the loopback server: what counts as a whole download, and
// that a failed one leaves the target as it was.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <string>

#include "TestEnv.h"
#include "TestServer.h"
#include "download/UrlFileDownload.h"
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
        DownloadUrlToFile(testserver::Url(path + "?stall=60&stall_after=10").c_str(), m_target.c_str(), 500);

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
        DownloadUrlToFile(testserver::Url(path + "?trickle=500&delay=150").c_str(), m_target.c_str(), 600);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(bytes == testenv::ReadFileBytes(m_target));
}
