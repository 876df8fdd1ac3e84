// The module's state, one per process: the class table, the lock count that keeps the DLL
// loaded, the three locks that calls from several threads need, and the clean-up list run when
// the module ends.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <vector>

// One creatable class of the module.
struct ClassRow {
    const CLSID* pclsid;
    HRESULT (*updateRegistry)(BOOL bRegister);
    HRESULT (*createFactory)(HRESULT (*createInstance)(IUnknown*, REFIID, void**), REFIID riid, void** ppv);
    HRESULT (*createInstance)(IUnknown* pOuter, REFIID riid, void** ppv);
    IUnknown* pFactory;  // made on the first request, kept until the module ends
    DWORD dwRegister;    // unused by an in-process server
    const char* (*description)();
    void (*objectMain)(bool bStarting);
};

// A critical section that lives exactly as long as its owner.
class CCriticalSection {
public:
    CCriticalSection() { ::InitializeCriticalSection(&m_cs); }
    ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    void Lock() { ::EnterCriticalSection(&m_cs); }
    void Unlock() { ::LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CCriticalSection& cs) : m_cs(cs) { m_cs.Lock(); }
    ~CCriticalSectionLock() { m_cs.Unlock(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CCriticalSection& m_cs;
};

class CModuleState {
public:
    // Set up when the DLL is attached; every row's start hook runs.
    void Init(ClassRow* pClassTable, HINSTANCE hInstance, const GUID* plibid);
    // Ended when the DLL is detached: cached factories released, stop hooks, clean-up list (last
    // added first).
    void Term();

    LONG Lock() { return ::InterlockedIncrement(&m_nLockCount); }
    LONG Unlock() { return ::InterlockedDecrement(&m_nLockCount); }
    LONG GetLockCount() const { return m_nLockCount; }

    HINSTANCE GetInstance() const { return m_hInstance; }
    const GUID& GetLibid() const { return *m_plibid; }
    ClassRow* GetClassTable() const { return m_pClassTable; }

    void AddTermFunc(void (*pfn)(DWORD_PTR), DWORD_PTR dw);

    CCriticalSection m_csTypeInfo;
    CCriticalSection m_csWindowCreate;
    CCriticalSection m_csClassTable;

private:
    struct TermFunc {
        void (*pfn)(DWORD_PTR);
        DWORD_PTR dw;
    };

    ClassRow* m_pClassTable = nullptr;
    HINSTANCE m_hInstance = nullptr;
    const GUID* m_plibid = &GUID_NULL;
    volatile LONG m_nLockCount = 0;
    std::vector<TermFunc> m_termFuncs;
};

// The module of this DLL (or of the test program that links the system in).
CModuleState& Module();
