// libFuzzer target for the decimal number reader, held against a plain reading of its rule:
// blanks (" \t\n\v\f\r"), an optional sign, digits up to the first other byte, 0 without digits,
// and a number beyond the 32-bit range held at the nearest end. Built and run by tests/fuzz/run.sh.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "install/DecimalNumber.h"

namespace {

int ReferenceNumber(const char* p)
{
    while (*p != '\0' && std::strchr(" \t\n\v\f\r", *p) != nullptr) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Any magnitude past 2^31 clamps the same way, so the digits saturate well above it.
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > 10000000000LL) magnitude = 10000000000LL;
    }
    const long long value = negative ? -magnitude : magnitude;
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The reader sees a C string: the text ends at the first NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int number = ParseDecimalNumber(text.c_str());
    const int expected = ReferenceNumber(text.c_str());
    if (number != expected) {
        std::fprintf(stderr, "ParseDecimalNumber gave %d, the rule says %d\n", number, expected);
        std::abort();
    }
    return 0;
}
