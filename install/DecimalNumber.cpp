#include "install/DecimalNumber.h"

#include <climits>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int ParseDecimalNumber(const char* pszText)
{
    if (!pszText) return 0;
    const char* p = pszText;
    while (IsBlank(*p)) ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-') bNegative = *p++ == '-';
    long long nValue = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        nValue = nValue * 10 + (*p - '0');
        if (nValue > static_cast<long long>(INT_MAX) + 1) break;  // far enough to know the end it goes to
    }
    if (bNegative) nValue = -nValue;
    if (nValue > INT_MAX) return INT_MAX;
    if (nValue < INT_MIN) return INT_MIN;
    return static_cast<int>(nValue);
}
