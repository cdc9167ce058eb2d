#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Starting, finding and ending helper processes (the OpenVPN client, the virtual
// COM pair tool) and writing the OpenVPN client's files. Command lines run through
// /bin/sh -c, hidden (no terminal, stdin from /dev/null).
//
// The client's files live in the working folder "<program folder>/lumetra/":
// the profile, the credentials file it names, the certificate authority "ca.crt"
// (installed, never written here) and the client's own log.

// Identifier and handle of a started process; all zero when it did not start.
struct ProcessInfo
{
    int64_t processId = 0;
};

// File names in the working folder.
constexpr const char* kVpnProfileFile = "zelqnet_client.ovpn";
constexpr const char* kVpnCredentialsFile = "zelq_clientpass0";
constexpr const char* kVpnLogFile = "openvpn-trace.log";
// The fixed password of the credentials file.
constexpr const char* kVpnPassword = "730158";
// The client's management interface.
constexpr const char* kVpnManagementHost = "127.0.0.1";
constexpr uint16_t kVpnManagementPort = 25341;
// The command line that starts the client in the working folder.
constexpr const char* kVpnClientCommand = "openvpn --config zelqnet_client.ovpn --management 127.0.0.1 25341";

// How hard StopVpnClients tries: at most this many kills per call, each followed by
// a wait of at most kVpnKillWaitMs for the process to end.
constexpr int kVpnStopMaxAttempts = 16;
constexpr int kVpnKillWaitMs = 500;

// Starts a hidden process running `commandLine`; does not wait for it.
ProcessInfo RunCommand(const std::string& commandLine);
// The same, in the working folder `currentDir`.
ProcessInfo RunCommandIn(const std::string& commandLine, const std::string& currentDir);

// Runs `commandLine` hidden in `currentDir`, waits for it to end and returns
// everything it wrote to standard output and standard error, read while it runs so a
// chatty command never blocks. Empty optional when the process could not be
// started or wrote nothing.
std::optional<std::string> RunCommandCaptured(const std::string& commandLine, const std::string& currentDir);

// Identifier of the first running process (lowest pid) whose executable name
// (/proc/<pid>/comm, at most 15 characters) contains `name` (case-sensitive), or 0.
// The calling process and processes that have already ended (zombies) are never
// reported, so a program never finds, and never ends, itself.
int64_t FindProcessId(const char* name);

// "<program folder>/lumetra/" (with the trailing separator).
std::string VpnWorkingFolder();

// Writes the client profile for the VPN server `serverHost`:`serverPort` (the port
// already in decimal). Texts are UTF-8; lines end in "\n". An existing file is
// replaced; when the file cannot be opened nothing is written and nothing reported.
// The working folder is made 0700 and the file 0600 (tightened when found wider); a
// link in the file's place is not followed, and a file that cannot be made private
// counts as one that cannot be opened.
void WriteProfile(const std::string& serverHost, const std::string& serverPort);

// Writes the credentials file: the user name, "\n", the fixed password, no final
// line end. Private and silent on failure, as the profile.
void WriteCredentials(const std::string& userName);

// Ends every running client, then starts the client in the working folder. True
// when its process was created.
bool StartVpnClient();

// Ends every running process whose executable name contains "openvpn" (SIGKILL),
// within the bounds above; a process that survives its kill or cannot be signalled
// is left alone for the rest of the call.
void StopVpnClients();
