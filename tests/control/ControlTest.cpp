// The Checker as an OLE control: its interface table, its drawing, its persisted size, its view
// queries and its data rendering, in-process through the DLL's exports; its activation in a site of
// our own that offers windowless activation; and its life in a container that we did not write,
// the AtlAxWin window of the platform's atl.dll.
#include <gtest/gtest.h>

#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "framework/TextConversion.h"
#include "qxChecker.h"
#include "support/ProductDll.h"
#include "support/TestEnv.h"
#include "support/UiHelper.h"

using Microsoft::WRL::ComPtr;

namespace {

const IID kIID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
const char kCaption[] = "ATL 3.0 : Checker";
const DWORD kControlStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);

using namespace productdll;

std::string DllPath()
{
    return Path();
}

template <typename T>
ComPtr<T> As(IUnknown* p)
{
    ComPtr<T> q;
    EXPECT_EQ(S_OK, p->QueryInterface(__uuidof(T), reinterpret_cast<void**>(q.GetAddressOf())));
    return q;
}

bool WindowClassName(HWND hwnd, std::string& name)
{
    char buffer[64] = {};
    if (!::GetClassNameA(hwnd, buffer, sizeof buffer)) return false;
    name = buffer;
    return true;
}

// "ATL:" and exactly eight upper-case hexadecimal digits.
bool IsGeneratedClassName(const std::string& name)
{
    if (name.size() != 12 || name.compare(0, 4, "ATL:") != 0) return false;
    return std::all_of(name.begin() + 4, name.end(), [](char ch) { return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'); });
}

// A 32-bit top-down DIB section with a memory context, filled with one colour, for drawing into
// and reading back pixel by pixel.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill) : m_width(width), m_height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* pvBits = nullptr;
        m_bitmap.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pvBits, nullptr, 0));
        m_pBits = static_cast<uint32_t*>(pvBits);
        m_dc.Reset(::CreateCompatibleDC(nullptr));
        if (!m_bitmap || !m_dc) return;
        m_oldBitmap = ::SelectObject(m_dc.Get(), m_bitmap.Get());
        UniqueGdiObject brush(::CreateSolidBrush(fill));
        RECT all = {0, 0, width, height};
        ::FillRect(m_dc.Get(), &all, static_cast<HBRUSH>(brush.Get()));
    }
    ~Canvas()
    {
        if (m_oldBitmap) ::SelectObject(m_dc.Get(), m_oldBitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Ok() const { return m_pBits && m_dc && m_oldBitmap; }
    HDC Dc() const { return m_dc.Get(); }
    COLORREF Pixel(int x, int y) const
    {
        const uint32_t bgr = m_pBits[y * m_width + x];
        return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
    }
    // How many pixels differ from another canvas of the same size.
    int CountDifferences(const Canvas& other) const
    {
        ::GdiFlush();
        int nDiff = 0;
        for (int i = 0; i < m_width * m_height; ++i)
            if ((m_pBits[i] & 0xFFFFFF) != (other.m_pBits[i] & 0xFFFFFF)) ++nDiff;
        return nDiff;
    }
    uint32_t* Bits() const { return m_pBits; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    int m_width;
    int m_height;
    UniqueGdiObject m_bitmap;
    UniqueDc m_dc;
    HGDIOBJ m_oldBitmap = nullptr;
    uint32_t* m_pBits = nullptr;
};

// A pen and a brush selected into a context for as long as the object lives.
class Tools {
public:
    Tools(HDC hdc, COLORREF brushColour)
        : m_hdc(hdc), m_brush(::CreateSolidBrush(brushColour)),
          m_oldPen(::SelectObject(hdc, ::GetStockObject(BLACK_PEN))), m_oldBrush(::SelectObject(hdc, m_brush.Get()))
    {
    }
    ~Tools()
    {
        ::SelectObject(m_hdc, m_oldBrush);
        ::SelectObject(m_hdc, m_oldPen);
    }
    Tools(const Tools&) = delete;
    Tools& operator=(const Tools&) = delete;

private:
    HDC m_hdc;
    UniqueGdiObject m_brush;
    HGDIOBJ m_oldPen;
    HGDIOBJ m_oldBrush;
};

// What the control should look like, drawn here directly with the platform's calls.
void DrawReference(HDC hdc, const RECT& frame, POINT anchor)
{
    ::Rectangle(hdc, frame.left, frame.top, frame.right, frame.bottom);
    const UINT oldAlign = ::SetTextAlign(hdc, TA_CENTER | TA_BASELINE);
    ::TextOutA(hdc, anchor.x, anchor.y, kCaption, static_cast<int>(std::strlen(kCaption)));
    ::SetTextAlign(hdc, oldAlign);
}

// Counts the notifications a container's sink receives.
class CountingSink final : public IAdviseSink {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IAdviseSink) {
            *ppv = static_cast<IAdviseSink*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override { ++m_nDataChanges; }
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override { ++m_nViewChanges; }
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override { ++m_nCloses; }

    ULONG m_cRef = 1;
    int m_nDataChanges = 0;
    int m_nViewChanges = 0;
    int m_nCloses = 0;
};

// A container's site that offers windowless activation and says yes to it: the control must still
// make a window of its own. It places the control at kPos in its window.
class WindowlessSite final : public IOleClientSite, public IOleInPlaceSiteWindowless {
public:
    static constexpr RECT kPos = {10, 20, 110, 70};

    explicit WindowlessSite(HWND hwnd) : m_hWnd(hwnd) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite || riid == IID_IOleInPlaceSiteEx ||
                 riid == IID_IOleInPlaceSiteWindowless)
            *ppv = static_cast<IOleInPlaceSiteWindowless*>(this);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override { *ppmk = nullptr; return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** pp) override { *pp = nullptr; return E_NOINTERFACE; }
    STDMETHODIMP ShowObject() override { ++m_nShowObject; return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override { *phwnd = m_hWnd; return S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { ++m_nActivations; return S_OK; }
    STDMETHODIMP OnUIActivate() override { ++m_nUIActivations; return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO) override
    {
        *ppFrame = nullptr;
        *ppDoc = nullptr;
        *lprcPosRect = kPos;
        *lprcClipRect = kPos;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { ++m_nUIDeactivations; return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { ++m_nDeactivations; return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceSiteEx
    STDMETHODIMP OnInPlaceActivateEx(BOOL* pfNoRedraw, DWORD dwFlags) override
    {
        if (pfNoRedraw) *pfNoRedraw = FALSE;
        ++m_nActivations;
        m_dwActivateFlags = dwFlags;
        return S_OK;
    }
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { ++m_nDeactivations; return S_OK; }
    STDMETHODIMP RequestUIActivate() override { return S_OK; }

    // IOleInPlaceSiteWindowless
    STDMETHODIMP CanWindowlessActivate() override { return S_OK; }
    STDMETHODIMP GetCapture() override { return S_FALSE; }
    STDMETHODIMP SetCapture(BOOL) override { return S_OK; }
    STDMETHODIMP GetFocus() override { return S_FALSE; }
    STDMETHODIMP SetFocus(BOOL) override { return S_OK; }
    STDMETHODIMP GetDC(LPCRECT, DWORD, HDC* phDC) override { *phDC = nullptr; return E_NOTIMPL; }
    STDMETHODIMP ReleaseDC(HDC) override { return E_NOTIMPL; }
    STDMETHODIMP InvalidateRect(LPCRECT, BOOL) override { return S_OK; }
    STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return S_OK; }
    STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
    STDMETHODIMP AdjustRect(LPRECT) override { return S_OK; }
    STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* plResult) override
    {
        *plResult = 0;
        return S_FALSE;
    }

    HWND m_hWnd;
    ULONG m_cRef = 1;
    int m_nActivations = 0;
    int m_nDeactivations = 0;
    int m_nUIActivations = 0;
    int m_nUIDeactivations = 0;
    int m_nShowObject = 0;
    DWORD m_dwActivateFlags = 0xFFFFFFFF;
};

class ControlObject : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
        m_dll.Reset(::LoadLibraryA(DllPath().c_str()));
        ASSERT_TRUE(m_dll) << DllPath();
        m_getClassObject = Export<GetClassObjectFn>(m_dll.Get(), "DllGetClassObject");
        m_register = Export<RegisterFn>(m_dll.Get(), "DllRegisterServer");
        m_unregister = Export<RegisterFn>(m_dll.Get(), "DllUnregisterServer");
        ASSERT_TRUE(m_getClassObject && m_register && m_unregister);
    }
    void TearDown() override
    {
        ::CoFreeUnusedLibraries();
        ::OleUninitialize();
    }

    ComPtr<IUnknown> NewChecker()
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, m_getClassObject(CLSID_Checker, IID_IClassFactory,
                                         reinterpret_cast<void**>(factory.GetAddressOf())));
        ComPtr<IUnknown> checker;
        if (factory) {
            EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IChecker,
                                                    reinterpret_cast<void**>(checker.GetAddressOf())));
        }
        return checker;
    }

    UniqueLibrary m_dll;
    GetClassObjectFn m_getClassObject = nullptr;
    RegisterFn m_register = nullptr;
    RegisterFn m_unregister = nullptr;
};

HRESULT DrawInto(IUnknown* control, HDC hdc, const RECTL& bounds)
{
    ComPtr<IViewObject> view = As<IViewObject>(control);
    return view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, hdc, &bounds, nullptr, nullptr, 0);
}

}  // namespace

TEST_F(ControlObject, QueryInterfaceAnswersTheControlInterfacesWithTheirSharedPointers)
{
    ComPtr<IUnknown> checker = NewChecker();
    ASSERT_TRUE(checker);
    void* pChecker = nullptr;
    ASSERT_EQ(S_OK, checker->QueryInterface(IID_IChecker, &pChecker));
    static_cast<IUnknown*>(pChecker)->Release();
    EXPECT_EQ(pChecker, checker.Get()) << "IUnknown is the IChecker pointer";

    // Each group answers with one pointer; the groups are apart.
    const std::vector<std::vector<const IID*>> groups = {
        {&IID_IChecker, &IID_IDispatch},
        {&IID_IViewObjectEx, &IID_IViewObject2, &IID_IViewObject},
        {&IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject, &IID_IOleWindow},
        {&IID_IOleInPlaceActiveObject},
        {&IID_IOleControl},
        {&IID_IOleObject},
        {&IID_IPersistStreamInit, &IID_IPersist},
        {&IID_ISpecifyPropertyPages},
        {&IID_IQuickActivate},
        {&IID_IPersistStorage},
        {&IID_IDataObject},
        {&IID_IProvideClassInfo, &IID_IProvideClassInfo2},
        {&kIID_IObjectSafety},
    };
    std::vector<void*> groupPointers;
    for (size_t g = 0; g < groups.size(); ++g) {
        void* pFirst = nullptr;
        for (const IID* iid : groups[g]) {
            SCOPED_TRACE(::testing::Message() << "group " << g);
            void* pv = nullptr;
            ASSERT_EQ(S_OK, checker->QueryInterface(*iid, &pv));
            ComPtr<IUnknown> held(static_cast<IUnknown*>(pv));
            static_cast<IUnknown*>(pv)->Release();
            if (!pFirst) pFirst = pv;
            EXPECT_EQ(pFirst, pv);
            // Every interface leads back to the one identity.
            ComPtr<IUnknown> identity;
            ASSERT_EQ(S_OK, held->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())));
            EXPECT_EQ(checker.Get(), identity.Get());
        }
        EXPECT_EQ(groupPointers.end(), std::find(groupPointers.begin(), groupPointers.end(), pFirst)) << "group " << g;
        groupPointers.push_back(pFirst);
    }

    for (const IID* iid : {&IID_IPersistPropertyBag, &IID_ISupportErrorInfo, &IID_IConnectionPointContainer,
                           &IID_IProvideMultipleClassInfo, &IID_IPointerInactive, &IID_IOleInPlaceSiteWindowless}) {
        void* pv = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, checker->QueryInterface(*iid, &pv));
        EXPECT_EQ(nullptr, pv);
    }
}

TEST_F(ControlObject, DrawFramesTheBoundsAndCentresTheCaption)
{
    ComPtr<IUnknown> checker = NewChecker();
    ASSERT_TRUE(checker);
    const int width = 130, height = 80;

    // Bounds 0,0,101,51: the outline covers columns 0..100 and rows 0..50, the inside takes the
    // brush, and the caption stands on 50,25.
    {
        Canvas drawn(width, height, kBlue), expected(width, height, kBlue);
        ASSERT_TRUE(drawn.Ok() && expected.Ok());
        Tools drawnTools(drawn.Dc(), kRed), expectedTools(expected.Dc(), kRed);
        ASSERT_EQ(S_OK, DrawInto(checker.Get(), drawn.Dc(), RECTL{0, 0, 101, 51}));
        DrawReference(expected.Dc(), RECT{0, 0, 101, 51}, POINT{50, 25});
        ::GdiFlush();
        EXPECT_EQ(kBlack, drawn.Pixel(0, 0));
        EXPECT_EQ(kBlack, drawn.Pixel(100, 50));
        EXPECT_EQ(kBlack, drawn.Pixel(100, 0));
        EXPECT_EQ(kBlack, drawn.Pixel(0, 50));
        EXPECT_EQ(kRed, drawn.Pixel(1, 1));
        // (The caption is wider than the frame: its opaque cell covers the middle rows.)
        EXPECT_EQ(kBlue, drawn.Pixel(101, 5)) << "the right edge is outside";
        EXPECT_EQ(kBlue, drawn.Pixel(101, 45)) << "the right edge is outside";
        EXPECT_EQ(kBlue, drawn.Pixel(50, 51)) << "the bottom edge is outside";
        EXPECT_EQ(0, drawn.CountDifferences(expected));
        EXPECT_EQ(static_cast<UINT>(TA_LEFT | TA_TOP | TA_NOUPDATECP), ::GetTextAlign(drawn.Dc()))
            << "the caller's context is given back as it was";
    }

    // Bounds in logical units of a context with a moved origin: drawn at the device position,
    // the context's origin left as the caller set it.
    {
        Canvas drawn(width, height, kBlue), expected(width, height, kBlue);
        ASSERT_TRUE(drawn.Ok() && expected.Ok());
        Tools drawnTools(drawn.Dc(), kRed), expectedTools(expected.Dc(), kRed);
        ::SetViewportOrgEx(drawn.Dc(), 7, 9, nullptr);
        ASSERT_EQ(S_OK, DrawInto(checker.Get(), drawn.Dc(), RECTL{0, 0, 101, 51}));
        DrawReference(expected.Dc(), RECT{7, 9, 108, 60}, POINT{57, 34});
        EXPECT_EQ(0, drawn.CountDifferences(expected));
        POINT origin = {};
        ::GetViewportOrgEx(drawn.Dc(), &origin);
        EXPECT_EQ(7, origin.x);
        EXPECT_EQ(9, origin.y);
    }

    ComPtr<IViewObject> view = As<IViewObject>(checker.Get());
    const RECTL bounds = {0, 0, 10, 10};
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr,
                                       nullptr, 0));
    Canvas canvas(10, 10, kBlue);
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), nullptr, nullptr,
                                       nullptr, 0))
        << "a windowed control has no bounds of its own to draw in";
}

// Negative bounds cannot be seen in a bitmap; a metafile keeps the coordinates as drawn and is
// played back here with the origin moved by 20,20.
TEST_F(ControlObject, DrawWithNegativeBoundsTruncatesTheCentreTowardZero)
{
    ComPtr<IUnknown> checker = NewChecker();
    ASSERT_TRUE(checker);
    HDC hdcMeta = ::CreateMetaFileA(nullptr);
    ASSERT_NE(nullptr, hdcMeta);
    const HRESULT hr = DrawInto(checker.Get(), hdcMeta, RECTL{-11, -11, 0, 0});
    UniqueMetaFile metafile(::CloseMetaFile(hdcMeta));
    ASSERT_TRUE(metafile);
    ASSERT_EQ(S_OK, hr);

    const int size = 60;
    Canvas played(size, size, kBlue), expected(size, size, kBlue), floored(size, size, kBlue);
    ASSERT_TRUE(played.Ok() && expected.Ok() && floored.Ok());
    {
        Tools tools(played.Dc(), kRed);
        ::SetViewportOrgEx(played.Dc(), 20, 20, nullptr);
        EXPECT_TRUE(::PlayMetaFile(played.Dc(), metafile.Get()));
    }
    {
        Tools tools(expected.Dc(), kRed);
        DrawReference(expected.Dc(), RECT{9, 9, 20, 20}, POINT{15, 15});
        Tools floorTools(floored.Dc(), kRed);
        DrawReference(floored.Dc(), RECT{9, 9, 20, 20}, POINT{14, 14});
    }
    ASSERT_NE(0, expected.CountDifferences(floored)) << "the two anchors must be told apart";
    EXPECT_EQ(0, played.CountDifferences(expected)) << "caption anchored at -5,-5";
}

TEST_F(ControlObject, SavedSizeLoadsBackAndABadStreamIsRefused)
{
    ComPtr<IUnknown> checker = NewChecker();
    ASSERT_TRUE(checker);
    ComPtr<IPersistStreamInit> persist = As<IPersistStreamInit>(checker.Get());
    ComPtr<IOleObject> object = As<IOleObject>(checker.Get());

    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_EQ(CLSID_Checker, clsid);
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    SIZEL size = {};
    ASSERT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(5080, size.cx);
    EXPECT_EQ(5080, size.cy);

    SIZEL newSize = {1234, 567};
    ASSERT_EQ(S_OK, object->SetExtent(DVASPECT_CONTENT, &newSize));
    EXPECT_EQ(S_OK, persist->IsDirty()) << "a new size is something to save";
    EXPECT_EQ(E_FAIL, object->SetExtent(DVASPECT_ICON, &newSize));

    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    ASSERT_EQ(S_OK, persist->Save(stream.Get(), TRUE));
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    ULARGE_INTEGER sizeMax = {};
    EXPECT_EQ(S_OK, persist->GetSizeMax(&sizeMax));
    EXPECT_EQ(12u, sizeMax.QuadPart);

    STATSTG stat = {};
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    ASSERT_EQ(12u, stat.cbSize.QuadPart);
    LARGE_INTEGER start = {};
    ASSERT_EQ(S_OK, stream->Seek(start, STREAM_SEEK_SET, nullptr));
    unsigned char bytes[12] = {};
    ULONG cbRead = 0;
    ASSERT_EQ(S_OK, stream->Read(bytes, sizeof bytes, &cbRead));
    const unsigned char expected[12] = {0x00, 0x03, 0, 0, 0xD2, 0x04, 0, 0, 0x37, 0x02, 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, bytes, sizeof bytes));

    // A fresh control takes the size back, and a load leaves nothing to save.
    ComPtr<IUnknown> other = NewChecker();
    ComPtr<IPersistStreamInit> otherPersist = As<IPersistStreamInit>(other.Get());
    ASSERT_EQ(S_OK, otherPersist->InitNew());
    ASSERT_EQ(S_OK, stream->Seek(start, STREAM_SEEK_SET, nullptr));
    ASSERT_EQ(S_OK, otherPersist->Load(stream.Get()));
    EXPECT_EQ(S_FALSE, otherPersist->IsDirty());
    ASSERT_EQ(S_OK, As<IOleObject>(other.Get())->GetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(1234, size.cx);
    EXPECT_EQ(567, size.cy);

    struct StreamCase {
        const char* what;
        std::vector<unsigned char> bytes;
        HRESULT expected;
        LONG cx;
    };
    const StreamCase cases[] = {
        {"a newer version", {0x01, 0x03, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}, E_FAIL, 5080},
        {"an older version", {0x00, 0x02, 0, 0, 100, 0, 0, 0, 200, 0, 0, 0}, S_OK, 100},
        {"a size cut short", {0x00, 0x03, 0, 0, 100, 0, 0, 0, 200, 0}, E_FAIL, 5080},
        {"no version at all", {0x00, 0x03}, E_FAIL, 5080},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IUnknown> loaded = NewChecker();
        ComPtr<IStream> input;
        ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &input));
        ULONG cbWritten = 0;
        ASSERT_EQ(S_OK, input->Write(c.bytes.data(), static_cast<ULONG>(c.bytes.size()), &cbWritten));
        ASSERT_EQ(S_OK, input->Seek(start, STREAM_SEEK_SET, nullptr));
        EXPECT_EQ(c.expected, As<IPersistStreamInit>(loaded.Get())->Load(input.Get()));
        ASSERT_EQ(S_OK, As<IOleObject>(loaded.Get())->GetExtent(DVASPECT_CONTENT, &size));
        EXPECT_EQ(c.cx, size.cx);
        EXPECT_EQ(c.cx == 5080 ? 5080 : 200, size.cy);
    }
    EXPECT_EQ(E_POINTER, persist->Load(static_cast<IStream*>(nullptr)));
}

TEST_F(ControlObject, StorageKeepsTheSizeInItsContentsStream)
{
    const std::string path = testenv::StatePath("control-storage.stg");
    testenv::RemoveTree(path);
    const std::wstring widePath = WideFromAnsi(path.c_str());

    ComPtr<IUnknown> checker = NewChecker();
    ASSERT_TRUE(checker);
    SIZEL newSize = {2000, 1000};
    ASSERT_EQ(S_OK, As<IOleObject>(checker.Get())->SetExtent(DVASPECT_CONTENT, &newSize));
    {
        ComPtr<IStorage> storage;
        ASSERT_EQ(S_OK, ::StgCreateDocfile(widePath.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           &storage));
        ComPtr<IPersistStorage> persist = As<IPersistStorage>(checker.Get());
        ASSERT_EQ(S_OK, persist->Save(storage.Get(), TRUE));
        EXPECT_EQ(S_OK, persist->SaveCompleted(nullptr));
        ASSERT_EQ(S_OK, storage->Commit(STGC_DEFAULT));
        // Saving again replaces the stream rather than failing on it.
        ASSERT_EQ(S_OK, persist->Save(storage.Get(), TRUE));
        ASSERT_EQ(S_OK, storage->Commit(STGC_DEFAULT));
    }

    ComPtr<IStorage> storage;
    ASSERT_EQ(S_OK, ::StgOpenStorage(widePath.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage));
    {
        ComPtr<IStream> contents;
        ASSERT_EQ(S_OK, storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &contents));
        STATSTG stat = {};
        ASSERT_EQ(S_OK, contents->Stat(&stat, STATFLAG_NONAME));
        EXPECT_EQ(12u, stat.cbSize.QuadPart);
    }
    ComPtr<IUnknown> other = NewChecker();
    ComPtr<IPersistStorage> persist = As<IPersistStorage>(other.Get());
    ASSERT_EQ(S_OK, persist->Load(storage.Get()));
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    SIZEL size = {};
    ASSERT_EQ(S_OK, As<IOleObject>(other.Get())->GetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(2000, size.cx);
    EXPECT_EQ(1000, size.cy);

    // A storage without the stream: the storage's error, the size untouched.
    ComPtr<IStorage> empty;
    ASSERT_EQ(S_OK, ::StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE |
                                                    STGM_DELETEONRELEASE, 0, &empty));
    EXPECT_EQ(STG_E_FILENOTFOUND, persist->Load(empty.Get()));
    EXPECT_EQ(E_POINTER, persist->Load(static_cast<IStorage*>(nullptr)));
    storage.Reset();
    testenv::RemoveTree(path);
}

TEST_F(ControlObject, ViewQueriesHitTestsAndTheSmallInterfaces)
{
    ComPtr<IUnknown> checker = NewChecker();
    ASSERT_TRUE(checker);
    ComPtr<IViewObjectEx> view = As<IViewObjectEx>(checker.Get());

    DWORD status = 0;
    EXPECT_EQ(S_OK, view->GetViewStatus(&status));
    EXPECT_EQ(3u, status);

    const RECT bounds = {10, 20, 110, 70};
    struct PointCase {
        POINT pt;
        DWORD expected;
    };
    for (const PointCase& c : {PointCase{{10, 20}, HITRESULT_HIT}, PointCase{{109, 69}, HITRESULT_HIT},
                               PointCase{{110, 40}, HITRESULT_OUTSIDE}, PointCase{{50, 70}, HITRESULT_OUTSIDE},
                               PointCase{{9, 40}, HITRESULT_OUTSIDE}, PointCase{{50, 19}, HITRESULT_OUTSIDE}}) {
        DWORD hit = 99;
        EXPECT_EQ(S_OK, view->QueryHitPoint(DVASPECT_CONTENT, &bounds, c.pt, 0, &hit));
        EXPECT_EQ(c.expected, hit) << c.pt.x << "," << c.pt.y;
    }
    struct RectCase {
        RECT rc;
        DWORD expected;
    };
    for (const RectCase& c : {RectCase{{0, 0, 11, 21}, HITRESULT_HIT}, RectCase{{0, 0, 10, 40}, HITRESULT_OUTSIDE},
                              RectCase{{110, 20, 120, 70}, HITRESULT_OUTSIDE}, RectCase{{40, 70, 50, 80}, HITRESULT_OUTSIDE},
                              RectCase{{50, 30, 60, 40}, HITRESULT_HIT}, RectCase{{0, 0, 200, 200}, HITRESULT_HIT},
                              RectCase{{200, 0, 300, 100}, HITRESULT_OUTSIDE}}) {
        DWORD hit = 99;
        EXPECT_EQ(S_OK, view->QueryHitRect(DVASPECT_CONTENT, &bounds, &c.rc, 0, &hit));
        EXPECT_EQ(c.expected, hit) << c.rc.left << "," << c.rc.top << "," << c.rc.right << "," << c.rc.bottom;
    }
    DWORD hit = 99;
    EXPECT_EQ(E_FAIL, view->QueryHitPoint(DVASPECT_ICON, &bounds, POINT{50, 50}, 0, &hit));
    EXPECT_EQ(E_FAIL, view->QueryHitRect(DVASPECT_DOCPRINT, &bounds, &bounds, 0, &hit));
    EXPECT_EQ(E_POINTER, view->QueryHitPoint(DVASPECT_CONTENT, &bounds, POINT{50, 50}, 0, nullptr));
    EXPECT_EQ(E_POINTER, view->QueryHitRect(DVASPECT_CONTENT, nullptr, &bounds, 0, &hit));

    DVEXTENTINFO extentInfo = {sizeof extentInfo, DVEXTENT_CONTENT, {0, 0}};
    SIZEL natural = {};
    EXPECT_EQ(S_OK, view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &extentInfo, &natural));
    EXPECT_EQ(5080, natural.cx);
    EXPECT_EQ(5080, natural.cy);
    EXPECT_EQ(E_POINTER, view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &natural));
    EXPECT_EQ(E_POINTER, view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &extentInfo, nullptr));
    extentInfo.dwExtentMode = DVEXTENT_INTEGRAL;
    EXPECT_EQ(E_FAIL, view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &extentInfo, &natural));
    extentInfo.dwExtentMode = DVEXTENT_CONTENT;
    EXPECT_EQ(E_FAIL, view->GetNaturalExtent(DVASPECT_ICON, -1, nullptr, nullptr, &extentInfo, &natural));

    CAUUID pages = {7, reinterpret_cast<GUID*>(1)};
    EXPECT_EQ(S_OK, As<ISpecifyPropertyPages>(checker.Get())->GetPages(&pages));
    EXPECT_EQ(0u, pages.cElems);
    EXPECT_EQ(nullptr, pages.pElems);

    ComPtr<IOleControl> control = As<IOleControl>(checker.Get());
    CONTROLINFO info = {};
    info.cb = sizeof info;
    EXPECT_EQ(E_NOTIMPL, control->GetControlInfo(&info));
    MSG msg = {};
    EXPECT_EQ(E_NOTIMPL, control->OnMnemonic(&msg));
    EXPECT_EQ(S_OK, control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE));
    EXPECT_EQ(S_OK, control->FreezeEvents(TRUE));
    EXPECT_EQ(S_OK, control->FreezeEvents(FALSE));

    GUID guid = IID_IChecker;
    EXPECT_EQ(E_FAIL, As<IProvideClassInfo2>(checker.Get())->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid));
    EXPECT_EQ(GUID_NULL, guid);

    // Not active in place: no window to tell of.
    HWND hwnd = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_FAIL, As<IOleWindow>(checker.Get())->GetWindow(&hwnd));
    EXPECT_EQ(nullptr, hwnd);
}

TEST_F(ControlObject, RegistryGivesMiscStatusUserTypeAndNoVerbs)
{
    ASSERT_EQ(S_OK, m_register());
    ComPtr<IUnknown> checker = NewChecker();
    ASSERT_TRUE(checker);
    ComPtr<IOleObject> object = As<IOleObject>(checker.Get());

    DWORD status = 0;
    EXPECT_EQ(S_OK, object->GetMiscStatus(DVASPECT_CONTENT, &status));
    EXPECT_EQ(131473u, status);
    LPOLESTR userType = nullptr;
    EXPECT_EQ(S_OK, object->GetUserType(USERCLASSTYPE_FULL, &userType));
    ASSERT_NE(nullptr, userType);
    EXPECT_EQ(std::wstring(L"Checker Class"), std::wstring(userType));
    ::CoTaskMemFree(userType);
    ComPtr<IEnumOLEVERB> verbs;
    EXPECT_TRUE(FAILED(object->EnumVerbs(&verbs))) << "no verbs are registered";

    // Quick activation gives the container the same status, and nothing for events.
    QACONTAINER container = {};
    container.cbSize = sizeof container;
    QACONTROL control = {};
    control.cbSize = sizeof control;
    control.dwEventCookie = 99;
    ComPtr<IQuickActivate> quick = As<IQuickActivate>(checker.Get());
    EXPECT_EQ(S_OK, quick->QuickActivate(&container, &control));
    EXPECT_EQ(sizeof control, control.cbSize);
    EXPECT_EQ(131473u, control.dwMiscStatus);
    EXPECT_EQ(3u, control.dwViewStatus);
    EXPECT_EQ(0u, control.dwEventCookie);
    control.cbSize = 8;
    EXPECT_EQ(E_INVALIDARG, quick->QuickActivate(&container, &control)) << "a structure too small for the answers";
    EXPECT_EQ(S_OK, m_unregister());
}

TEST_F(ControlObject, DataObjectRendersTheContentAndTellsItsSinks)
{
    ComPtr<IUnknown> checker = NewChecker();
    ASSERT_TRUE(checker);
    ComPtr<IDataObject> data = As<IDataObject>(checker.Get());

    FORMATETC enhanced = {CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF};
    FORMATETC picture = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
    FORMATETC text = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(S_OK, data->QueryGetData(&enhanced));
    EXPECT_EQ(S_OK, data->QueryGetData(&picture));
    EXPECT_EQ(DV_E_FORMATETC, data->QueryGetData(&text));
    STGMEDIUM medium = {};
    EXPECT_EQ(DV_E_FORMATETC, data->GetData(&text, &medium));

    ASSERT_EQ(S_OK, data->GetData(&picture, &medium));
    ASSERT_EQ(static_cast<DWORD>(TYMED_MFPICT), medium.tymed);
    {
        auto* pPict = static_cast<METAFILEPICT*>(::GlobalLock(medium.hMetaFilePict));
        ASSERT_NE(nullptr, pPict);
        EXPECT_EQ(MM_ANISOTROPIC, pPict->mm);
        EXPECT_EQ(5080, pPict->xExt);
        EXPECT_EQ(5080, pPict->yExt);
        EXPECT_NE(nullptr, pPict->hMF);
        ::GlobalUnlock(medium.hMetaFilePict);
    }
    ::ReleaseStgMedium(&medium);

    // The enhanced metafile played into a bitmap of its size shows the frame on the edges and
    // the caption inside.
    ASSERT_EQ(S_OK, data->GetData(&enhanced, &medium));
    ASSERT_EQ(static_cast<DWORD>(TYMED_ENHMF), medium.tymed);
    ENHMETAHEADER header = {};
    ASSERT_NE(0u, ::GetEnhMetaFileHeader(medium.hEnhMetaFile, sizeof header, &header));
    EXPECT_NEAR(5080, header.rclFrame.right - header.rclFrame.left, 60);
    {
        const int size = 200;
        Canvas played(size, size, kBlue);
        ASSERT_TRUE(played.Ok());
        const RECT target = {0, 0, 150, 150};
        EXPECT_TRUE(::PlayEnhMetaFile(played.Dc(), medium.hEnhMetaFile, &target));
        ::GdiFlush();
        EXPECT_EQ(kBlack, played.Pixel(0, 0));
        EXPECT_EQ(kBlack, played.Pixel(0, 75));
        EXPECT_EQ(kWhite, played.Pixel(5, 5));
        EXPECT_EQ(kBlue, played.Pixel(170, 170));
        int nInked = 0;
        for (int y = 40; y < 110; ++y)
            for (int x = 10; x < 140; ++x)
                if (played.Pixel(x, y) == kBlack) ++nInked;
        EXPECT_GT(nInked, 20) << "the caption";
    }
    ::ReleaseStgMedium(&medium);

    ComPtr<IEnumFORMATETC> formats;
    ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &formats));
    FORMATETC listed[4] = {};
    ULONG nListed = 0;
    formats->Next(4, listed, &nListed);
    EXPECT_EQ(2u, nListed);

    // A container that asked to hear of changes hears of a new size; the view sink too.
    CountingSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&enhanced, ADVF_NODATA, &sink, &cookie));
    ASSERT_EQ(S_OK, As<IViewObject>(checker.Get())->SetAdvise(DVASPECT_CONTENT, 0, &sink));
    SIZEL newSize = {3000, 3000};
    ASSERT_EQ(S_OK, As<IOleObject>(checker.Get())->SetExtent(DVASPECT_CONTENT, &newSize));
    EXPECT_EQ(1, sink.m_nDataChanges);
    EXPECT_EQ(1, sink.m_nViewChanges);
    ASSERT_EQ(S_OK, As<IOleObject>(checker.Get())->SetExtent(DVASPECT_CONTENT, &newSize));
    EXPECT_EQ(1, sink.m_nDataChanges) << "the same size again changes nothing";
    EXPECT_EQ(S_OK, data->DUnadvise(cookie));

    DWORD oleCookie = 0;
    ComPtr<IOleObject> object = As<IOleObject>(checker.Get());
    ASSERT_EQ(S_OK, object->Advise(&sink, &oleCookie));
    EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(1, sink.m_nCloses);
    EXPECT_EQ(S_OK, object->Unadvise(oleCookie));
    checker.Reset();
    data.Reset();
    object.Reset();
    EXPECT_EQ(1u, sink.m_cRef) << "the control let go of the sink";
}

TEST_F(ControlObject, WindowlessHostStillGetsAWindowedControl)
{
    UniqueWindow container(::CreateWindowExA(0, "STATIC", "container", WS_POPUP, 0, 0, 300, 200,
                                                           nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(container);
    HWND parent = container.Get();
    WindowlessSite site(parent);
    {
        ComPtr<IUnknown> checker = NewChecker();
        ComPtr<IUnknown> second = NewChecker();
        ASSERT_TRUE(checker && second);
        ComPtr<IOleObject> object = As<IOleObject>(checker.Get());
        ASSERT_EQ(S_OK, object->SetClientSite(&site));
        ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, parent, &WindowlessSite::kPos));
        EXPECT_EQ(1, site.m_nActivations);
        EXPECT_EQ(0u, site.m_dwActivateFlags) << "activated with a window, not ACTIVATE_WINDOWLESS";
        EXPECT_EQ(0, site.m_nUIActivations) << "in-place activation alone";

        HWND hwnd = nullptr;
        ASSERT_EQ(S_OK, As<IOleInPlaceObject>(checker.Get())->GetWindow(&hwnd));
        ASSERT_TRUE(::IsWindow(hwnd));
        EXPECT_EQ(parent, ::GetParent(hwnd));
        EXPECT_EQ(kControlStyle, static_cast<DWORD>(::GetWindowLongA(hwnd, GWL_STYLE)));
        EXPECT_EQ(0, ::GetWindowLongA(hwnd, GWL_EXSTYLE));
        EXPECT_EQ(0, ::GetDlgCtrlID(hwnd));
        EXPECT_EQ(0, ::GetWindowTextLengthA(hwnd));
        std::string className;
        ASSERT_TRUE(WindowClassName(hwnd, className));
        EXPECT_TRUE(IsGeneratedClassName(className)) << className;
        EXPECT_EQ(static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS), ::GetClassLongPtrA(hwnd, GCL_STYLE));
        EXPECT_EQ(static_cast<ULONG_PTR>(COLOR_WINDOW + 1), ::GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND));
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW))),
                  ::GetClassLongPtrA(hwnd, GCLP_HCURSOR));
        RECT rc = {};
        ::GetWindowRect(hwnd, &rc);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
        EXPECT_TRUE(::EqualRect(&rc, &WindowlessSite::kPos));

        // A reflected notification gets the default answer of the notification itself: for
        // WM_CTLCOLORSTATIC a brush, where the unknown message number would get 0.
        {
            HDC hdc = ::GetDC(hwnd);
            EXPECT_NE(0, ::SendMessageA(hwnd, 0x2000 + WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc),
                                        reinterpret_cast<LPARAM>(hwnd)));
            ::ReleaseDC(hwnd, hdc);
        }

        // A second control of the process uses the same class.
        ComPtr<IOleObject> secondObject = As<IOleObject>(second.Get());
        ASSERT_EQ(S_OK, secondObject->SetClientSite(&site));
        ASSERT_EQ(S_OK, secondObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, parent, nullptr));
        HWND secondHwnd = nullptr;
        ASSERT_EQ(S_OK, As<IOleWindow>(second.Get())->GetWindow(&secondHwnd));
        std::string secondClass;
        ASSERT_TRUE(WindowClassName(secondHwnd, secondClass));
        EXPECT_EQ(className, secondClass);
        EXPECT_NE(hwnd, secondHwnd);

        // UI activation goes through the site; deactivation takes the window away.
        ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, parent, nullptr));
        EXPECT_EQ(1, site.m_nUIActivations);
        EXPECT_EQ(S_OK, As<IOleInPlaceObject>(checker.Get())->InPlaceDeactivate());
        EXPECT_EQ(1, site.m_nUIDeactivations);
        EXPECT_EQ(1, site.m_nDeactivations);
        EXPECT_FALSE(::IsWindow(hwnd));

        EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
        EXPECT_EQ(S_OK, object->SetClientSite(nullptr));
        EXPECT_EQ(S_OK, secondObject->Close(OLECLOSE_NOSAVE));
        EXPECT_FALSE(::IsWindow(secondHwnd));
        EXPECT_EQ(S_OK, secondObject->SetClientSite(nullptr));
    }
    EXPECT_EQ(1u, site.m_cRef) << "the controls let go of the site";
}

namespace {

// Runs regsvr32 on the build's DLL to its end, bounded; its exit code, or ~0 when it did not end.
DWORD Regsvr32(const char* options)
{
    std::string commandLine = std::string("C:\\windows\\system32\\regsvr32.exe ") + options + " \"" + DllPath() + "\"";
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return ~0u;
    UniqueKernelHandle process(pi.hProcess);
    UniqueKernelHandle thread(pi.hThread);
    DWORD exitCode = ~0u;
    if (::WaitForSingleObject(process.Get(), testenv::ScaledMs(30000)) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.Get(), &exitCode);
    else
        ::TerminateProcess(process.Get(), exitCode);
    return exitCode;
}

void PumpMessages(DWORD waitMs)
{
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

struct ChildSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindControlWindow(HWND hwnd, LPARAM lParam)
{
    std::string name;
    if (WindowClassName(hwnd, name) && IsGeneratedClassName(name)) {
        reinterpret_cast<ChildSearch*>(lParam)->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Unregisters the class when the test ends, however it ends.
class Registered {
public:
    Registered() : m_ok(Regsvr32("/s") == 0) {}
    ~Registered() { Regsvr32("/u /s"); }
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;
    bool Ok() const { return m_ok; }

private:
    bool m_ok;
};

}  // namespace

TEST_F(ControlObject, AtlContainerActivatesItInPlaceAndShowsTheFramedCaption)
{
    Registered registered;
    ASSERT_TRUE(registered.Ok()) << "regsvr32 " << DllPath();
    UniqueLibrary atl(::LoadLibraryA("atl.dll"));
    ASSERT_TRUE(atl);
    using AtlAxWinInitFn = BOOL(WINAPI*)();
    auto atlAxWinInit = Export<AtlAxWinInitFn>(atl.Get(), "AtlAxWinInit");
    ASSERT_NE(nullptr, atlAxWinInit);
    ASSERT_TRUE(atlAxWinInit());

    UniqueWindow host(::CreateWindowExA(0, "AtlAxWin", "QxChecker.Checker",
                                                      WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320, 200, nullptr,
                                                      nullptr, nullptr, nullptr));
    ASSERT_TRUE(host);

    // The container creates and activates the control while it creates its window.
    ChildSearch search;
    const ULONGLONG deadline = ::GetTickCount64() + testenv::ScaledMs(10000);
    while (!search.found && ::GetTickCount64() < deadline) {
        ::EnumChildWindows(host.Get(), FindControlWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) PumpMessages(20);
    }
    HWND control = search.found;
    ASSERT_NE(nullptr, control) << "no control window under the container";
    EXPECT_EQ(host.Get(), ::GetParent(control));
    EXPECT_EQ(kControlStyle, static_cast<DWORD>(::GetWindowLongA(control, GWL_STYLE)));
    EXPECT_EQ(0, ::GetWindowLongA(control, GWL_EXSTYLE));
    EXPECT_EQ(0, ::GetDlgCtrlID(control));

    // What the window shows, once painted, is the frame over its client area with the caption in
    // the middle, as the platform's own calls draw it.
    RECT client = {};
    ::GetClientRect(control, &client);
    ASSERT_GT(client.right, 0);
    ASSERT_GT(client.bottom, 0);
    Canvas expected(client.right, client.bottom, kWhite);
    ASSERT_TRUE(expected.Ok());
    {
        Tools tools(expected.Dc(), kWhite);
        DrawReference(expected.Dc(), client, POINT{client.right / 2, client.bottom / 2});
    }
    int nDifferences = -1;
    const ULONGLONG paintDeadline = ::GetTickCount64() + testenv::ScaledMs(10000);
    while (nDifferences != 0 && ::GetTickCount64() < paintDeadline) {
        PumpMessages(20);
        if (::GetUpdateRect(control, nullptr, FALSE)) continue;
        Canvas shown(client.right, client.bottom, kBlue);
        HDC hdcWindow = ::GetDC(control);
        ::BitBlt(shown.Dc(), 0, 0, client.right, client.bottom, hdcWindow, 0, 0, SRCCOPY);
        ::ReleaseDC(control, hdcWindow);
        nDifferences = shown.CountDifferences(expected);
    }
    EXPECT_EQ(0, nDifferences) << "pixels that differ from the framed caption";

    // A picture for people; taken from another thread while this one keeps painting.
    std::atomic<bool> taken{false};
    std::string picture;
    {
        ui::Watcher watcher([&] {
            picture = ui::Screenshot(host.Get(), "control-in-atlaxwin");
            taken = true;
        });
        const ULONGLONG shotDeadline = ::GetTickCount64() + testenv::ScaledMs(15000);
        while (!taken && ::GetTickCount64() < shotDeadline) PumpMessages(20);
    }
    EXPECT_FALSE(picture.empty());

    host.Reset();
    EXPECT_FALSE(::IsWindow(control));
    PumpMessages(0);
}
