#include "TestServer.h"

#include <windows.h>

#include "TestEnv.h"

namespace testserver {

namespace {

std::string ReadPort(const char* fileName)
{
    const std::string text = testenv::ReadFileBytes(testenv::StatePath(fileName));
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

void AppendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Reads the flat objects the server writes: string, integer and boolean values only.
class LineParser {
public:
    explicit LineParser(const std::string& line) : m_s(line) {}

    bool Parse(LogEntry& entry)
    {
        if (!Take('{')) return false;
        if (Take('}')) return true;
        do {
            std::string key;
            if (!String(key) || !Take(':')) return false;
            if (key == "path" || key == "query" || key == "method") {
                std::string& target = key == "path" ? entry.path : key == "query" ? entry.query : entry.method;
                if (!String(target)) return false;
            } else if (key == "status" || key == "bytes_sent") {
                long long value = 0;
                if (!Integer(value)) return false;
                if (key == "status") entry.status = static_cast<int>(value);
                else entry.bytesSent = value;
            } else if (key == "complete" || key == "client_closed") {
                bool value = false;
                if (!Boolean(value)) return false;
                (key == "complete" ? entry.complete : entry.clientClosed) = value;
            } else if (!Skip()) {
                return false;
            }
        } while (Take(','));
        return Take('}');
    }

private:
    void Space()
    {
        while (m_pos < m_s.size() && (m_s[m_pos] == ' ' || m_s[m_pos] == '\t' || m_s[m_pos] == '\r'))
            ++m_pos;
    }

    bool Take(char c)
    {
        Space();
        if (m_pos < m_s.size() && m_s[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool Word(const char* word)
    {
        Space();
        const std::string w(word);
        if (m_s.compare(m_pos, w.size(), w) != 0) return false;
        m_pos += w.size();
        return true;
    }

    bool Hex4(unsigned long& value)
    {
        if (m_pos + 4 > m_s.size()) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_s[m_pos++];
            value <<= 4;
            if (c >= '0' && c <= '9') value |= c - '0';
            else if (c >= 'a' && c <= 'f') value |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') value |= c - 'A' + 10;
            else return false;
        }
        return true;
    }

    bool String(std::string& out)
    {
        out.clear();
        if (!Take('"')) return false;
        while (m_pos < m_s.size()) {
            const char c = m_s[m_pos++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_s.size()) return false;
            const char e = m_s[m_pos++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                unsigned long cp = 0;
                if (!Hex4(cp)) return false;
                // Characters beyond the BMP arrive as a surrogate pair.
                if (cp >= 0xD800 && cp < 0xDC00 && m_s.compare(m_pos, 2, "\\u") == 0) {
                    m_pos += 2;
                    unsigned long low = 0;
                    if (!Hex4(low)) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(out, cp);
                break;
            }
            default: out += e; break;  // \" \\ \/
            }
        }
        return false;
    }

    bool Integer(long long& value)
    {
        Space();
        const bool negative = m_pos < m_s.size() && m_s[m_pos] == '-';
        if (negative) ++m_pos;
        const size_t start = m_pos;
        value = 0;
        while (m_pos < m_s.size() && m_s[m_pos] >= '0' && m_s[m_pos] <= '9')
            value = value * 10 + (m_s[m_pos++] - '0');
        if (negative) value = -value;
        return m_pos > start;
    }

    bool Boolean(bool& value)
    {
        if (Word("true")) value = true;
        else if (Word("false")) value = false;
        else return false;
        return true;
    }

    // A field this reader does not know: passed over so that the server may log more.
    bool Skip()
    {
        std::string ignoredText;
        long long ignoredNumber = 0;
        bool ignoredFlag = false;
        Space();
        if (m_pos < m_s.size() && m_s[m_pos] == '"') return String(ignoredText);
        if (Boolean(ignoredFlag) || Word("null")) return true;
        if (!Integer(ignoredNumber)) return false;
        // The fraction and exponent of a number, if it has them.
        while (m_pos < m_s.size() && std::string(".eE+-0123456789").find(m_s[m_pos]) != std::string::npos)
            ++m_pos;
        return true;
    }

    const std::string& m_s;
    size_t m_pos = 0;
};

}  // namespace

std::string BaseUrl()
{
    return "http://127.0.0.1:" + ReadPort("server.port");
}

std::string Url(const std::string& pathAndQuery)
{
    return BaseUrl() + pathAndQuery;
}

std::string RefusedUrl(const std::string& path)
{
    return "http://127.0.0.1:" + ReadPort("refused.port") + path;
}

std::string PutFile(const std::string& name, const std::string& bytes)
{
    std::string file = testenv::StatePath("www\\" + name);
    for (char& c : file)
        if (c == '/') c = '\\';
    testenv::MakeDirs(file.substr(0, file.find_last_of('\\')));
    if (!testenv::WriteFileBytes(file, bytes)) return std::string();
    return "/" + name;
}

std::vector<LogEntry> ReadLog()
{
    const std::string text = testenv::ReadFileBytes(testenv::StatePath("server.log"));
    std::vector<LogEntry> entries;
    // A line without its newline is still being written; it is read on the next call.
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        LogEntry entry;
        if (LineParser(line).Parse(entry)) entries.push_back(entry);
    }
    return entries;
}

bool WaitForLogEntry(const std::string& path, int timeoutMs, LogEntry* out)
{
    const size_t mark = path.find('?');
    const std::string wantedPath = path.substr(0, mark);
    const bool matchQuery = mark != std::string::npos;
    const std::string wantedQuery = matchQuery ? path.substr(mark + 1) : std::string();

    const DWORD started = ::GetTickCount();
    for (;;) {
        const std::vector<LogEntry> entries = ReadLog();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (it->path == wantedPath && (!matchQuery || it->query == wantedQuery)) {
                if (out) *out = *it;
                return true;
            }
        }
        if (::GetTickCount() - started >= testenv::ScaledMs(static_cast<DWORD>(timeoutMs))) return false;
        ::Sleep(20);
    }
}

}  // namespace testserver
