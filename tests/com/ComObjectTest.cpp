// The COM module and the Checker object through the DLL's own exports, in-process: class
// objects, the unload accounting, creation and aggregation, QueryInterface, IObjectSafety,
// IProvideClassInfo2 and IDispatch through the registered type library.
#include <gtest/gtest.h>

#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "TestEnv.h"
#include "ProductDll.h"
#include "TestServer.h"
#include "framework/Handles.h"
#include "qxChecker.h"

using Microsoft::WRL::ComPtr;

namespace {

const IID kIID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

using namespace productdll;

class ComModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, ::OleInitialize(nullptr));
        m_dll.Reset(::LoadLibraryA(Path().c_str()));
        ASSERT_TRUE(m_dll) << Path();
        m_canUnload = Export<CanUnloadFn>(m_dll.Get(), "DllCanUnloadNow");
        m_getClassObject = Export<GetClassObjectFn>(m_dll.Get(), "DllGetClassObject");
        m_register = Export<RegisterFn>(m_dll.Get(), "DllRegisterServer");
        m_unregister = Export<RegisterFn>(m_dll.Get(), "DllUnregisterServer");
        ASSERT_TRUE(m_canUnload && m_getClassObject && m_register && m_unregister);
    }
    void TearDown() override
    {
        ::CoFreeUnusedLibraries();
        ::OleUninitialize();
    }

    ComPtr<IClassFactory> Factory()
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, m_getClassObject(CLSID_Checker, IID_IClassFactory,
                                         reinterpret_cast<void**>(factory.GetAddressOf())));
        return factory;
    }

    ComPtr<IChecker> NewChecker()
    {
        ComPtr<IChecker> checker;
        EXPECT_EQ(S_OK, Factory()->CreateInstance(nullptr, IID_IChecker, reinterpret_cast<void**>(checker.GetAddressOf())));
        return checker;
    }

    UniqueLibrary m_dll;
    CanUnloadFn m_canUnload = nullptr;
    GetClassObjectFn m_getClassObject = nullptr;
    RegisterFn m_register = nullptr;
    RegisterFn m_unregister = nullptr;
};

// An outer object that aggregates a Checker: it hands out the inner object's interfaces and
// keeps the identity and the reference count of the aggregate.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_inner ? m_inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }

    ULONG m_cRef = 1;
    ComPtr<IUnknown> m_inner;
};

}  // namespace

TEST_F(ComModule, ClassObjectsAreHandedOutOnlyForTheCheckerClass)
{
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_getClassObject(IID_IChecker, IID_IClassFactory, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_POINTER, m_getClassObject(CLSID_Checker, IID_IClassFactory, nullptr));
    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, m_getClassObject(CLSID_Checker, IID_IDispatch, &pv));
    EXPECT_EQ(nullptr, pv);

    // One factory, made once and kept by the module.
    ComPtr<IClassFactory> first = Factory();
    ComPtr<IUnknown> second;
    ASSERT_EQ(S_OK, m_getClassObject(CLSID_Checker, IID_IUnknown, reinterpret_cast<void**>(second.GetAddressOf())));
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), second.Get());
}

TEST_F(ComModule, UnloadWaitsForFactoriesLocksAndObjects)
{
    EXPECT_EQ(S_OK, m_canUnload()) << "the cached factory alone must not hold the module";
    {
        ComPtr<IClassFactory> factory = Factory();
        EXPECT_EQ(S_FALSE, m_canUnload());
    }
    EXPECT_EQ(S_OK, m_canUnload());

    ComPtr<IClassFactory> factory = Factory();
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, m_canUnload());
    ASSERT_EQ(S_OK, Factory()->LockServer(FALSE));
    EXPECT_EQ(S_OK, m_canUnload());

    ComPtr<IChecker> checker = NewChecker();
    EXPECT_EQ(S_FALSE, m_canUnload());
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, checker.As(&dispatch));
    checker.Reset();
    EXPECT_EQ(S_FALSE, m_canUnload()) << "one reference is still out";
    dispatch.Reset();
    EXPECT_EQ(S_OK, m_canUnload());
}

TEST_F(ComModule, CreateInstanceChecksItsArguments)
{
    ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IChecker, nullptr));

    Outer outer;
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IChecker, &pv));
    EXPECT_EQ(nullptr, pv);

    // An interface the object lacks: the new object is destroyed again.
    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IPersistPropertyBag, &pv));
    EXPECT_EQ(nullptr, pv);
    factory.Reset();
    EXPECT_EQ(S_OK, m_canUnload());
}

TEST_F(ComModule, QueryInterfaceAnswersItsInterfacesWithOneIdentity)
{
    ComPtr<IChecker> checker = NewChecker();
    ComPtr<IUnknown> unknown;
    ComPtr<IDispatch> dispatch;
    ComPtr<IProvideClassInfo> classInfo;
    ComPtr<IProvideClassInfo2> classInfo2;
    ComPtr<IUnknown> safety;
    ASSERT_EQ(S_OK, checker.As(&unknown));
    ASSERT_EQ(S_OK, checker.As(&dispatch));
    ASSERT_EQ(S_OK, checker.As(&classInfo));
    ASSERT_EQ(S_OK, checker.As(&classInfo2));
    ASSERT_EQ(S_OK, checker->QueryInterface(kIID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())));

    EXPECT_EQ(static_cast<IUnknown*>(checker.Get()), unknown.Get()) << "the identity is the IChecker pointer";
    EXPECT_EQ(static_cast<IDispatch*>(checker.Get()), dispatch.Get());
    EXPECT_EQ(static_cast<IUnknown*>(classInfo.Get()), static_cast<IUnknown*>(classInfo2.Get()));
    ComPtr<IUnknown> again;
    ASSERT_EQ(S_OK, classInfo.As(&again));
    EXPECT_EQ(unknown.Get(), again.Get());

    const IID* notAnswered[] = {&IID_IPersistPropertyBag, &IID_ISupportErrorInfo, &IID_IConnectionPointContainer,
                                &IID_IProvideMultipleClassInfo, &IID_IClassFactory};
    for (const IID* iid : notAnswered) {
        void* pv = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, checker->QueryInterface(*iid, &pv));
        EXPECT_EQ(nullptr, pv);
    }
}

TEST_F(ComModule, AggregatedCheckerDelegatesToItsOuterObject)
{
    Outer outer;
    ASSERT_EQ(S_OK, Factory()->CreateInstance(&outer, IID_IUnknown,
                                              reinterpret_cast<void**>(outer.m_inner.GetAddressOf())));
    EXPECT_EQ(1u, outer.m_cRef) << "creating the inner object must not hold the outer one";

    ComPtr<IChecker> checker;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IChecker, reinterpret_cast<void**>(checker.GetAddressOf())));
    EXPECT_EQ(2u, outer.m_cRef) << "the inner object's interfaces count on the outer object";
    EXPECT_NE(static_cast<IUnknown*>(checker.Get()), outer.m_inner.Get());

    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, checker.As(&identity));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get()) << "IUnknown through the inner object is the outer";
    identity.Reset();

    checker.Reset();
    EXPECT_EQ(1u, outer.m_cRef);
    EXPECT_EQ(S_FALSE, m_canUnload());
    outer.m_inner.Reset();
    EXPECT_EQ(S_OK, m_canUnload()) << "releasing the inner IUnknown destroys the object";
}

TEST_F(ComModule, ObjectSafetyKeepsOneSetOfOptions)
{
    ComPtr<IChecker> checker = NewChecker();
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(S_OK, checker->QueryInterface(kIID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())));

    DWORD supported = 99, enabled = 99;
    EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled));
    EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr));
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
    EXPECT_EQ(3u, supported);
    EXPECT_EQ(0u, enabled);

    EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4));
    EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 7, 3)) << "one bad bit refuses the whole call";
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
    EXPECT_EQ(0u, enabled);

    EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3));
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IChecker, &supported, &enabled));
    EXPECT_EQ(3u, supported);
    EXPECT_EQ(3u, enabled) << "the options belong to the object, not to one interface";

    EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IChecker, 1, 0));
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
    EXPECT_EQ(2u, enabled);

    supported = enabled = 99;
    EXPECT_EQ(E_NOINTERFACE, safety->GetInterfaceSafetyOptions(IID_IPersistPropertyBag, &supported, &enabled));
    EXPECT_EQ(0u, supported);
    EXPECT_EQ(0u, enabled);
    EXPECT_EQ(E_NOINTERFACE, safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, 1, 1));
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
    EXPECT_EQ(2u, enabled);
}

TEST_F(ComModule, ClassInfoHasNoOutgoingInterface)
{
    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(S_OK, NewChecker().As(&classInfo));
    EXPECT_EQ(E_POINTER, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr));
    for (DWORD kind : {static_cast<DWORD>(GUIDKIND_DEFAULT_SOURCE_DISP_IID), DWORD{0}, DWORD{7}}) {
        GUID guid = IID_IChecker;
        EXPECT_EQ(E_FAIL, classInfo->GetGUID(kind, &guid)) << kind;
        EXPECT_EQ(GUID_NULL, guid) << kind;
    }
    EXPECT_EQ(E_POINTER, classInfo->GetClassInfo(nullptr));
}

TEST_F(ComModule, CheckNeedsAPlaceForItsResult)
{
    ComPtr<IChecker> checker = NewChecker();
    BSTR url = ::SysAllocString(L"");
    EXPECT_EQ(E_POINTER, checker->Check(url, nullptr));
    ::SysFreeString(url);
}

// In its own test program: once type information is loaded, the module keeps it.
TEST_F(ComModule, DispatchFailsWithoutTheTypeLibraryRegistration)
{
    m_unregister();
    ComPtr<IChecker> checker = NewChecker();
    LPOLESTR name = const_cast<LPOLESTR>(L"Launch");
    DISPID dispid = 0;
    EXPECT_TRUE(FAILED(checker->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispid)));
    ComPtr<ITypeInfo> typeInfo;
    EXPECT_TRUE(FAILED(checker->GetTypeInfo(0, LOCALE_USER_DEFAULT, &typeInfo)));
}

TEST_F(ComModule, DispatchWorksThroughTheRegisteredTypeLibrary)
{
    ASSERT_EQ(S_OK, m_register());
    ComPtr<IChecker> checker = NewChecker();

    UINT count = 0;
    EXPECT_EQ(S_OK, checker->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ComPtr<ITypeInfo> typeInfo;
    ASSERT_EQ(S_OK, checker->GetTypeInfo(0, LOCALE_USER_DEFAULT, &typeInfo));
    EXPECT_EQ(DISP_E_BADINDEX, checker->GetTypeInfo(1, LOCALE_USER_DEFAULT, &typeInfo));

    struct NameCase {
        const wchar_t* name;
        DISPID dispid;
    };
    for (const NameCase& c : {NameCase{L"Check", 1}, NameCase{L"Launch", 2}, NameCase{L"check", 1}}) {
        LPOLESTR name = const_cast<LPOLESTR>(c.name);
        DISPID dispid = 0;
        EXPECT_EQ(S_OK, checker->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispid));
        EXPECT_EQ(c.dispid, dispid);
    }
    LPOLESTR unknownName = const_cast<LPOLESTR>(L"Install");
    DISPID dispid = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, checker->GetIDsOfNames(IID_NULL, &unknownName, 1, LOCALE_USER_DEFAULT, &dispid));

    // Check as a script calls it: the result comes back as the call's value, a 32-bit number;
    // here 1, for a description that finds the loader in place (and so shows nothing).
    ASSERT_TRUE(testenv::MakeDirs("C:\\Program Files\\Activeworlds"));
    ASSERT_TRUE(testenv::WriteFileBytes("C:\\Program Files\\Activeworlds\\qxLoader.exe", "MZ"));
    const std::string url = testserver::Url(testserver::PutFile("com/current.ini", "[Program]\r\n"));
    VARIANT arg;
    ::VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = ::SysAllocString(std::wstring(url.begin(), url.end()).c_str());
    DISPPARAMS params{&arg, nullptr, 1, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(S_OK, checker->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                                    &result, nullptr, nullptr));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(1, result.lVal);
    ::VariantClear(&arg);

    ComPtr<IProvideClassInfo> classInfo;
    ASSERT_EQ(S_OK, checker.As(&classInfo));
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, classInfo->GetClassInfo(&coclass));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_EQ(CLSID_Checker, attr->guid);
    coclass->ReleaseTypeAttr(attr);
}
