#pragma once

// The whole far side on loopback for the tunnel benchmarks (FarsideBed) over an
// inventory with one gateway and two echo devices, and `lumetra-cli open` to open a
// tunnel to one of them, as a user would.
//
//   - kSerialDevice: a serial device (tunnel type 2) that echoes every byte, reached
//     through the port-transfer server, answers over the same connection;
//   - kNetDevice: a TCP echo server (tunnel type 1) on a free port, reached through
//     the relay server. Its device type is the one given to Start, which chooses the
//     port the client's local listener takes (502, 102, 5562 or 9600).
//
// Everything started is ended with the object: the CLI, the far side, the broker and
// the virtual COM pairs made in its folders.

#include "support/FarsideBed.h"

#include <QString>

#include <memory>
#include <string>

class BenchBed : public FarsideBed
{
public:
    static constexpr const char* kGateway = "GW-BENCH-01";
    static constexpr const char* kSerialDevice = "ECHO-SERIAL";
    static constexpr const char* kNetDevice = "ECHO-NET";

    BenchBed();
    ~BenchBed() override;

    // The first device type whose listener port can be bound now (0 when none).
    static int FreeListenerDeviceType();

    // A started bed with the port-forward tunnel open on the first listener port free
    // at that moment, `where` set to its host:port. The machine is shared: when the
    // port is taken between the check and the open, the next free one is tried, three
    // times at most. Null with the reason in `error` when no attempt succeeded.
    static std::unique_ptr<BenchBed> OpenPortForward(QString* where, std::string* error);

    // Starts the broker and the far side. False with the reason in Error().
    bool Start(int netDeviceType = 2);
    // The port of the TCP echo device (the kNetDevice server itself).
    int EchoPort() const { return echoPort_; }

    // Runs `lumetra-cli open <gateway> <device>` and returns what its "ready: " line
    // names (a COM port path or host:port); empty with Error() when it fails.
    QString Open(const std::string& device);
    // SIGINT to the CLI (closing the tunnel) and its exit code; -1 when it had to be
    // killed.
    int Close();

    // Makes a virtual COM pair with lumetra-vcom in a folder of its own (never one
    // the client would pick up) and returns its CNCA and CNCB ends; false with
    // Error() when the tool fails.
    bool MakeComPair(QString* programEnd, QString* userEnd);

private:
    QString pairDir_;
    int echoPort_ = 0;
};
