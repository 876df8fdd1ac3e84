// What a download learns from an HTTP response: whether its status carries the file and how long
// its body says it is. Free of windows.h, so that it builds natively and can be fed any bytes.
#pragma once

namespace http {

// Whether a response with this HTTP status carries the file: a success (2xx), or no status at
// all. An error page is not the file, nor is the page of a redirect that was not followed.
inline bool IsFileStatus(unsigned long status)
{
    return status == 0 || (status >= 200 && status < 300);
}

// What the body should amount to, from the raw CRLF-separated response headers; -1 when they do
// not say. A coded body arrives decoded, so its announced length says nothing about what is
// written.
long long ExpectedBodyLength(const wchar_t* pszHeaders);

}  // namespace http
