#include "com/Registrar.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "framework/Handles.h"
#include "framework/ModulePath.h"
#include "framework/Trace.h"
#include "com/ModuleState.h"

using Microsoft::WRL::ComPtr;

// The platform's registrar (atl.dll), which runs registry scripts; mingw has no header for it.
// Declared with external linkage on purpose: in an anonymous namespace the compiler knows no
// class implements it and drops every call through it.
struct IRegistrar : public IUnknown {
    // IRegistrarBase
    virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
    // IRegistrar
    virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR resFileName, LPCOLESTR szID,
                                                           LPCOLESTR szType) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType) = 0;
};

namespace {

const CLSID CLSID_Registrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID IID_IRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

std::wstring ModuleFileName()
{
    return ModulePathW(Module().GetInstance());
}

// The module's path as the registry records it: the loader's full name in its short (8.3) form,
// so that a path with spaces needs no quoting where it is used as a command. Empty when it does
// not fit the platform's path limit: a class registered with a cut path would load nothing.
std::wstring ModulePathForRegistry()
{
    const std::wstring longPath = ModuleFileName();
    if (longPath.empty()) return std::wstring();
    wchar_t szShort[MAX_PATH] = {};
    const DWORD nShort = ::GetShortPathNameW(longPath.c_str(), szShort, MAX_PATH);
    if (nShort > 0 && nShort < MAX_PATH) return std::wstring(szShort, nShort);
    return longPath.size() < MAX_PATH ? longPath : std::wstring();
}

// Registry script strings are single-quoted: a quote inside one is written twice.
std::wstring EscapeSingleQuotes(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t ch : text) {
        escaped += ch;
        if (ch == L'\'') escaped += L'\'';
    }
    return escaped;
}

// The type library from the module itself, else from the .tlb of the same name beside it.
HRESULT LoadModuleTypeLib(ComPtr<ITypeLib>& typeLib, std::wstring& path)
{
    path = ModuleFileName();
    HRESULT hr = ::LoadTypeLib(path.c_str(), &typeLib);
    if (SUCCEEDED(hr)) return hr;
    const size_t dot = path.rfind(L'.');
    const size_t slash = path.find_last_of(L"\\/:");
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.erase(dot);
    path += L".tlb";
    return ::LoadTypeLib(path.c_str(), &typeLib);
}

}  // namespace

HRESULT RunRegistryScript(UINT nResourceId, BOOL bRegister)
{
    const std::wstring modulePath = ModulePathForRegistry();
    if (bRegister && modulePath.empty()) {
        Trace("registration: the module's path does not fit %d characters; nothing is registered", MAX_PATH - 1);
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    }
    ComPtr<IRegistrar> registrar;
    HRESULT hr = ::CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                    reinterpret_cast<void**>(registrar.GetAddressOf()));
    if (FAILED(hr)) return hr;
    hr = registrar->AddReplacement(L"MODULE", EscapeSingleQuotes(modulePath).c_str());
    if (FAILED(hr)) return hr;
    const std::wstring resourceFile = ModuleFileName();
    return bRegister ? registrar->ResourceRegister(resourceFile.c_str(), nResourceId, L"REGISTRY")
                     : registrar->ResourceUnregister(resourceFile.c_str(), nResourceId, L"REGISTRY");
}

HRESULT RegisterTypeLibrary()
{
    ComPtr<ITypeLib> typeLib;
    std::wstring path;
    const HRESULT hr = LoadModuleTypeLib(typeLib, path);
    if (FAILED(hr)) return hr;
    std::wstring helpDir = path;
    const size_t end = helpDir.find_last_of(L"\\/:");
    helpDir.erase(end == std::wstring::npos ? 0 : end + 1);
    return ::RegisterTypeLib(typeLib.Get(), &path[0], &helpDir[0]);
}

void UnregisterTypeLibrary()
{
    ComPtr<ITypeLib> typeLib;
    std::wstring path;
    if (FAILED(LoadModuleTypeLib(typeLib, path))) return;
    TLIBATTR* pAttr = nullptr;
    if (FAILED(typeLib->GetLibAttr(&pAttr))) return;
    const TLIBATTR attr = *pAttr;
    typeLib->ReleaseTLibAttr(pAttr);

    // Looked up at run time, as systems without it exist.
    using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    UniqueLibrary oleaut(::LoadLibraryA("oleaut32.dll"));
    if (!oleaut) return;
    auto pfnUnregister = reinterpret_cast<UnRegisterTypeLibFn>(
        reinterpret_cast<void*>(::GetProcAddress(oleaut.Get(), "UnRegisterTypeLib")));
    if (pfnUnregister) pfnUnregister(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
}
