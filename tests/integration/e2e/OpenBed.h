#pragma once

// `lumetra-cli open` against the whole far side on loopback: a mosquitto broker, a
// lumetra-farside with its broker services, port-transfer and relay servers and
// simulated devices, and the real virtual COM pair tool. Every port is a free one
// except the port-forward tunnel's local listener, whose port follows the device
// type. Whatever the test started is ended with it, also when it fails.

#include "support/FarsideProcess.h"
#include "support/MosquittoBroker.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>

class OpenBed
{
public:
    static constexpr const char* kGateway = "GW-E2E-01";

    OpenBed() = default;
    ~OpenBed();
    OpenBed(const OpenBed&) = delete;
    OpenBed& operator=(const OpenBed&) = delete;

    // Starts the broker and the far side over the test inventory. False with the
    // reason in Error().
    bool Start();
    QString Error() const { return error_; }

    // Starts `lumetra-cli open <gateway> <device>` signed in as the test account.
    void Open(const std::string& device);
    // Waits until the program printed a line starting with `prefix` and returns the
    // rest of that line; empty when it ended or the time ran out first.
    QString WaitForLine(const QString& prefix, int timeoutMs = 30000);
    // Waits for the program's end; -1 when it had to be killed or crashed.
    int WaitForExit(int timeoutMs = 20000);
    // SIGINT, then WaitForExit.
    int Interrupt();

    QString Out() const { return out_; }
    QString Err() const { return err_; }
    FarsideProcess& Farside() { return farside_; }

private:
    void Drain();
    void RemoveComPairs();

    MosquittoBroker broker_;
    TempDir home_;
    QString vcomDir_;
    FarsideProcess farside_;
    QProcess cli_;
    QString out_;
    QString err_;
    QString error_;
};
