#include "control/PreflightCheck.h"

#include "app/Installation.h"
#include "app/LoopbackAddressBook.h"
#include "control/BrokerProbe.h"
#include "control/LocalListenerHost.h"
#include "control/LocalSetupProbe.h"
#include "control/WebServiceProbe.h"
#include "platform/TcpProbe.h"
#include "tunnel/CNetPfLocalDataTunnel.h"

#include <algorithm>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A port number from an entry's text, 0 when it is none.
int PortOf(const std::string& text)
{
    const int port = std::atoi(text.c_str());
    return port > 0 && port <= 0xFFFF ? port : 0;
}

} // namespace

PreflightCheck::PreflightCheck(const Installation& installation, Account account)
    : installation_(installation), account_(std::move(account))
{
}

int PreflightCheck::StepMs() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    return static_cast<int>(std::max<long long>(0, std::min<long long>(kStepMs, left)));
}

PreflightResult PreflightCheck::NotAsked(const std::string& name, const std::string& target,
                                         const std::string& reason, const std::string& fix)
{
    PreflightResult result;
    result.name = name;
    result.target = target;
    result.detail = reason;
    result.fix = fix;
    return result;
}

PreflightResult PreflightCheck::TcpServer(const std::string& name, const char* hostEntry,
                                          const std::string& hostFallback, const char* portEntry,
                                          int portFallback)
{
    const std::string host = installation_.ResourceText(hostEntry, hostFallback);
    const int port = installation_.FindResource(portEntry) != nullptr
                         ? PortOf(installation_.ResourceText(portEntry))
                         : portFallback;
    const std::string target = host + ":" + std::to_string(port);
    if (host.empty() || port == 0)
        return NotAsked(name, target,
                        std::string("the installation names no ") + name + " (\"" + hostEntry + "\", \"" +
                            portEntry + "\")",
                        "reinstall the program with its custom_resource/platconf");
    PreflightResult result;
    result.name = name;
    result.target = target;
    const auto start = Clock::now();
    std::string error;
    result.ok = platform::TcpProbe::Connect(host, static_cast<uint16_t>(port), StepMs(), &error);
    result.ms = MsSince(start);
    if (result.ok) {
        result.detail = "connected";
    } else {
        result.detail = error;
        result.fix =
            "check that the " + name + " at " + target + " runs and that the firewall lets the port through";
    }
    return result;
}

std::vector<PreflightResult> PreflightCheck::Run(const std::function<void(const PreflightResult&)>& each)
{
    deadline_ = Clock::now() + std::chrono::milliseconds(kTotalMs);
    std::vector<PreflightResult> results;
    auto add = [&](PreflightResult result) {
        results.push_back(std::move(result));
        if (each)
            each(results.back());
    };
    // Every check after the whole's time is up is reported, not asked.
    auto timeLeft = [&](const std::string& name) {
        if (StepMs() > 0)
            return true;
        add(NotAsked(name, std::string(),
                     "not asked: the check's " + std::to_string(kTotalMs / 1000) + " s were used up",
                     "run the check again once the parts above answer"));
        return false;
    };

    const WebServiceProbe web(installation_.WebService());
    bool webAnswers = false;
    if (timeLeft("web service")) {
        PreflightResult answer = web.Answer(StepMs());
        webAnswers = answer.ok;
        add(std::move(answer));
    }
    if (web.Configured() && web.Secure() && webAnswers && timeLeft("TLS certificate"))
        add(web.Certificate(StepMs()));
    if (account_.user.empty() || account_.password.empty()) {
        add(NotAsked("sign-in", account_.user, "no account to sign in with",
                     "sign in once (lumetra-cli login USER, or the window's login), or give --user"));
    } else if (!webAnswers) {
        add(NotAsked("sign-in", account_.user, "not asked: the web service does not answer",
                     "the web service must answer first (see above)"));
    } else if (timeLeft("sign-in")) {
        add(web.SignIn(account_.user, account_.password, StepMs()));
    }

    if (timeLeft("broker")) {
        BrokerProbe::Settings broker;
        broker.host = installation_.ResourceText("bh");
        broker.port = PortOf(installation_.ResourceText("bp"));
        broker.user = installation_.ResourceText("busername");
        broker.password = installation_.ResourceText("bpassword");
        broker.pcId = installation_.PcId();
        add(BrokerProbe(broker).Run(StepMs()));
    }

    const std::string portTransferHost = installation_.ResourceText("port_transfer_host");
    if (timeLeft("port-transfer server"))
        add(TcpServer("port-transfer server", "port_transfer_host", std::string(), "port_transfer_port", 0));
    // The relay as the port-forward tunnel finds it: its own host or the port-transfer
    // server's, its own port or the default.
    if (timeLeft("relay server")) {
        const std::string relayHost = installation_.ResourceText("relay_host");
        add(TcpServer("relay server", relayHost.empty() ? "port_transfer_host" : "relay_host",
                      portTransferHost, "relay_port", CNetPfLocalDataTunnel::kDefaultRelayPort));
    }

    add(LocalSetupProbe::VirtualComFolder());
    if (timeLeft("lumetra-vcom"))
        add(LocalSetupProbe::VirtualComTool(StepMs()));
    if (timeLeft("OpenVPN"))
        add(LocalSetupProbe::OpenVpn(StepMs()));
    // The default listen address and every address a device was given beside it:
    // a port held on any of them stops that device's tunnel.
    std::vector<std::string> addresses{LocalListenerHost::ListenAddress(installation_).toStdString()};
    for (const std::string& address : LoopbackAddressBook(installation_.TunnelAddressPath()).Addresses()) {
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    for (const int port : kStandardPorts) {
        PreflightResult portResult;
        long long ms = 0;
        for (const std::string& address : addresses) {
            portResult = LocalSetupProbe::LocalPort(address, static_cast<uint16_t>(port));
            ms += portResult.ms;
            if (!portResult.ok)
                break;
        }
        portResult.ms = ms;
        if (portResult.ok && addresses.size() > 1)
            portResult.detail = "free on " + std::to_string(addresses.size()) +
                                " addresses: the default one and " + std::to_string(addresses.size() - 1) +
                                " remembered for devices";
        add(portResult);
    }
    return results;
}

bool PreflightCheck::Passed(const std::vector<PreflightResult>& results)
{
    return std::all_of(results.begin(), results.end(),
                       [](const PreflightResult& result) { return result.ok || !result.needed; });
}

std::string PreflightCheck::Line(const PreflightResult& result)
{
    std::string line = result.ok ? "ok  " : result.needed ? "FAIL" : "warn";
    line += " " + result.name;
    if (!result.target.empty())
        line += " " + result.target;
    line += "  " + std::to_string(result.ms) + " ms";
    if (result.ok) {
        if (!result.detail.empty())
            line += " (" + result.detail + ")";
        return line;
    }
    if (!result.detail.empty())
        line += ": " + result.detail;
    if (!result.fix.empty())
        line += " \u2014 fix: " + result.fix;
    return line;
}

std::string PreflightCheck::Summary(const std::vector<PreflightResult>& results)
{
    std::string failed;
    for (const PreflightResult& result : results) {
        if (!result.ok && result.needed)
            failed += (failed.empty() ? "" : ", ") + result.name;
    }
    return failed.empty() ? "all needed checks passed" : "failed: " + failed;
}
