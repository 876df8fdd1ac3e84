#include "launch/WorldName.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

// Room to read a name well past its cut, so that a control byte beyond the first 255 bytes and
// the character at the cut are both seen; a longer name is judged on what fits.
constexpr DWORD kReadRoom = 4096;

// The longest start of `pszName` of at most nMax bytes that ends on a whole character, walked
// from the start: only from there is it known which byte leads a double-byte character.
size_t WholeCharacterCut(const char* pszName, size_t nLength, size_t nMax)
{
    const size_t nLimit = std::min(nLength, nMax);
    size_t nEnd = 0;
    while (nEnd < nLimit) {
        const size_t nStep = ::IsDBCSLeadByte(static_cast<BYTE>(pszName[nEnd])) ? 2 : 1;
        if (nEnd + nStep > nLimit) break;
        nEnd += nStep;
    }
    return nEnd;
}

}  // namespace

bool ReadWorldName(const char* pszWorldFile, CString& strName)
{
    std::vector<char> buffer(kReadRoom, '\0');
    const DWORD nLength =
        ::GetPrivateProfileStringA("Program", "world", "default", buffer.data(), kReadRoom, pszWorldFile);
    const char* pszName = buffer.data();
    if (std::any_of(pszName, pszName + nLength, [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return false;
    strName = CString(pszName, WholeCharacterCut(pszName, nLength, kMaxWorldNameBytes));
    return true;
}
