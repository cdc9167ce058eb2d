#pragma once

#include "control/PreflightResult.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class Installation;

// The pre-flight check behind "lumetra-cli doctor" and the window's "连接诊断": asks
// every part a tunnel depends on, one after another, whether it works, and says for
// each what to do when it does not. Needs no window and runs on any thread (the
// window runs it off its UI thread).
//
// In order: the web service answers (and its TLS certificate verifies, when the port
// selects HTTPS); the service accepts the account; the broker accepts the
// installation's credentials and hands back a message sent to the PC's own topic; the
// port-transfer and relay servers accept a TCP connection; the virtual COM folder is
// usable and lumetra-vcom works; OpenVPN runs and may be started; each standard local
// port of the port-forward tunnels (102, 502, 5562, 9600) is free on the listen
// address. Each check takes at most kStepMs, the whole at most kTotalMs; a check whose
// part depends on one that failed (the sign-in on the web service) is reported failed
// without asking.
//
// Needed (the whole fails when one fails): all but the TLS certificate (the client
// does not verify it) and OpenVPN (only the maintenance channel needs it), which are
// warnings.
class PreflightCheck
{
public:
    static constexpr int kStepMs = 5000;
    static constexpr int kTotalMs = 30000;
    // The standard local ports of the port-forward tunnels.
    static constexpr int kStandardPorts[] = {102, 502, 5562, 9600};

    // The account to sign in with; without one the sign-in check fails with its fix.
    struct Account
    {
        std::string user;
        std::string password;
    };

    // The installation's PC identifier must have been settled.
    PreflightCheck(const Installation& installation, Account account);

    // Runs every check; `each` (when given) gets each result as soon as it is known.
    std::vector<PreflightResult> Run(const std::function<void(const PreflightResult&)>& each = {});

    // Whether every needed check passed.
    static bool Passed(const std::vector<PreflightResult>& results);
    // One line for a result: "ok   web service 127.0.0.1:32006  12 ms (HTTP 404)",
    // "FAIL broker 127.0.0.1:1883  3 ms: refused: not authorised — fix: ...", or "warn"
    // for a check that is not needed.
    static std::string Line(const PreflightResult& result);
    // The closing line: every needed check passed, or which failed.
    static std::string Summary(const std::vector<PreflightResult>& results);

private:
    // The time the next check may take: kStepMs, less when the whole is nearly over.
    int StepMs() const;
    // A check not asked because `reason`.
    static PreflightResult NotAsked(const std::string& name, const std::string& target,
                                    const std::string& reason, const std::string& fix);
    PreflightResult TcpServer(const std::string& name, const char* hostEntry, const std::string& hostFallback,
                              const char* portEntry, int portFallback);

    const Installation& installation_;
    Account account_;
    std::chrono::steady_clock::time_point deadline_;
};
