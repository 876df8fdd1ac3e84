#include "com/ModuleState.h"

void CModuleState::Init(ClassRow* pClassTable, HINSTANCE hInstance, const GUID* plibid)
{
    m_pClassTable = pClassTable;
    m_hInstance = hInstance;
    m_nLockCount = 0;
    m_termFuncs.clear();
    for (ClassRow* pRow = m_pClassTable; pRow && pRow->pclsid; ++pRow)
        if (pRow->objectMain) pRow->objectMain(true);
    m_plibid = plibid;
}

void CModuleState::Term()
{
    for (ClassRow* pRow = m_pClassTable; pRow && pRow->pclsid; ++pRow) {
        if (pRow->pFactory) {
            pRow->pFactory->Release();
            pRow->pFactory = nullptr;
        }
        if (pRow->objectMain) pRow->objectMain(false);
    }
    while (!m_termFuncs.empty()) {
        const TermFunc func = m_termFuncs.back();
        m_termFuncs.pop_back();
        func.pfn(func.dw);
    }
}

void CModuleState::AddTermFunc(void (*pfn)(DWORD_PTR), DWORD_PTR dw)
{
    CCriticalSectionLock lock(m_csClassTable);
    m_termFuncs.push_back(TermFunc{pfn, dw});
}

CModuleState& Module()
{
    static CModuleState module;
    return module;
}
