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

std::vector<std::string> SettingLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        line.erase(0, line.find_first_not_of(" \t\r"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (!line.empty() && line[0] != ';') lines.push_back(line);
    }
    return lines;
}
