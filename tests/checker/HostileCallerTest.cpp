// The control as a page we do not trust would script it, through the DLL's own exports: the site
// lock that applies whenever a container names a page (a test container that names it through its
// moniker or its document), the lock a DLL carries and the administrators' list, oversize
// arguments, and a page that lets go of the control while a call runs.
#include <gtest/gtest.h>

#include <windows.h>
#include <objsafe.h>
#include <mshtml.h>
#include <mshtmdid.h>
#include <ocidl.h>
#include <oleauto.h>
#include <urlmon.h>
#include <sddl.h>
#include <wincrypt.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <utility>
#include <string>

#include "TestEnv.h"
#include "ProductDll.h"
#include "TestServer.h"
#include "UiHelper.h"
#include "checker/SiteList.h"
#include "common/UserPlaces.h"
#include "framework/ProcessRights.h"
#include "framework/Handles.h"
#include "qxChecker.h"

using Microsoft::WRL::ComPtr;

namespace {

const IID kIID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
const char kRoot[] = "C:\\Program Files\\Activeworlds";
const char kRecordKey[] = "SOFTWARE\\Tessaron\\qxCheckerTest\\SiteLock";
const char kSitesKey[] = "SOFTWARE\\Tessaron\\qxChecker";

using namespace productdll;

enum class Naming { ByMoniker, ByDocument };

// The page as a browser's client site tells it: its moniker gives the page's address, or its
// container's HTML document does (only the URL property, read through the dispatch side). An empty
// address names no page. Lives on the test's stack.
class PageSite final : public IOleClientSite, public IOleContainer, public IDispatch {
public:
    PageSite(std::wstring url, Naming naming) : m_url(std::move(url)), m_naming(naming) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = riid == IID_IUnknown || riid == IID_IOleClientSite ? static_cast<void*>(static_cast<IOleClientSite*>(this))
               : riid == IID_IOleContainer                       ? static_cast<void*>(static_cast<IOleContainer*>(this))
               : riid == IID_IHTMLDocument2                      ? static_cast<void*>(static_cast<IDispatch*>(this))
                                                                 : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD dwWhichMoniker, IMoniker** ppmk) override
    {
        *ppmk = nullptr;
        if (dwWhichMoniker != OLEWHICHMK_CONTAINER || m_url.empty() || m_naming != Naming::ByMoniker) return E_FAIL;
        return ::CreateURLMonikerEx(nullptr, m_url.c_str(), ppmk, URL_MK_UNIFORM);
    }
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override
    {
        *ppContainer = m_url.empty() || m_naming != Naming::ByDocument ? nullptr : this;
        return *ppContainer ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP LockContainer(BOOL) override { return S_OK; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id != DISPID_IHTMLDOCUMENT2_URL || !(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_BSTR;
        result->bstrVal = ::SysAllocString(m_url.c_str());
        return S_OK;
    }

private:
    std::wstring m_url;
    Naming m_naming;
};

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::string RegText(HKEY hRoot, const char* pszKey, const char* pszName)
{
    char text[2048] = {};
    DWORD cb = sizeof(text) - 1;
    return ::RegGetValueA(hRoot, pszKey, pszName, RRF_RT_REG_SZ, nullptr, text, &cb) == ERROR_SUCCESS ? text : "<missing>";
}

// The test publisher's root, as the machine's administrator trusts it, or (`dwStore`) the user.
void TrustTheTestRoot(DWORD dwStore = CERT_SYSTEM_STORE_LOCAL_MACHINE)
{
    const std::string root = testenv::ReadFileBytes(testenv::WindowsPath(QX_TEST_ROOT_CERT));
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, dwStore, "Root");
    ASSERT_TRUE(store);
    EXPECT_TRUE(::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(root.data()),
                                                   static_cast<DWORD>(root.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        << "error " << ::GetLastError();
    ::CertCloseStore(store, 0);
}

class HostileCaller : public ::testing::Test {
protected:
    // The DLL under test: this build's, which lists no site, as a default build does.
    virtual std::string DllPath() const { return Path(); }

    void CreateControl()
    {
        ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
        m_dll.Reset(::LoadLibraryA(DllPath().c_str()));
        ASSERT_TRUE(m_dll);
        m_canUnload = Export<CanUnloadFn>(m_dll.Get(), "DllCanUnloadNow");
        auto getClassObject = Export<GetClassObjectFn>(m_dll.Get(), "DllGetClassObject");
        ASSERT_TRUE(m_canUnload && getClassObject);
        ASSERT_EQ(S_OK, getClassObject(CLSID_Checker, IID_IClassFactory, reinterpret_cast<void**>(m_factory.GetAddressOf())));
        ASSERT_EQ(S_OK, m_factory->CreateInstance(nullptr, IID_IChecker, reinterpret_cast<void**>(m_checker.GetAddressOf())));
    }

    void SetUp() override
    {
        CreateControl();

        // The loader is installed and current, so a Check that acts answers 1 without a window.
        testenv::RemoveTree(kRoot);
        ASSERT_TRUE(testenv::MakeDirs(std::string(kRoot) + "\\ActiveWorld"));
        ASSERT_TRUE(testenv::WriteFileBytes(std::string(kRoot) + "\\qxLoader.exe", "MZ installed loader"));
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kRecordKey);
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kRecordKey, "Path", REG_SZ, kRoot, sizeof kRoot));
        const DWORD version = 5;
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kRecordKey, "Version", REG_DWORD, &version, 4));
        // Paths of this test's own: the server's log spans the whole run.
        m_folder = std::string("lock/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_description = testserver::PutFile(m_folder + "/qxloader.ini", "[Program]\r\n\"downurl\"=\"" +
                                                                     testserver::Url("/lock/qxLoader.exe") +
                                                                     "\"\r\n[HKEY_CURRENT_USER\\" + kRecordKey +
                                                                     "]\r\n\"Path\"=\"x\"\r\n\"Version\"=5\r\n[Other]\r\n");
        m_world = testserver::PutFile(m_folder + "/world.qxl", "[Program]\r\nworld=Locked\r\n");
        SetAllowedSites("http://127.0.0.1\0", 18);
    }
    void TearDown() override
    {
        m_checker.Reset();
        m_factory.Reset();
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSitesKey);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kRecordKey);
        ::OleUninitialize();
    }

    static void SetAllowedSites(const char* multiSz, DWORD size)
    {
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSitesKey, "AllowedSites", REG_MULTI_SZ, multiSz, size));
    }

    // Sites the control in a page at `pageUrl` (empty: a container that names no page) and, when
    // asked, turns on the safety a browser asks for. The site lives as long as the fixture.
    void Place(const std::wstring& pageUrl, bool untrustedCaller, Naming naming = Naming::ByMoniker)
    {
        m_sites.emplace_back(pageUrl, naming);
        ComPtr<IOleObject> object;
        ASSERT_EQ(S_OK, m_checker.As(&object));
        ASSERT_EQ(S_OK, object->SetClientSite(&m_sites.back()));
        if (!untrustedCaller) return;
        ComPtr<IObjectSafety> safety;
        ASSERT_EQ(S_OK, m_checker->QueryInterface(kIID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())));
        const DWORD options = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
        ASSERT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, options, options));
    }

    LONG Check(const std::string& url)
    {
        BSTR bstr = ::SysAllocString(Wide(url).c_str());
        LONG bOk = -1;
        EXPECT_EQ(S_OK, m_checker->Check(bstr, &bOk));
        ::SysFreeString(bstr);
        return bOk;
    }

    // Check, answering every box the installer and the application show; how many there were.
    LONG CheckAnsweringBoxes(const std::string& url, int& boxes)
    {
        std::atomic<bool> done{false};
        boxes = 0;
        ui::Watcher watcher([&] {
            while (!done)
                for (const char* caption : {"Error", "qxChecker"})  // the installer's boxes and the application's
                    if (HWND box = ui::WaitForWindow(caption, 25)) ++boxes, ui::ClickButton(box, IDOK), ui::WaitForWindowGone(box);
        });
        const LONG bOk = Check(url);
        done = true;
        watcher.Join();
        return bOk;
    }

    // A script host's Check offered `loader` as an upgrade of the installed one, served with
    // `faults` (the test server's query form; a description value ends at "="): bOk, and the boxes.
    LONG OfferUpgrade(const std::string& loader, int& boxes, const std::string& faults = "")
    {
        const std::string name = m_folder + "/offer" + std::to_string(++m_offers);
        const std::string path = testserver::PutFile(name + ".exe", loader);
        if (!faults.empty()) testserver::PutFile(name + ".exe.faults", faults);
        const std::string description = testserver::PutFile(
            name + ".ini", "[Program]\r\n\"downurl\"=\"" + testserver::Url(path) + "\"\r\n[HKEY_CURRENT_USER\\" +
                               kRecordKey + "]\r\n\"Path\"=\"x\"\r\n\"Version\"=6\r\n");
        const DWORD version = 5;
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, kRecordKey, "Version", REG_DWORD, &version, 4));
        Place(L"", false);
        const LONG bOk = CheckAnsweringBoxes(testserver::Url(description), boxes);
        ::RegDeleteKeyValueA(HKEY_CURRENT_USER, "SOFTWARE\\Tessaron\\qxLoader", "Version");
        return bOk;
    }

    void Launch(const std::string& url)
    {
        BSTR bstr = ::SysAllocString(Wide(url).c_str());
        EXPECT_EQ(S_OK, m_checker->Launch(bstr));
        ::SysFreeString(bstr);
    }

    // Runs `action` when the next call takes the thread's messages, as a page's script would run
    // from inside the control's modal loops.
    void DuringTheNextCall(std::function<void()> action)
    {
        m_action = std::move(action);
        HWND window = ::CreateWindowExA(0, "STATIC", "page", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_TRUE(window);
        m_page.Reset(window);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_action));
        ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg != WM_APP) return ::DefWindowProcA(h, msg, w, l);
            (*reinterpret_cast<std::function<void()>*>(::GetWindowLongPtrA(h, GWLP_USERDATA)))();
            return 0;
        }));
        ::PostMessageA(window, WM_APP, 0, 0);
    }

    std::string LocalhostUrl(const std::string& path) const
    {
        const std::string base = testserver::BaseUrl();
        return "http://localhost" + base.substr(base.rfind(':')) + path;
    }

    std::function<void()> m_action;
    int m_offers = 0;
    UniqueWindow m_page;
    std::string m_folder;
    std::list<PageSite> m_sites;  // outlives the control, which holds the latest
    UniqueLibrary m_dll;
    CanUnloadFn m_canUnload = nullptr;
    ComPtr<IClassFactory> m_factory;
    ComPtr<IChecker> m_checker;
    std::string m_description;
    std::string m_world;
};

}  // namespace

TEST_F(HostileCaller, PagesOffTheListGetNothingDone)
{
    const std::string settings = std::string(kRoot) + "\\ActiveWorld\\Aworld.ini";
    ASSERT_TRUE(testenv::WriteFileBytes(settings, "[start]\r\nworld=Mine\r\n"));
    const std::wstring listed = Wide(testserver::Url("/lock/page.html"));
    struct Case {
        const char* name;
        std::wstring page;  // empty: a container that names no page
        bool untrusted;     // the browser turned on untrusted-caller safety
        Naming naming;
        bool listsSites;    // the administrators list http://127.0.0.1; else this build's list alone
    } const cases[] = {
        {"a page of another site", L"http://evil.example/page.html", true, Naming::ByMoniker, true},
        {"a look-alike host", L"http://127.0.0.1.evil.example/page.html", true, Naming::ByMoniker, true},
        {"a local page", L"file:///C:/page.html", true, Naming::ByMoniker, true},
        {"an untrusted caller's container that names no page", L"", true, Naming::ByMoniker, true},
        // Zones where the browser scripts controls without asking for safety: a page all the same.
        {"a page that never asks for safety", L"http://evil.example/page.html", false, Naming::ByMoniker, true},
        {"a page named by its document", L"http://evil.example/page.html", false, Naming::ByDocument, true},
        // A build that lists no site locks every page out, the listed one of the tests included.
        {"any page, with no list at all", listed, true, Naming::ByMoniker, false},
        {"any page named by its document, with no list", listed, false, Naming::ByDocument, false},
    };
    for (const Case& c : cases) {
        if (!c.listsSites) ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSitesKey);
        Place(c.page, c.untrusted, c.naming);
        EXPECT_EQ(0, Check(testserver::Url(m_description))) << c.name;
        Launch(testserver::Url(m_world));
    }
    EXPECT_FALSE(testserver::WaitForLogEntry(m_description, 0)) << "a refused page made the control fetch";
    EXPECT_FALSE(testserver::WaitForLogEntry(m_world, 0)) << "a refused page made the control fetch";
    EXPECT_EQ("[start]\r\nworld=Mine\r\n", testenv::ReadFileBytes(settings));
    EXPECT_FALSE(testenv::FileExists(std::string(kRoot) + "\\temp.ini"));
}

TEST_F(HostileCaller, ListedPagesActAndFetchOnlyFromListedSites)
{
    Place(Wide(testserver::Url("/lock/page.html")), true);
    EXPECT_EQ(1, Check(testserver::Url(m_description)));
    EXPECT_TRUE(testserver::WaitForLogEntry(m_description, 0));

    // The same page may not make the control fetch a world from a site off the list.
    const std::string elsewhere = testserver::PutFile("lock/elsewhere.qxl", "[Program]\r\nworld=Elsewhere\r\n");
    Launch(LocalhostUrl(elsewhere));
    EXPECT_FALSE(testserver::WaitForLogEntry(elsewhere, 0));
    EXPECT_FALSE(testenv::FileExists(std::string(kRoot) + "\\temp.qxl"));

    // "*." names the domain and the hosts below it; a page named by its document counts alike.
    SetAllowedSites("http://*.example.net\0http://127.0.0.1\0", 38);
    Place(Wide(testserver::Url("/lock/page.html")), false, Naming::ByDocument);
    EXPECT_EQ(1, Check(testserver::Url(m_description)));
}

TEST_F(HostileCaller, ScriptHostsThatNameNoPageAreTrustedWithAnyWebAddress)
{
    // A script host names no page and does not turn on untrusted-caller safety.
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSitesKey);
    Place(L"", false);
    EXPECT_EQ(1, Check(LocalhostUrl(m_description)));
    EXPECT_TRUE(testserver::WaitForLogEntry(m_description, 0));
}

// The administrators' list, read in process as a development build (which allows any page) takes
// it: from either registry view it locks, and an empty or unreadable one allows nothing.
TEST(SiteList, AdministratorsListLocksEvenADevelopmentBuildFromEitherView)
{
    const BuiltInSiteLock anySite = ParseBuiltInSiteLock("allow-any-site=yes\n", 19);
    struct Case {
        const char* name;
        REGSAM view;
        DWORD type;
        std::string data;
        bool allowsListed;
    } const cases[] = {
        {"the 64-bit view", KEY_WOW64_64KEY, REG_MULTI_SZ, std::string("http://127.0.0.1\0\0", 18), true},
        {"the 32-bit view", KEY_WOW64_32KEY, REG_SZ, std::string("x y;http://127.0.0.1\0", 21), true},
        {"an empty REG_MULTI_SZ", KEY_WOW64_64KEY, REG_MULTI_SZ, std::string("\0", 1), false},
        {"an empty REG_SZ", KEY_WOW64_32KEY, REG_SZ, std::string("\0", 1), false},
        {"a list of another type", KEY_WOW64_64KEY, REG_DWORD, std::string("\1\0\0\0", 4), false},
    };
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kSitesKey, view, 0);
    EXPECT_FALSE(AllowedSites(anySite).HasSiteList());
    for (const Case& c : cases) {
        UniqueRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSitesKey, 0, nullptr, 0, KEY_SET_VALUE | c.view,
                                                   nullptr, key.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key.Get(), "AllowedSites", 0, c.type,
                                                  reinterpret_cast<const BYTE*>(c.data.data()), static_cast<DWORD>(c.data.size())));
        const CUrlPolicy sites = AllowedSites(anySite);
        EXPECT_TRUE(sites.HasSiteList()) << c.name;
        EXPECT_EQ(c.allowsListed, sites.Allows(L"http://127.0.0.1/a")) << c.name;
        EXPECT_FALSE(sites.Allows(L"https://example.com/a")) << c.name;
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kSitesKey, c.view, 0);
    }
}

// A DLL built with a site list carries it: with no administrators' list, its pages act and others
// do not.
class HostileCallerOnALockedBuild : public HostileCaller {
protected:
    std::string DllPath() const override { return SiteLockedPath(); }
};

TEST_F(HostileCallerOnALockedBuild, TheListTheDllCarriesLocksItsPages)
{
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSitesKey);
    const std::pair<std::wstring, LONG> cases[] = {{Wide(testserver::Url("/lock/page.html")), 1},
                                                   {L"https://updates.example.com/", 1},
                                                   {L"http://updates.example.com/", 0},  // listed for https only
                                                   {L"http://evil.example/", 0}};
    for (const auto& [page, expected] : cases) {
        Place(page, false);
        EXPECT_EQ(expected, Check(testserver::Url(m_description))) << page.c_str();
    }
}

TEST_F(HostileCaller, LaunchTakesOnlyWorldSizedFilesFromTheWeb)
{
    const std::string settings = std::string(kRoot) + "\\ActiveWorld\\Aworld.ini";
    ASSERT_TRUE(testenv::WriteFileBytes(settings, "[start]\r\nworld=Mine\r\n"));
    // A world file of our own on disk and on a share: neither may become the start world.
    const std::string local = std::string(kRoot) + "\\local.qxl";
    ASSERT_TRUE(testenv::WriteFileBytes(local, "[Program]\r\nworld=Local\r\n"));
    // A world file is a few lines: one past the megabyte is refused, even as a good world file.
    const std::string oversize = testserver::Url(testserver::PutFile(
        "lock/oversize.qxl", "[Program]\r\nworld=Big\r\n;" + std::string(1024 * 1024, 'x') + "\r\n"));
    Place(L"", false);
    for (const std::string& url : {"file:///" + local, local, std::string("\\\\127.0.0.1\\share\\world.qxl"),
                                   std::string("javascript:void(0)"), oversize}) {
        Launch(url);
        EXPECT_EQ("[start]\r\nworld=Mine\r\n", testenv::ReadFileBytes(settings)) << url;
        EXPECT_FALSE(testenv::FileExists(std::string(kRoot) + "\\temp.qxl")) << url;
    }
}

TEST_F(HostileCaller, OversizeArgumentsAreRefusedBeforeAnyWork)
{
    // The platform's longest address acts; one character more is refused whole, before it is
    // converted or handed to the download, whose failure would show its boxes.
    Place(L"", false);
    std::string longest = testserver::Url(m_description) + "?pad=";
    longest.append(2083 - longest.size(), 'a');
    EXPECT_EQ(1, Check(longest));
    int boxes = 0;
    EXPECT_EQ(0, CheckAnsweringBoxes(longest + "a", boxes));
    Launch(longest + "a");  // a failed world download would show no box: nothing must be fetched
    EXPECT_EQ(0, boxes) << "an oversize address went as far as the download";
}

// A page that goes away while Check runs its modal loops (here: the description download) lets go
// of the control; the object and the DLL must outlive the call.
TEST_F(HostileCaller, PageLettingGoDuringACallDoesNotUnloadTheControl)
{
    HRESULT canUnloadDuringCall = E_FAIL;
    DuringTheNextCall([&] {
        m_factory.Reset();
        m_checker.Reset();  // the page's last reference, in the middle of the call
        canUnloadDuringCall = m_canUnload();
    });
    IChecker* running = m_checker.Get();
    BSTR bstr = ::SysAllocString(Wide(testserver::Url(m_description + "?trickle=64&delay=100")).c_str());
    LONG bOk = -1;
    EXPECT_EQ(S_OK, running->Check(bstr, &bOk));
    EXPECT_EQ(1, bOk);
    ::SysFreeString(bstr);
    EXPECT_FALSE(m_checker) << "the page's message was not taken during the call";
    EXPECT_EQ(S_FALSE, canUnloadDuringCall) << "the DLL could be unloaded under a running call";
    EXPECT_EQ(S_OK, m_canUnload()) << "the call kept the DLL after it ended";
}

// A page that calls again from inside a running request (its modal loops take the page's
// messages) gets nothing done: the two would share the request's files.
TEST_F(HostileCaller, RequestsDoNotRunInsideARunningRequest)
{
    const std::string inner = testserver::PutFile(m_folder + "/inner.ini", "[Program]\r\n");
    LONG innerOk = -1;
    DuringTheNextCall([&] {
        innerOk = Check(testserver::Url(inner));
        Launch(testserver::Url(m_world));
    });
    EXPECT_EQ(1, Check(testserver::Url(m_description + "?trickle=64&delay=100")));
    EXPECT_EQ(0, innerOk);
    EXPECT_FALSE(testserver::WaitForLogEntry(inner, 0));
    EXPECT_FALSE(testserver::WaitForLogEntry(m_world, 0));
    // Once the request is over, the next one runs.
    EXPECT_EQ(1, Check(testserver::Url(m_description)));
}

// Another page's Check, on a thread of its own, waits while the first page's request is held in
// its installer's boxes, its thread still taking messages, and then runs to a real outcome.
TEST_F(HostileCaller, AnotherPagesRequestWaitsForTheRunningOneAndThenRuns)
{
    std::atomic<HWND> secondPage{nullptr};
    std::atomic<LONG> secondOk{-1};
    std::atomic<bool> firstDone{false};
    std::unique_ptr<ui::Watcher> second;
    ui::Watcher boxes([&] {
        HWND box = ui::WaitForWindow("Error", 30000);  // the missing description's: the first request is held
        ASSERT_NE(box, nullptr);
        second = std::make_unique<ui::Watcher>([&] {
            ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
            {
                ComPtr<IClassFactory> factory;
                ComPtr<IChecker> checker;
                ASSERT_EQ(S_OK, Export<GetClassObjectFn>(m_dll.Get(), "DllGetClassObject")(
                                    CLSID_Checker, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
                ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IChecker, reinterpret_cast<void**>(checker.GetAddressOf())));
                UniqueWindow page(::CreateWindowExA(0, "STATIC", "second page", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                                    nullptr, nullptr));
                secondPage = page.Get();
                BSTR url = ::SysAllocString(Wide(testserver::Url(m_description)).c_str());
                LONG bOk = -1;
                EXPECT_EQ(S_OK, checker->Check(url, &bOk));
                ::SysFreeString(url);
                secondOk = bOk;
            }
            ::OleUninitialize();
        });
        for (int waited = 0; !secondPage && waited < static_cast<int>(testenv::ScaledMs(30000)); waited += 10) ::Sleep(10);
        DWORD_PTR answer = 0;
        EXPECT_TRUE(::SendMessageTimeoutA(secondPage, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, testenv::ScaledMs(30000), &answer))
            << "the waiting page's thread takes no messages";
        EXPECT_EQ(-1, secondOk.load()) << "the second request ran beside the first";
        EXPECT_FALSE(testserver::WaitForLogEntry(m_description, 0));
        while (!firstDone)
            for (const char* caption : {"Error", "qxChecker"})
                if (HWND next = ui::WaitForWindow(caption, 25)) ui::ClickButton(next, IDOK), ui::WaitForWindowGone(next);
    });
    EXPECT_EQ(0, Check(testserver::Url("/" + m_folder + "/missing.ini")));
    firstDone = true;
    boxes.Join();
    ASSERT_TRUE(second);
    second->Join();
    EXPECT_EQ(1, secondOk.load()) << "the second page's loader is current";
    EXPECT_TRUE(testserver::WaitForLogEntry(m_description, 5000));
}

// Whatever the server says, only a whole program replaces the installed loader: a page served with
// status 200, or a body cut short where the platform reports it whole, is a failed download.
TEST_F(HostileCaller, OnlyAWholeProgramReplacesTheInstalledLoader)
{
    const std::string installed = std::string(kRoot) + "\\qxLoader.exe";
    const std::string before = testenv::ReadFileBytes(installed);
    const std::string loader = testenv::ReadFileBytes(testenv::WindowsPath(QX_SAMPLE_LOADER_PATH));
    const struct {
        const char* name;
        std::string bytes;
        std::string faults;
        bool installs;
    } cases[] = {
        {"an error page served with status 200", "<html><body>Not Found</body></html>", "", false},
        {"a loader cut at half in a chunked body", loader, "chunked=1&cut=" + std::to_string(loader.size() / 2), false},
        {"a whole loader in a chunked body", loader, "chunked=1", true},
    };
    for (const auto& c : cases) {
        int boxes = -1;
        EXPECT_EQ(c.installs ? 1 : 0, OfferUpgrade(c.bytes, boxes, c.faults)) << c.name;
        EXPECT_EQ(c.installs ? 0 : 2, boxes) << c.name;
        EXPECT_TRUE((c.installs ? c.bytes : before) == testenv::ReadFileBytes(installed)) << c.name;
        ASSERT_TRUE(testenv::WriteFileBytes(installed, before));
    }
}

// A DLL that pins its publisher installs a loader only when it is signed, the signature verifies,
// the signer's chain ends at a root this machine trusts, and the signer is pinned.
TEST_F(HostileCallerOnALockedBuild, OnlyThePinnedPublishersLoaderReplacesTheInstalledOne)
{
    TrustTheTestRoot();

    auto signedBy = [](const char* name) {
        return testenv::ReadFileBytes(testenv::WindowsPath(std::string(QX_SIGNED_LOADERS_DIR) + "/" + name + ".exe"));
    };
    const std::string installed = std::string(kRoot) + "\\qxLoader.exe";
    const std::string before = testenv::ReadFileBytes(installed);
    const std::string publishers = testenv::ReadFileBytes(testenv::WindowsPath(QX_SIGNED_LOADER_PATH));
    std::string changed = publishers;
    changed[changed.size() / 4] ^= 1;
    const struct {
        const char* name;
        std::string bytes;
        bool installs;
    } cases[] = {
        {"signed by the pinned publisher", publishers, true},
        {"unsigned", testenv::ReadFileBytes(testenv::WindowsPath(QX_SAMPLE_LOADER_PATH)), false},
        {"changed by one byte after signing", changed, false},
        {"signed by another publisher under the same root", signedBy("other"), false},
        {"signed by a pinned certificate under an untrusted root", signedBy("stranger"), false},
        {"signed by the publisher's renewed certificate, the second pin", signedBy("renewed"), true},
    };
    for (const auto& c : cases) {
        int boxes = -1;
        EXPECT_EQ(c.installs ? 1 : 0, OfferUpgrade(c.bytes, boxes)) << c.name;
        EXPECT_EQ(c.installs ? 0 : 2, boxes) << c.name;
        EXPECT_TRUE((c.installs ? c.bytes : before) == testenv::ReadFileBytes(installed)) << c.name;
        ASSERT_TRUE(testenv::WriteFileBytes(installed, before));
    }
}

// Protected Mode, as a forced answer shows it where it does not exist: the control hands the
// request to the broker beside its DLL and writes nothing itself; with no broker there, nothing
// happens and Check answers 0 after the installer's box.
class ProtectedModeCaller : public HostileCallerOnALockedBuild {
protected:
    void SetUp() override
    {
        ::SetEnvironmentVariableA("QX_FORCE_PROTECTED_MODE", "1");
        HostileCallerOnALockedBuild::SetUp();
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSitesKey);
        // The shell opens the world file with the loader stand-in, which leaves a record.
        m_record = testenv::CaseStatePath("loader-record.txt");
        ::DeleteFileA(m_record.c_str());
        ::SetEnvironmentVariableA("QX_LOADER_RECORD", m_record.c_str());
        ASSERT_TRUE(testenv::SetClassesDefault(".qxl", "qxl_auto_file"));
        ASSERT_TRUE(testenv::SetClassesDefault("qxl_auto_file\\shell\\open\\command",
                                               "\"" + testenv::WindowsPath(QX_SAMPLE_LOADER_PATH) + "\" \"%1\""));
    }
    std::string m_record;
    void TearDown() override
    {
        HostileCallerOnALockedBuild::TearDown();
        ::SetEnvironmentVariableA("QX_FORCE_PROTECTED_MODE", nullptr);
    }
};

TEST_F(ProtectedModeCaller, TheBrokerDoesTheRequestAndTheControlAloneDoesNothing)
{
    const std::string settings = std::string(kRoot) + "\\ActiveWorld\\Aworld.ini";
    Place(Wide(testserver::Url("/lock/page.html")), true);
    EXPECT_EQ(1, Check(testserver::Url(m_description)));
    EXPECT_TRUE(testenv::FileExists(std::string(kRoot) + "\\temp.ini"));
    Launch(testserver::Url(m_world));
    EXPECT_NE(std::string::npos, testenv::ReadFileBytes(settings).find("world=Locked"));
    EXPECT_FALSE(testenv::WaitForRecordLine(m_record).empty()) << "the broker did not open the world file";

    // The same DLL with no broker beside it.
    const std::string alone = "C:\\qxNoBroker";
    ASSERT_TRUE(testenv::MakeDirs(alone));
    ASSERT_TRUE(::CopyFileA(SiteLockedPath().c_str(), (alone + "\\qxChecker.DLL").c_str(), FALSE));
    testenv::RemoveTree(kRoot);
    m_checker.Reset();
    m_factory.Reset();
    UniqueLibrary copy(::LoadLibraryA((alone + "\\qxChecker.DLL").c_str()));
    ASSERT_TRUE(copy);
    ASSERT_EQ(S_OK, Export<GetClassObjectFn>(copy.Get(), "DllGetClassObject")(CLSID_Checker, IID_IClassFactory,
                                                                              reinterpret_cast<void**>(m_factory.GetAddressOf())));
    ASSERT_EQ(S_OK, m_factory->CreateInstance(nullptr, IID_IChecker, reinterpret_cast<void**>(m_checker.GetAddressOf())));
    Place(Wide(testserver::Url("/lock/page.html")), true);
    const std::string unseen = testserver::PutFile(m_folder + "/unseen.ini", "[Program]\r\n");
    int boxes = 0;
    EXPECT_EQ(0, CheckAnsweringBoxes(testserver::Url(unseen), boxes));
    EXPECT_EQ(1, boxes);
    Launch(testserver::Url(unseen));
    EXPECT_FALSE(testserver::WaitForLogEntry(unseen, 0)) << "the control fetched for itself";
    EXPECT_FALSE(testenv::FileExists(kRoot)) << "the control wrote for itself";
    m_checker.Reset();
    m_factory.Reset();
}

// The broker trusts nothing it is handed: anything but one request of its grammar is refused (exit
// code 2), and a page off the list of the DLL beside it by the control it hosts (Check's 0),
// before anything is fetched.
TEST_F(ProtectedModeCaller, TheBrokerRefusesAnyOtherCommandLine)
{
    const std::string broker = SiteLockedPath().substr(0, SiteLockedPath().rfind('\\')) + "\\qxBroker.exe";
    const std::string page = "http%3A//127.0.0.1/lock/page.html";
    const std::string url = testserver::Url(m_description);
    const std::string owner = "0000000000000000";
    const struct {
        const char* name;
        std::string arguments;
        DWORD code;  // 2: refused by the broker; 0: refused by the control it hosts
    } rows[] = {
        {"another method", "install " + owner + " " + page + " " + url, 2},
        {"an owner that is no number", "check 00000000000000zz " + page + " " + url, 2},
        {"overlong", "check " + owner + " " + page + " " + url + "?" + std::string(8200, 'a'), 2},
        {"a path", "check " + owner + " " + page + " C:\\Windows\\win.ini", 2},
        {"a flag", "check " + owner + " " + page + " " + url + " /s", 2},
        {"a second request", "check " + owner + " " + page + " " + url + " check " + owner + " " + page + " " + url, 2},
        {"a page off the list", "check " + owner + " http%3A//evil.example/ " + url, 0},
        {"no page", "check " + owner + " - " + url, 2},
        {"a bare quote", "check " + owner + " " + page + " " + url + "\"", 2},
    };
    for (const auto& [name, arguments, expected] : rows) {
        const std::string commandLine = "\"" + broker + "\" " + arguments;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(::CreateProcessA(broker.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Get(), testenv::ScaledMs(60000))) << name;
        DWORD code = 0;
        ::GetExitCodeProcess(process.Get(), &code);
        EXPECT_EQ(expected, code) << name;
    }
    EXPECT_FALSE(testserver::WaitForLogEntry(m_description, 0)) << "a refused request fetched";
}

// A standard user for real: this suite runs only in the standard user's environment (a Unix user
// that is not root; Program Files read-only, with the 3D browser's settings an administrator left
// there). The machine's classes and record key are denied here as Windows denies them to such a
// user, by descriptors that wineserver checks at every open. The document type the shell uses
// is the machine's, as an administrator registered it: Wine merges no per-user classes into
// HKEY_CLASSES_ROOT, so the per-user one is checked by its keys.
class StandardUser : public HostileCallerOnALockedBuild {
protected:
    void SetUp() override
    {
        CreateControl();
        ASSERT_FALSE(CanWriteFolder("C:\\Program Files")) << "not the standard user's environment";
        TrustTheTestRoot(CERT_SYSTEM_STORE_CURRENT_USER);
        m_record = testenv::CaseStatePath("loader-record.txt");
        ::SetEnvironmentVariableA("QX_LOADER_RECORD", m_record.c_str());
        ASSERT_TRUE(testenv::SetClassesDefault(".qxl", "qxl_auto_file"));
        ASSERT_TRUE(testenv::SetClassesDefault("qxl_auto_file\\shell\\open\\command",
                                               "\"" + testenv::WindowsPath(QX_SAMPLE_LOADER_PATH) + "\" \"%1\""));
        for (const char* key : {"Software\\Classes", "Software\\Classes\\.qxl", "Software\\Classes\\qxl_auto_file", "SOFTWARE\\Tessaron"})
            Deny(key);
        m_folder = "user";
        const std::string signedLoader = testenv::ReadFileBytes(testenv::WindowsPath(QX_SIGNED_LOADER_PATH));
        const std::string renewed =
            testenv::ReadFileBytes(testenv::WindowsPath(std::string(QX_SIGNED_LOADERS_DIR) + "/renewed.exe"));
        for (const auto& [version, loader] : {std::pair<int, std::string>{5, signedLoader}, {6, renewed}}) {
            const std::string name = "user/v" + std::to_string(version);
            testserver::PutFile(name + ".exe", loader);
            m_offers[version] = testserver::Url(testserver::PutFile(
                name + ".ini", "[Program]\r\n\"downurl\"=\"" + testserver::Url("/" + name + ".exe") + "\"\r\n[HKEY_CURRENT_USER\\" +
                                   kRecordKey + "]\r\n\"Path\"=\"x\"\r\n\"Version\"=" + std::to_string(version) +
                                   "\r\n[HKEY_CLASSES_ROOT\\.qxl]\r\n\"\"=\"qxl_auto_file\"\r\n"
                                   "[HKEY_CLASSES_ROOT\\qxl_auto_file\\shell\\open\\command]\r\n[End]\r\n"));
            m_loaders[version] = loader;
        }
        m_world = testserver::PutFile("user/world.qxl", "[Program]\r\nworld=Mine\r\n");
    }
    void TearDown() override
    {
        for (auto& [key, descriptor] : m_saved) {
            UniqueRegKey hKey;
            if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, WRITE_DAC, hKey.Put()) == ERROR_SUCCESS)
                ::RegSetKeySecurity(hKey.Get(), DACL_SECURITY_INFORMATION, descriptor.data());
        }
        ::SetEnvironmentVariableA("QX_FORCE_PROTECTED_MODE", nullptr);
        HostileCallerOnALockedBuild::TearDown();
    }

    // Nobody may make keys or set values at `key`, as on Windows nobody but an administrator may.
    void Deny(const std::string& key)
    {
        UniqueRegKey hKey;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, READ_CONTROL | WRITE_DAC,
                                                   nullptr, hKey.Put(), nullptr));
        DWORD cb = 0;
        ::RegGetKeySecurity(hKey.Get(), DACL_SECURITY_INFORMATION, nullptr, &cb);
        std::vector<BYTE>& saved = m_saved[key];
        saved.resize(cb);
        ASSERT_EQ(ERROR_SUCCESS, ::RegGetKeySecurity(hKey.Get(), DACL_SECURITY_INFORMATION, saved.data(), &cb));
        PSECURITY_DESCRIPTOR pDenying = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x6;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                           &pDenying, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(hKey.Get(), DACL_SECURITY_INFORMATION, pDenying));
        ::LocalFree(pDenying);
        EXPECT_FALSE(CanWriteKey(HKEY_LOCAL_MACHINE, (key + "\\qxProbe").c_str())) << key << " is not denied";
    }

    std::string m_record;
    std::map<std::string, std::vector<BYTE>> m_saved;
    std::map<int, std::string> m_offers, m_loaders;
};

TEST_F(StandardUser, InstallsUpgradesAndLaunchesInTheirOwnPlacesInProcessAndThroughTheBroker)
{
    const std::string userRoot = PerUserInstallRoot().GetString();
    const std::string machineSettings = std::string(kRoot) + "\\ActiveWorld\\Aworld.ini";
    const std::string userSettings = VirtualStorePath(machineSettings.c_str()).GetString();
    const std::string userCommand = "Software\\Classes\\qxl_auto_file\\shell\\open\\command";
    for (const bool broker : {false, true}) {
        SCOPED_TRACE(broker ? "through the broker" : "in process");
        testenv::RemoveTree(userRoot);
        ::DeleteFileA(userSettings.c_str());
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kRecordKey);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Classes\\qxl_auto_file");
        ::SetEnvironmentVariableA("QX_FORCE_PROTECTED_MODE", broker ? "1" : nullptr);
        Place(Wide(testserver::Url("/user/page.html")), true);
        int boxes = 0;
        for (const int version : {5, 5, 6}) {  // the full installation, current, the upgrade
            EXPECT_EQ(1, CheckAnsweringBoxes(m_offers[version], boxes)) << version;
            EXPECT_EQ(0, boxes) << version;
            EXPECT_TRUE(m_loaders[version] == testenv::ReadFileBytes(userRoot + "\\qxLoader.exe")) << version;
        }
        EXPECT_EQ(userRoot, RegText(HKEY_CURRENT_USER, kRecordKey, "Path"));
        EXPECT_EQ("\"" + userRoot + "\\qxLoader.exe\" %1", RegText(HKEY_CURRENT_USER, userCommand.c_str(), ""));
        EXPECT_FALSE(testenv::FileExists(std::string(kRoot) + "\\qxLoader.exe"));

        ::DeleteFileA(m_record.c_str());
        Launch(testserver::Url(m_world));
        EXPECT_NE(std::string::npos, testenv::ReadFileBytes(userSettings).find("world=Mine"));
        EXPECT_NE(std::string::npos, testenv::ReadFileBytes(machineSettings).find("world=AWGate"));
        EXPECT_NE(std::string::npos, testenv::WaitForRecordLine(m_record).find(userRoot + "\\temp.qxl"));
    }
}
