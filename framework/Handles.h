// Owners for the platform's handles: each closes its handle exactly once, on every path.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept : m_h(Traits::Invalid()) {}
    explicit UniqueHandle(Type h) noexcept : m_h(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    Type Get() const noexcept { return m_h; }
    bool IsValid() const noexcept { return m_h != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    Type Release() noexcept { return std::exchange(m_h, Traits::Invalid()); }
    void Reset(Type h = Traits::Invalid()) noexcept {
        if (IsValid()) Traits::Close(m_h);
        m_h = h;
    }
    // For out-parameters of creating calls: the old handle is closed first.
    Type* Put() noexcept {
        Reset();
        return &m_h;
    }

private:
    Type m_h;
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

// Events, processes and threads use a null handle for "none", unlike files.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};

struct DcTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteDC(h); }
};

struct MetaFileTraits {
    using Type = HMETAFILE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteMetaFile(h); }
};

struct EnhMetaFileTraits {
    using Type = HENHMETAFILE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteEnhMetaFile(h); }
};

struct GlobalTraits {
    using Type = HGLOBAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::GlobalFree(h); }
};

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyWindow(h); }
};

// The screen's context: given back with ReleaseDC, never deleted.
class CScreenDc {
public:
    CScreenDc() : m_hdc(::GetDC(nullptr)) {}
    ~CScreenDc()
    {
        if (m_hdc) ::ReleaseDC(nullptr, m_hdc);
    }
    CScreenDc(const CScreenDc&) = delete;
    CScreenDc& operator=(const CScreenDc&) = delete;
    HDC Get() const { return m_hdc; }

private:
    HDC m_hdc;
};

using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueDc = UniqueHandle<DcTraits>;
using UniqueMetaFile = UniqueHandle<MetaFileTraits>;
using UniqueEnhMetaFile = UniqueHandle<EnhMetaFileTraits>;
using UniqueGlobal = UniqueHandle<GlobalTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
