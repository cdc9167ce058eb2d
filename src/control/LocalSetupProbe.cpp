#include "control/LocalSetupProbe.h"

#include "endpoint/VirtualComPairs.h"
#include "endpoint/VpnClientControl.h"
#include "platform/BoundedCommand.h"
#include "platform/ComPortNames.h"
#include "platform/ExecutablePath.h"
#include "platform/PortHolder.h"
#include "platform/TcpProbe.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The first line of a program's output, without its line end.
std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// `program` looked up on PATH as the process launcher does; empty when not found.
std::string FindOnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

} // namespace

PreflightResult LocalSetupProbe::VirtualComFolder()
{
    PreflightResult result;
    result.name = "virtual COM folder";
    const auto start = Clock::now();
    const std::string folder = platform::VirtualComFolder();
    result.target = folder;
    // The pair tool makes the folder (and missing parents) on first use: then the
    // nearest existing parent must let this user make it.
    std::string existing = folder;
    struct stat info
    {
    };
    while (!existing.empty() && stat(existing.c_str(), &info) != 0) {
        const size_t slash = existing.rfind('/');
        existing = slash == std::string::npos ? std::string()
                   : slash == 0               ? std::string("/")
                                              : existing.substr(0, slash);
    }
    if (existing.empty() || stat(existing.c_str(), &info) != 0) {
        result.detail = "no part of the folder exists";
    } else if (!S_ISDIR(info.st_mode)) {
        result.detail = existing + " is not a folder";
    } else if (access(existing.c_str(), W_OK | X_OK) != 0) {
        result.detail = existing + ": " + std::strerror(errno);
    } else {
        result.ok = true;
        result.detail = existing == folder ? "writable" : "missing, can be made in " + existing;
    }
    if (!result.ok)
        result.fix = "make " + folder + " a folder this user may write, or set LUMETRA_VCOM_DIR to one";
    result.ms = MsSince(start);
    return result;
}

PreflightResult LocalSetupProbe::VirtualComTool(int timeoutMs)
{
    PreflightResult result;
    result.name = "lumetra-vcom";
    const auto start = Clock::now();
    const std::string folder = FindVirtualComFolder();
    if (folder.empty()) {
        result.detail = std::string(kVirtualComMissingMessage) + " (no " + kVirtualComTool +
                        " in the program folder or /usr/lib/lumetra/)";
        result.fix =
            std::string("install ") + kVirtualComTool + " beside the program (reinstall the program)";
        result.ms = MsSince(start);
        return result;
    }
    const std::string tool = folder + kVirtualComTool;
    result.target = tool;
    const platform::BoundedCommand::Result run =
        platform::BoundedCommand::Run(tool, {"list"}, folder, timeoutMs);
    result.ms = MsSince(start);
    if (!run.started) {
        result.detail = "cannot be executed";
    } else if (run.timedOut) {
        result.detail = "\"list\" did not end within " + std::to_string(timeoutMs) + " ms";
    } else if (!WIFEXITED(run.exitStatus) || WEXITSTATUS(run.exitStatus) != 0) {
        result.detail = "\"list\" failed: " + FirstLine(run.output);
    } else {
        result.ok = true;
        int ends = 0;
        for (size_t at = run.output.find("RealPortName"); at != std::string::npos;
             at = run.output.find("RealPortName", at + 1))
            ++ends;
        result.detail = std::to_string(ends / 2) + " pair(s) installed";
    }
    if (!result.ok)
        result.fix =
            "reinstall the program so that " + tool + " works; \"" + tool + " list\" shows the problem";
    return result;
}

PreflightResult LocalSetupProbe::OpenVpn(int timeoutMs)
{
    PreflightResult result;
    result.name = "OpenVPN";
    // Only the maintenance channel needs it: the tunnels work without.
    result.needed = false;
    const auto start = Clock::now();
    const std::string program = FindOnPath(kVpnClientProgram);
    if (program.empty()) {
        result.target = kVpnClientProgram;
        result.detail = "not found on PATH";
        result.fix = "install OpenVPN (apt-get install openvpn) to use the maintenance channel";
        result.ms = MsSince(start);
        return result;
    }
    result.target = program;
    const platform::BoundedCommand::Result run =
        platform::BoundedCommand::Run(program, {"--version"}, "/", timeoutMs);
    result.ms = MsSince(start);
    if (!run.started || run.timedOut || run.output.empty()) {
        result.detail = !run.started ? "cannot be executed"
                        : run.timedOut
                            ? "\"--version\" did not end within " + std::to_string(timeoutMs) + " ms"
                            : "\"--version\" printed nothing";
        result.fix = "reinstall OpenVPN (apt-get install --reinstall openvpn)";
        return result;
    }
    result.detail = FirstLine(run.output);
    // The client makes a tunnel device, which takes root rights or a program that
    // carries its own (file capabilities).
    const bool root = geteuid() == 0;
    const bool capable = getxattr(program.c_str(), "security.capability", nullptr, 0) > 0;
    if (!root && !capable) {
        result.detail += "; this user may start it, but it cannot make its tunnel device without root rights";
        result.fix = "run the client as root, or give OpenVPN the right: setcap cap_net_admin+ep " + program;
        return result;
    }
    if (access("/dev/net/tun", R_OK | W_OK) != 0) {
        result.detail += "; /dev/net/tun: " + std::string(std::strerror(errno));
        result.fix = "load the tun module (modprobe tun) so that /dev/net/tun exists";
        return result;
    }
    result.ok = true;
    return result;
}

PreflightResult LocalSetupProbe::LocalPort(const std::string& address, uint16_t port)
{
    PreflightResult result;
    result.name = "local port " + std::to_string(port);
    result.target = address + ":" + std::to_string(port);
    const auto start = Clock::now();
    const int failure = platform::TcpProbe::TryListen(address, port);
    result.ok = failure == 0;
    if (failure == EADDRINUSE) {
        const std::string holder = platform::PortHolder::Describe(port);
        result.detail =
            holder.empty() ? "in use (the system does not say by which program)" : "in use by " + holder;
        result.fix = (holder.empty() ? std::string("end the program that listens on ") + result.target
                                     : "end " + holder + " or move it off " + result.target) +
                     "; a tunnel to a device of this port cannot listen there meanwhile";
    } else if (failure == EACCES) {
        result.detail = "no right to listen on a port below 1024";
        result.fix = "give the client the right: sudo setcap cap_net_bind_service=+ep " +
                     QFile::encodeName(platform::ExecutablePath()).toStdString() +
                     ", or let every user listen there: sysctl net.ipv4.ip_unprivileged_port_start=" +
                     std::to_string(port);
    } else if (failure != 0) {
        result.detail = std::strerror(failure);
        result.fix = "check the listen address \"" + address + "\" (custom resource \"listen_host\")";
    }
    result.ms = MsSince(start);
    return result;
}
