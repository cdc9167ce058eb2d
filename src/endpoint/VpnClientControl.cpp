#include "endpoint/VpnClientControl.h"

#include "app/Installation.h"
#include "app/PrivateFile.h"
#include "app/ProgramFolder.h"
#include "app/ResourceInfo.h"
#include "endpoint/VpnClientRecord.h"
#include "endpoint/VpnServiceClient.h"
#include "platform/OwnHelperProcess.h"
#include "platform/ProcessLauncher.h"

#include <QFile>

#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The text of a custom resource entry of `installation` as stored, or nothing when it
// is absent (or there is no installation).
std::string StoredText(const Installation* installation, const char* name)
{
    const _Resource_Info* entry = installation != nullptr ? installation->FindResource(name) : nullptr;
    return entry == nullptr ? std::string() : entry->Text();
}

// Replaces `fileName` in the working folder with `text`. The folder is made when it
// is missing; any failure leaves quietly. Both files tell the client what to run and
// the credentials hold a password, so the folder is the owner's alone (0700) and so
// are the files (0600), however they were found; a file that cannot be made private
// (or a link in its place) is not written. Returns true when the file was written.
bool WriteWorkingFile(const char* fileName, const std::string& text)
{
    const std::string folder = VpnWorkingFolder();
    if (!PrivateFile::MakeFolder(folder)) {
        return false;
    }
    const int fd = PrivateFile::OpenForWriting(folder + fileName, false);
    if (fd < 0) {
        return false;
    }
    const bool written = PrivateFile::WriteAll(fd, text.data(), text.size());
    return ::close(fd) == 0 && written;
}

// The profile's text, piece by piece.
std::string ProfileText(const Installation* installation, const std::string& serverHost,
                        const std::string& serverPort)
{
    std::string text;
    text += "###################################################\n";
    text += "# Lumetra client-side configuration file          #\n";
    text += "# for connecting to multi-client server.          #\n";
    text += "#                                                 #\n";
    text += StoredText(installation, "website");
    text += "# made by the Lumetra team                        #\n";
    text += StoredText(installation, "telephone");
    text += "###################################################\n\n";
    text += "# Specify that we are a client and that we\n";
    text += "# will be pulling certain config file directives\n";
    text += "# from the server.\n\n";
    text += "client\n\n";
    text += "# Use the same setting as you are using on\n";
    text += "# the server.\n";
    text += "# On most systems, the VPN will not function\n";
    text += "# unless you partially or fully disable\n";
    text += "# the firewall for the TUN/TAP interface.\n\n";
    text += "dev tun\n\n";
    text += "# Windows needs the TAP-Win32 adapter name\n";
    text += "# from the Network Connections panel\n";
    text += "# if you have more than one.  On XP SP2,\n";
    text += "# you may need to disable the firewall\n";
    text += "# for the TAP adapter.\n\n";
    text += ";dev-node MyTap\n\n";
    text += "# Are we connecting to a TCP or UDP server? \n\n";
    text += "proto tcp\n";
    text += ";proto udp\n\n";
    text += "# The hostname/IP and port of the server.\n";
    text += "# You can have multiple remote entries\n";
    text += "# to load balance between the servers.\n\n";
    text += "remote " + serverHost + " " + serverPort + "\n\n";
    text += "# Keep trying indefinitely to resolve the\n";
    text += "# host name of the LumetraVPN server.  Very useful\n";
    text += "# on machines which are not permanently connected\n";
    text += "# to the internet such as laptops.\n\n";
    text += "resolv-retry infinite\n\n";
    text += "# Most clients don't need to bind to\n";
    text += "# a specific local port number.\n\n";
    text += "nobind\n\n";
    text += "# Try to preserve some state across restarts.\n\n";
    text += "persist-key\n";
    text += "persist-tun\n\n";
    text += "# SSL/TLS parms.\n";
    text += "# See the server config file for more\n";
    text += "# description.  It's best to use\n";
    text += "# a separate .crt/.key file pair\n";
    text += "# for each client.  A single ca\n";
    text += "# file can be used for all clients.\n\n";
    text += "ca ca.crt\n";
    text += "auth-user-pass zelq_clientpass0\n";
    text += "remote-cert-tls server\n\n";
    text += "# If a tls-auth key is used on the server\n";
    text += "# then every client must also have the key.\n\n";
    text += ";tls-auth ta.key 1\n\n";
    text += "# Enable compression on the VPN link.\n";
    text += "# Don't enable this unless it is also\n";
    text += "# enabled in the server config file.\n\n";
    text += "comp-lzo\n\n";
    text += "# Set log file verbosity.\n";
    text += "verb 3\n\n";
    text += "# Silence repeating messages\n\n";
    text += "mute 3\n";
    text += "log openvpn-trace.log\n";
    return text;
}

// The client this program started, as the process-wide record keeps it.
platform::OwnHelperProcess::Entry EntryOf(const VpnClientRecord& record, const std::string& recordPath)
{
    platform::OwnHelperProcess::Entry entry;
    entry.pid = record.pid;
    entry.startTime = record.startTime;
    entry.ownerPid = record.ownerPid;
    entry.ownerStartTime = record.ownerStartTime;
    entry.recordPath = recordPath;
    return entry;
}

VpnClientRecord RecordOf(const platform::OwnHelperProcess::Entry& entry)
{
    VpnClientRecord record;
    record.pid = entry.pid;
    record.startTime = entry.startTime;
    record.ownerPid = entry.ownerPid;
    record.ownerStartTime = entry.ownerStartTime;
    return record;
}

} // namespace

std::optional<std::string> RunCommandCaptured(const std::string& commandLine, const std::string& currentDir)
{
    platform::ProcessLauncher::Captured run = platform::ProcessLauncher::RunCaptured(commandLine, currentDir);
    if (!run.started || run.output.empty()) {
        return std::nullopt;
    }
    return std::move(run.output);
}

std::string VpnWorkingFolder()
{
    return QFile::encodeName(GetStateFolder()).toStdString() + "/lumetra/";
}

void WriteProfile(const Installation* installation, const std::string& serverHost,
                  const std::string& serverPort)
{
    WriteWorkingFile(kVpnProfileFile, ProfileText(installation, serverHost, serverPort));
}

void WriteCredentials(const std::string& userName)
{
    WriteWorkingFile(kVpnCredentialsFile, userName + "\n" + kVpnPassword);
}

std::vector<std::string> VpnClientArguments()
{
    return {"--config", kVpnProfileFile, "--management", kVpnManagementHost,
            std::to_string(kVpnManagementPort)};
}

VpnStart StartVpnClient()
{
    StopVpnClients();
    const std::string folder = VpnWorkingFolder();
    if (const std::optional<std::string> answer =
            VpnServiceClient::Ask("start " + folder + kVpnProfileFile)) {
        if (answer->compare(0, 3, "ok ") != 0) {
            return VpnStart::Refused(answer->compare(0, 6, "error ") == 0 ? answer->substr(6) : *answer);
        }
        std::lock_guard<std::mutex> guard(platform::OwnHelperProcess::Lock());
        platform::OwnHelperProcess::Entry entry;
        entry.viaService = true;
        platform::OwnHelperProcess::Current() = entry;
        return true;
    }
    const int64_t pid =
        platform::ProcessLauncher::StartProgram(kVpnClientProgram, VpnClientArguments(), folder);
    if (pid == 0) {
        return false;
    }
    std::optional<VpnClientRecord> record = VpnClientRecord::OfOwnClient(pid);
    if (record.has_value()) {
        std::lock_guard<std::mutex> guard(platform::OwnHelperProcess::Lock());
        platform::OwnHelperProcess::Current() = EntryOf(*record, folder + kVpnRecordFile);
        record->Save(platform::OwnHelperProcess::Current()->recordPath);
    }
    return true;
}

void StopVpnClients()
{
    std::lock_guard<std::mutex> guard(platform::OwnHelperProcess::Lock());
    std::optional<platform::OwnHelperProcess::Entry>& own = platform::OwnHelperProcess::Current();
    if (own.has_value() && own->viaService) {
        // Whatever the answer (the service may have ended meanwhile), nothing of ours
        // is left to end.
        VpnServiceClient::Ask("stop");
        own.reset();
    }
    if (own.has_value()) {
        if (platform::ProcessLauncher::End(own->pid, own->startTime, kVpnTermGraceMs, kVpnKillWaitMs) ==
            platform::ProcessLauncher::EndResult::Survived) {
            return; // stays on record (in memory and in the file): a later call tries again
        }
        if (VpnClientRecord::Load(own->recordPath) == RecordOf(*own)) {
            unlink(own->recordPath.c_str());
        }
        own.reset();
    }

    // A client left running by an earlier run of ours that ended without stopping it.
    const std::string recordPath = VpnWorkingFolder() + kVpnRecordFile;
    const std::optional<VpnClientRecord> left = VpnClientRecord::Load(recordPath);
    if (!left.has_value()) {
        struct stat info;
        if (lstat(recordPath.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            unlink(recordPath.c_str()); // damaged: names nothing
        }
        return;
    }
    if (left->OwnedByAnotherRunningProgram()) {
        return;
    }
    if (platform::ProcessLauncher::NameOf(left->pid).find("openvpn") != std::string::npos &&
        platform::ProcessLauncher::End(left->pid, left->startTime, kVpnTermGraceMs, kVpnKillWaitMs) ==
            platform::ProcessLauncher::EndResult::Survived) {
        return;
    }
    unlink(recordPath.c_str());
}
