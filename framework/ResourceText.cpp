#include "framework/ResourceText.h"

#include <cstring>

bool ReadResourceText(HINSTANCE hModule, int nId, DWORD cbMax, std::string& text)
{
    text.clear();
    HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA(nId), MAKEINTRESOURCEA(10) /*RT_RCDATA*/);
    HGLOBAL hData = hResource ? ::LoadResource(hModule, hResource) : nullptr;
    const DWORD cbData = hResource ? ::SizeofResource(hModule, hResource) : 0;
    const char* pData = hData ? static_cast<const char*>(::LockResource(hData)) : nullptr;
    if (!pData || cbData > cbMax) return false;
    text.assign(pData, ::strnlen(pData, cbData));
    return true;
}
