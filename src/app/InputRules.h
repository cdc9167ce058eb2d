#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Checks for texts that arrive from outside (the broker, the web service, the login
// cache) before they reach a file, a command line or a topic. Every check is strict:
// what it accepts can never carry a separator of the format it is written into.
namespace InputRules {

// Longest serial number (gateway or device) taken from a message or a reply.
constexpr size_t kMaxSerialLength = 63;
// Longest VPN user name; OpenVPN's own limit for a user name read from a file.
constexpr size_t kMaxUserNameLength = 128;
// Longest host name (DNS limit).
constexpr size_t kMaxHostLength = 253;
// Longest short display text of a status report (LAN address, mask, signal).
constexpr size_t kMaxStatusTextLength = 64;

// Exactly the 20 decimal digits of an identifier this program makes.
bool IsPcId(std::string_view text);

// A serial number that can be one level of an MQTT topic: 1 to kMaxSerialLength
// printable ASCII characters, none of them '/', '+' or '#'.
bool IsSerial(std::string_view text);

// An IPv4 or IPv6 address literal.
bool IsIpAddress(std::string_view text);

// An address literal or a host name: labels of letters, digits and '-' (not at
// either end), 1 to 63 characters each, joined by '.', kMaxHostLength in all.
bool IsHost(std::string_view text);

// A TCP or UDP port: 1 to 65535.
bool IsPort(long long port);

// A user name for a line of the VPN credentials file: 1 to kMaxUserNameLength bytes
// of valid UTF-8 without control characters (so no line feed or carriage return).
bool IsUserName(std::string_view text);

// A short text shown and echoed back (signal strength, LAN address): at most
// kMaxStatusTextLength bytes of valid UTF-8 without control characters; may be empty.
bool IsStatusText(std::string_view text);

// `text` made safe for one diagnostic line: control characters, quotes, backslashes
// and bytes above 0x7E as \xNN, cut after 40 characters with "...".
std::string Excerpt(std::string_view text);

// Writes "dropped <what>: <why>" as one line on standard error.
void ReportDropped(const std::string& what, const std::string& why);

} // namespace InputRules
