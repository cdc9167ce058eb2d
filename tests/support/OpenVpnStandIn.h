#pragma once

#include "support/ScopedEnv.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// The OpenVPN stand-in (tests/support/openvpn-stand-in) installed as `name` in
// `folder`, with that folder first on PATH and the stand-in's files named in the
// environment for the object's life, so that StartVpnClient and lumetra-cli (which
// inherit the environment) start it instead of the real client. Stand-in processes
// of this copy that still run when the object goes are killed.
class OpenVpnStandIn
{
public:
    enum class OnTerm
    {
        Exit, // exits with status 0 on SIGTERM
        Stay, // keeps running after SIGTERM; only SIGKILL ends it
    };

    explicit OpenVpnStandIn(const QString& folder, OnTerm onTerm = OnTerm::Exit,
                            const QString& name = QStringLiteral("openvpn"));
    ~OpenVpnStandIn();
    OpenVpnStandIn(const OpenVpnStandIn&) = delete;
    OpenVpnStandIn& operator=(const OpenVpnStandIn&) = delete;

    // The stand-in as built (its kernel name "openvpn_stand_i" contains "openvpn":
    // copy it under another name to run it outside the "openvpn" lock).
    static QString BuiltProgram();

    bool IsInstalled() const { return installed_; }
    QString Name() const { return program_.section('/', -1); }

    // The record the latest stand-in wrote (its pid, its arguments, its working
    // folder, one a line), once there is one; empty when none came within the time.
    QStringList WaitForRecord(int timeoutMs = 10000) const;
    // Removes the record, so that the next start can be waited for.
    void ForgetRecord() const;
    // The SIGTERMs the stand-ins got: "TERM <pid>" each.
    QStringList Terms() const;
    // The processes running this copy, in pid order.
    std::vector<int64_t> Running() const;
    // The processes with "openvpn" in their name working in `folder`: the clients
    // of the installation whose working folder it is, real or stand-ins.
    static std::vector<int64_t> ClientsIn(const QString& folder);

private:
    QString folder_;
    QString program_;
    bool installed_ = false;
    std::vector<std::unique_ptr<ScopedEnv>> environment_;
};
