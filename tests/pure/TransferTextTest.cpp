// What the progress dialog shows of a transfer, and what a download learns from the response.
#include <gtest/gtest.h>

#include <string>

#include "download/HttpHeaders.h"
#include "download/ProgressText.h"

TEST(DownloadProgress, SizeTextAndBarPosition)
{
    struct Case {
        unsigned long progress, max;
        const char* text;
        int position;
    };
    const Case cases[] = {
        {12800, 0, "12K / 12K", 0},           // size not known yet: the amount twice, bar at 0
        {1023, 2048, "0K / 2K", 49},          // whole KiB, truncated
        {29, 100, "0K / 0K", 28},             // 29 / 100 * 100 in doubles is 28.999...
        {3000, 2048, "2K / 2K", 100},         // more than announced: the amount, and a full bar
        {0xFFFFFFFF, 1, "4194303K / 4194303K", 100},  // far more: still a full bar
        {2048, 2048, "2K / 2K", 100},
        {0xFFFFFFFF, 0xFFFFFFFF, "4194303K / 4194303K", 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, FormatSizeText(c.progress, c.max).Str()) << c.progress << " of " << c.max;
        EXPECT_EQ(c.position, ProgressBarPosition(c.progress, c.max)) << c.progress << " of " << c.max;
    }
}

TEST(HttpResponse, StatusAndAnnouncedLength)
{
    for (unsigned long status : {0ul, 200ul, 203ul, 206ul, 299ul}) EXPECT_TRUE(http::IsFileStatus(status)) << status;
    for (unsigned long status : {100ul, 199ul, 300ul, 302ul, 304ul, 404ul, 500ul}) EXPECT_FALSE(http::IsFileStatus(status)) << status;

    struct Case {
        const wchar_t* headers;
        long long length;
    } const cases[] = {
        {L"HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n", 1234},
        {L"content-length:  0\r\n", 0},
        {L"Content-Length: 99\r\nContent-Encoding: identity\r\n", 99},
        {L"Content-Length: 99\r\nContent-Encoding: gzip\r\n", -1},  // decoded: another length
        {L"Transfer-Encoding: chunked\r\n", -1},
        {L"Content-Length: -5\r\n", -1},
        {L"Content-Length: 12x\r\n", -1},
        {L"Content-Length: 1234567890123456789\r\n", -1},  // no length we could ever meet
        {L"Content-Length: 123456789012345678\r\n", 123456789012345678},
        {L"X-Content-Length: 5\r\n", -1},
        {L"Content-Length:\r\n", -1},
        {L"", -1},
        {nullptr, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.length, http::ExpectedBodyLength(c.headers)) << (c.headers ? "headers" : "null");
}
