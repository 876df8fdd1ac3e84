// The loopback HTTP test server (tests/support/http_server.py) as a Windows test program sees it.
// Faults are asked for in the query string of each request, e.g. Url(PutFile("a.qxl", data) +
// "?cut=10"): status=CODE, redirect=/path, cut=N, stall=S[&stall_after=N], trickle=N&delay=MS,
// chunked=1.
#pragma once

#include <string>
#include <vector>

namespace testserver {

// "http://127.0.0.1:PORT", without a trailing slash.
std::string BaseUrl();
// BaseUrl() followed by `pathAndQuery`, which starts with '/'.
std::string Url(const std::string& pathAndQuery);
// A URL on a loopback port where every connection is refused.
std::string RefusedUrl(const std::string& path);

// Puts a file where the server serves it; `name` may name subfolders with '/'. Returns the URL
// path ("/" + name), or an empty string when the file could not be written.
std::string PutFile(const std::string& name, const std::string& bytes);

// One finished request, as the server logged it.
struct LogEntry {
    std::string path;   // URL-decoded, without the query
    std::string query;  // as sent, without the '?'
    std::string method;
    int status = 0;
    long long bytesSent = 0;    // body bytes that went out
    bool complete = false;      // the whole body went out
    bool clientClosed = false;  // the client closed or reset the connection before the end
};

// Every request logged so far, oldest first.
std::vector<LogEntry> ReadLog();

// Waits up to `timeoutMs` for a logged request to `path` and gives the latest such entry.
// When `path` has a query ("/a.qxl?cut=10"), the query must match too.
bool WaitForLogEntry(const std::string& path, int timeoutMs, LogEntry* out = nullptr);

}  // namespace testserver
