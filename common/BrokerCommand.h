// The broker's one command line: what the control hands over and the broker parses again,
// trusting nothing of it. "check|launch <owner> <page> <argument>": the method; the page's window
// as 16 hexadecimal digits; the page's address as the control identified it ("-" when its
// container names none); the method's URL. Page and argument are UTF-8, percent-encoded so that
// neither holds a blank, a quote, a percent sign of its own or a byte outside printable ASCII.
#pragma once

#include <cstdint>
#include <string>

constexpr size_t kMaxBrokerCommandBytes = 8192;
// The broker's program, beside the DLL, and the DLL it reads the site lock and the pin from.
constexpr wchar_t kBrokerFileName[] = L"qxBroker.exe";
constexpr wchar_t kBrokerDllFileName[] = L"qxChecker.DLL";

// What the broker's exit code says.
enum BrokerExit {
    BROKER_CHECK_FAILED = 0,  // Check gives 0; Launch opened nothing
    BROKER_DONE = 1,          // Check gives 1; Launch opened the world file
    BROKER_REFUSED = 2,       // the command line, the page or the DLL beside it was refused
};

struct BrokerRequest {
    bool bLaunch = false;     // Launch, else Check
    std::uint64_t owner = 0;  // the page's window
    bool bPageNamed = false;  // false: "-", the container names no page
    std::string page;         // UTF-8
    std::string argument;     // UTF-8: the description's or the world file's address
};

// The arguments after the program's name; empty when a part cannot be carried (an address that
// is empty or holds a zero byte) or the whole would exceed kMaxBrokerCommandBytes with the name.
std::string FormatBrokerArguments(const BrokerRequest& request);

// A whole command line as the process got it, the program's name first (quoted or not); false,
// with the reason in `why`, for anything but exactly one request of the grammar within
// kMaxBrokerCommandBytes. An argument must be an http or https address.
bool ParseBrokerCommandLine(const std::string& commandLine, BrokerRequest& request, std::string& why);
