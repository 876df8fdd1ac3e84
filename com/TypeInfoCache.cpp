#include "com/TypeInfoCache.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <vector>

#include "com/ModuleState.h"

using Microsoft::WRL::ComPtr;

namespace {

struct CachedTypeInfo {
    GUID guid;
    ComPtr<ITypeInfo> typeInfo;
};

// Guarded by the module's type-information lock.
std::vector<CachedTypeInfo>& Cache()
{
    static std::vector<CachedTypeInfo> cache;
    return cache;
}

void ReleaseCache(DWORD_PTR)
{
    Cache().clear();
}

}  // namespace

HRESULT GetRegisteredTypeInfo(REFGUID guid, LCID lcid, ITypeInfo** ppTypeInfo)
{
    if (!ppTypeInfo) return E_POINTER;
    *ppTypeInfo = nullptr;

    CModuleState& module = Module();
    CCriticalSectionLock lock(module.m_csTypeInfo);
    std::vector<CachedTypeInfo>& cache = Cache();
    for (const CachedTypeInfo& entry : cache) {
        if (entry.guid == guid) return entry.typeInfo.CopyTo(ppTypeInfo);
    }

    ComPtr<ITypeLib> typeLib;
    HRESULT hr = ::LoadRegTypeLib(module.GetLibid(), 1, 0, lcid, &typeLib);
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo> typeInfo;
    hr = typeLib->GetTypeInfoOfGuid(guid, &typeInfo);
    if (FAILED(hr)) return hr;

    if (cache.empty()) module.AddTermFunc(ReleaseCache, 0);
    cache.push_back(CachedTypeInfo{guid, typeInfo});
    return typeInfo.CopyTo(ppTypeInfo);
}
