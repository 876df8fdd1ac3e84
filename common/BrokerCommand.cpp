#include "common/BrokerCommand.h"

namespace {

const char kHex[] = "0123456789ABCDEF";

bool IsCarried(const std::string& text)
{
    return !text.empty() && text.find('\0') == std::string::npos;
}

std::string Encode(const std::string& text)
{
    std::string out;
    for (const unsigned char ch : text) {
        if (ch > 0x20 && ch < 0x7F && ch != '"' && ch != '%') {
            out += static_cast<char>(ch);
        } else {
            out += '%';
            out += kHex[ch >> 4];
            out += kHex[ch & 15];
        }
    }
    return out;
}

int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

// The inverse of Encode, and nothing else: a byte Encode would have escaped, standing bare, or
// an escape of a zero byte, is no token of ours.
bool Decode(const std::string& token, std::string& out)
{
    out.clear();
    for (size_t at = 0; at < token.size(); ++at) {
        const unsigned char ch = static_cast<unsigned char>(token[at]);
        if (ch == '%') {
            if (at + 2 >= token.size()) return false;
            const int hi = HexValue(token[at + 1]);
            const int lo = HexValue(token[at + 2]);
            if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
            out += static_cast<char>(hi * 16 + lo);
            at += 2;
        } else if (ch > 0x20 && ch < 0x7F && ch != '"') {
            out += static_cast<char>(ch);
        } else {
            return false;
        }
    }
    return !out.empty();
}

bool IsWebAddress(const std::string& text)
{
    const auto startsWith = [&text](const char* pszScheme) {
        size_t at = 0;
        for (; pszScheme[at]; ++at)
            if (at >= text.size() || (text[at] | 0x20) != pszScheme[at]) return false;
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

}  // namespace

std::string FormatBrokerArguments(const BrokerRequest& request)
{
    if (!IsCarried(request.argument) || (request.bPageNamed && !IsCarried(request.page))) return std::string();
    std::string out = request.bLaunch ? "launch " : "check ";
    for (int shift = 60; shift >= 0; shift -= 4) out += kHex[(request.owner >> shift) & 15];
    out += ' ';
    out += request.bPageNamed ? Encode(request.page) : "-";
    out += ' ';
    out += Encode(request.argument);
    // The program's quoted name goes before it: room for a long folder is kept.
    return out.size() > kMaxBrokerCommandBytes - 1024 ? std::string() : out;
}

bool ParseBrokerCommandLine(const std::string& commandLine, BrokerRequest& request, std::string& why)
{
    request = BrokerRequest();
    if (commandLine.size() > kMaxBrokerCommandBytes) {
        why = "the command line is longer than 8192 bytes";
        return false;
    }
    // The program's name as the platform splits it off: quoted up to the next quote, else up to
    // the first blank.
    size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        at = commandLine.find('"', 1);
        if (at == std::string::npos) {
            why = "the program's name is not closed";
            return false;
        }
        ++at;
    } else {
        at = commandLine.find_first_of(" \t");
        if (at == std::string::npos) at = commandLine.size();
    }
    if (at >= commandLine.size() || commandLine[at] != ' ') {
        why = "no request follows the program's name";
        return false;
    }
    const std::string rest = commandLine.substr(at + 1);

    // Exactly four tokens, one blank between each.
    std::string tokens[4];
    size_t start = 0;
    for (int n = 0; n < 4; ++n) {
        const size_t end = n < 3 ? rest.find(' ', start) : rest.size();
        if (end == std::string::npos || end == start) {
            why = "the request does not have its four parts";
            return false;
        }
        tokens[n] = rest.substr(start, end - start);
        start = end + 1;
    }
    if (tokens[3].find(' ') != std::string::npos) {
        why = "more than one request, or more than four parts";
        return false;
    }

    if (tokens[0] == "launch") {
        request.bLaunch = true;
    } else if (tokens[0] != "check") {
        why = "the method is neither check nor launch";
        return false;
    }
    if (tokens[1].size() != 16) {
        why = "the owner is not 16 hexadecimal digits";
        return false;
    }
    for (const char ch : tokens[1]) {
        const int value = HexValue(ch);
        if (value < 0) {
            why = "the owner is not 16 hexadecimal digits";
            return false;
        }
        request.owner = request.owner * 16 + static_cast<unsigned>(value);
    }
    if (tokens[2] != "-") {
        request.bPageNamed = true;
        if (!Decode(tokens[2], request.page)) {
            why = "the page is not an encoded address";
            return false;
        }
    }
    if (!Decode(tokens[3], request.argument) || !IsWebAddress(request.argument)) {
        why = "the argument is not an encoded http or https address";
        return false;
    }
    return true;
}
