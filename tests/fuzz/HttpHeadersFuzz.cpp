// libFuzzer target for the length a download expects from the raw response headers. The headers
// come from any server, so the rule is held against a plain reading of it: the first
// "Content-Length" line (name case-insensitive, blanks after the colon), digits only, at most 18
// of them; -1 when there is none, or when the first "Content-Encoding" is anything but "identity".
// Built and run by tests/fuzz/run.sh.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/HttpHeaders.h"

namespace {

// The platform hands the headers over as UTF-16 text ending at a zero. Bytes stand for Latin-1
// characters, so that ASCII header lines are found by the fuzzer as they are; a 0xFF byte takes
// the next two bytes as one code unit, so that any wide character can occur too (full-width
// digits, letters whose Unicode lower case is an ASCII one).
std::wstring HeadersFromBytes(const uint8_t* data, size_t size)
{
    std::wstring text;
    for (size_t i = 0; i < size; ++i) {
        unsigned unit = data[i];
        if (unit == 0xFF && i + 2 < size) {
            unit = (static_cast<unsigned>(data[i + 1]) << 8) | data[i + 2];
            i += 2;
        }
        if (unit == 0) break;
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

wchar_t Lower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

bool SameAsciiNoCase(const std::wstring& a, const wchar_t* b)
{
    const std::wstring other(b);
    if (a.size() != other.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(other[i])) return false;
    return true;
}

std::vector<std::wstring> Lines(const std::wstring& headers)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = headers.find(L"\r\n", start);
        lines.push_back(headers.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 2;
    }
}

// The value of the first line named `name`, blanks after the colon skipped; false when none is.
bool FirstValue(const std::vector<std::wstring>& lines, const wchar_t* name, std::wstring& value)
{
    for (const std::wstring& line : lines) {
        const size_t colon = line.find(L':');
        if (colon == std::wstring::npos || !SameAsciiNoCase(line.substr(0, colon), name)) continue;
        size_t at = colon + 1;
        while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
        value = line.substr(at);
        return true;
    }
    return false;
}

long long ReferenceLength(const std::wstring& headers)
{
    const std::vector<std::wstring> lines = Lines(headers);
    std::wstring value;
    if (FirstValue(lines, L"Content-Encoding", value) && !SameAsciiNoCase(value, L"identity")) return -1;
    if (!FirstValue(lines, L"Content-Length", value) || value.empty() || value.size() > 18) return -1;
    long long length = 0;
    for (wchar_t c : value) {
        if (c < L'0' || c > L'9') return -1;
        length = length * 10 + (c - L'0');
    }
    return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring headers = HeadersFromBytes(data, size);
    const long long length = http::ExpectedBodyLength(headers.c_str());
    const long long expected = ReferenceLength(headers);
    if (length != expected) {
        std::fprintf(stderr, "ExpectedBodyLength gave %lld, the rule says %lld\n", length, expected);
        std::abort();
    }
    // A length is a figure the headers really hold.
    if (length >= 0 && headers.find(std::to_wstring(length)) == std::wstring::npos) {
        std::fprintf(stderr, "ExpectedBodyLength gave %lld, which the headers do not hold\n", length);
        std::abort();
    }
    return 0;
}
