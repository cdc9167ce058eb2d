#pragma once

#include "endpoint/VpnStart.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Installation;

// Starting, finding and ending helper processes (the OpenVPN client, the virtual
// COM pair tool) and writing the OpenVPN client's files. Helpers run hidden (no
// terminal, stdin from /dev/null); command lines run through /bin/sh -c, the OpenVPN
// client is started with its arguments and no shell.
//
// The client's files live in the working folder "<program folder>/lumetra/":
// the profile, the credentials file it names, the certificate authority "ca.crt"
// (installed, never written here), the client's own log and the record of the
// client process this program started (VpnClientRecord).
//
// Only the client this program started is ever ended, never another process,
// whatever its name.

// File names in the working folder.
constexpr const char* kVpnProfileFile = "zelqnet_client.ovpn";
constexpr const char* kVpnCredentialsFile = "zelq_clientpass0";
constexpr const char* kVpnLogFile = "openvpn-trace.log";
constexpr const char* kVpnRecordFile = "openvpn.pid";
// The fixed password of the credentials file.
constexpr const char* kVpnPassword = "730158";
// The client's management interface.
constexpr const char* kVpnManagementHost = "127.0.0.1";
constexpr uint16_t kVpnManagementPort = 25341;
// The client program, found on PATH and run in the working folder as
// "openvpn --config zelqnet_client.ovpn --management 127.0.0.1 25341".
constexpr const char* kVpnClientProgram = "openvpn";
std::vector<std::string> VpnClientArguments();

// How a client is ended: SIGTERM, SIGKILL when it still runs kVpnTermGraceMs later,
// then a wait of at most kVpnKillWaitMs. OpenVPN itself ends within milliseconds of
// SIGTERM (closing its management connection with an EXITING state line); the grace
// period is for a client busy in a slow step.
constexpr int kVpnTermGraceMs = 3000;
constexpr int kVpnKillWaitMs = 1000;

// Runs `commandLine` hidden in `currentDir`, waits for it to end and returns
// everything it wrote to standard output and standard error, read while it runs so a
// chatty command never blocks. Empty optional when the process could not be
// started or wrote nothing.
std::optional<std::string> RunCommandCaptured(const std::string& commandLine, const std::string& currentDir);

// "<state folder>/lumetra/" (GetStateFolder(); with the trailing separator).
std::string VpnWorkingFolder();

// Writes the client profile for the VPN server `serverHost`:`serverPort` (the port
// already in decimal), headed by the "website" and "telephone" custom resources of
// `installation` as stored (none without an installation). Texts are UTF-8; lines
// end in "\n". An existing file is replaced; when the file cannot be opened nothing
// is written and nothing reported. The working folder is made 0700 and the file 0600
// (tightened when found wider); a link in the file's place is not followed, and a
// file that cannot be made private counts as one that cannot be opened.
void WriteProfile(const Installation* installation, const std::string& serverHost,
                  const std::string& serverPort);

// Writes the credentials file: the user name, "\n", the fixed password, no final
// line end. Private and silent on failure, as the profile.
void WriteCredentials(const std::string& userName);

// Ends the client this program started (StopVpnClients), then starts the client.
// When the VPN service answers on its socket (VpnServiceClient), the service is asked
// to start it on the working folder's profile, and its refusal is returned with the
// service's reason. Without the service the client is started in the working folder
// and its process recorded in memory and in the record file. Started when the
// service accepted or the program was executed.
VpnStart StartVpnClient();

// Ends the clients this program started, as above, and forgets them:
// - the client the VPN service started for StartVpnClient, by asking the service;
// - the client StartVpnClient started, if it still runs with its recorded start time;
// - the one the working folder's record file names when the program that started it
//   no longer runs (it crashed or was killed) and the process still runs with the
//   recorded start time and a name that contains "openvpn". A record of another
//   running instance is left alone; a record that names nothing to end is removed.
// A client that cannot be signalled or outlives its SIGKILL stays on record for the
// next call. No other process is signalled. Returns within kVpnTermGraceMs +
// kVpnKillWaitMs per client ended.
void StopVpnClients();
