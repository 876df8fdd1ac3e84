// Which addresses the downloads may fetch, and how publishers' and administrators' site entries
// read: the rules every download, redirect and site lock decision rests on.
#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <string>

#include "download/Sha256.h"
#include "download/UrlPolicy.h"
#include "com/ComGuard.h"
#include "TestEnv.h"

namespace {

CUrlPolicy Sites(std::initializer_list<const char*> entries)
{
    CUrlPolicy policy;
    for (const char* entry : entries) {
        CUrlPolicy::Site site;
        EXPECT_TRUE(CUrlPolicy::ParseSite(entry, site)) << entry;
        policy.AddSite(site);
    }
    policy.RestrictToSites();
    return policy;
}

}  // namespace

TEST(UrlPolicy, OnlyWebAddressesWithAHostAreFetched)
{
    const CUrlPolicy any;
    for (const wchar_t* url : {L"http://127.0.0.1:8080/a.ini", L"https://example.com/x?y=1", L"HTTP://Example.COM/"})
        EXPECT_TRUE(any.Allows(url)) << std::wstring(url).c_str();
    // Local files, shares (which hand the user's credentials to the host), scripts and other
    // protocols are never fetched.
    for (const wchar_t* url : {L"file:///C:/Windows/win.ini", L"\\\\127.0.0.1\\share\\a.ini", L"C:\\Windows\\win.ini",
                               L"javascript:alert(1)", L"vbscript:msgbox(1)", L"ftp://example.com/a", L"mk:@MSITStore:x",
                               L"res://shdocvw.dll/a", L"about:blank", L"http://", L"", L"/relative/path",
                               L"file://127.0.0.1/share/a.ini"})
        EXPECT_FALSE(any.Allows(url)) << url;
    EXPECT_FALSE(any.Allows(nullptr));
}

TEST(UrlPolicy, SiteListMatchesHostsWholeAndSchemesAsListed)
{
    const CUrlPolicy sites = Sites({"Example.com", "*.cdn.example.net", "http://127.0.0.1"});
    struct Case {
        const wchar_t* url;
        bool allowed;
    } const cases[] = {
        {L"https://example.com/a", true},
        {L"https://EXAMPLE.com:8443/a", true},
        {L"http://example.com/a", false},  // listed without http://: https only
        {L"https://www.example.com/a", false},
        {L"https://example.com.evil.net/a", false},
        {L"https://evilexample.com/a", false},
        {L"https://cdn.example.net/a", true},  // "*." covers the domain itself
        {L"https://a.b.cdn.example.net/a", true},
        {L"https://xcdn.example.net/a", false},
        {L"https://evilcdn.example.net/a", false},
        {L"http://127.0.0.1:1234/a", true},
        {L"https://127.0.0.1/a", true},  // the stronger scheme for an http entry
        {L"http://127.0.0.2/a", false},
        {L"http://localhost/a", false},
        {L"https://user@example.com/a", true},
        {L"https://example.com@evil.net/a", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.allowed, sites.Allows(c.url)) << c.url;

    // A list that is set but holds nothing valid lets nothing through.
    CUrlPolicy empty;
    empty.RestrictToSites();
    EXPECT_FALSE(empty.Allows(L"https://example.com/"));
}

TEST(UrlPolicy, SiteEntriesAreHostsOrWildcardDomainsAndNothingElse)
{
    CUrlPolicy::Site site;
    ASSERT_TRUE(CUrlPolicy::ParseSite("  HTTP://*.Example.COM \t", site));
    EXPECT_EQ(L"example.com", site.host);
    EXPECT_TRUE(site.bSubdomains);
    EXPECT_TRUE(site.bPlainHttp);
    EXPECT_FALSE(CUrlPolicy::ParseSite(nullptr, site));
    // The verdicts every reader of site entries (the build, the package check, the DLL) shares.
    const auto rows = testenv::DataRows("site_entries.tsv");
    ASSERT_GT(rows.size(), 20u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        EXPECT_EQ(CUrlPolicy::ParseSite(row[1].c_str(), site), row[0] == "site") << "\"" << row[1] << "\": " << row[2];
    }
}

TEST(Sha256, DigestsAndTheirHexForm)
{
    // The standard "abc" vector, fed in two pieces.
    CSha256 hash;
    ASSERT_TRUE(hash.Update("a", 1));
    ASSERT_TRUE(hash.Update("bc", 2));
    Sha256Digest digest{}, expected{};
    ASSERT_TRUE(hash.Finish(digest));
    ASSERT_TRUE(CSha256::ParseHex("BA7816BF8F01CFEA414140DE5DAE2223b00361a396177a9cb410ff61f20015ad", expected));
    EXPECT_TRUE(digest == expected);
    EXPECT_FALSE(hash.Update("x", 1)) << "a finished digest takes nothing more";

    for (const char* bad : {"", "ba7816bf", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a",
                            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015adz",
                            " ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                            "ga7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"})
        EXPECT_FALSE(CSha256::ParseHex(bad, expected)) << bad;
}

TEST(ComGuard, ExceptionsBecomeResultsAtTheBoundary)
{
    EXPECT_EQ(S_FALSE, GuardComCall("test", [] { return S_FALSE; }));
    EXPECT_EQ(E_OUTOFMEMORY, GuardComCall("test", []() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_UNEXPECTED, GuardComCall("test", []() -> HRESULT { throw 42; }));
}
