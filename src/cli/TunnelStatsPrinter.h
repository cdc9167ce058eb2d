#pragma once

#include <QTimer>

#include <functional>
#include <vector>

class CDataTunnel;

// `lumetra-cli open --stats`: once a second, one line per open tunnel on standard
// output, "stats: <devsn> tx=<bytes> rx=<bytes> rate=<B/s> rtt50=<ms> rtt95=<ms>
// timeout=<ms>" (TunnelStats::Line), in the order the tunnels are given.
class TunnelStatsPrinter
{
public:
    static constexpr int kPeriodMs = 1000;
    // The tunnels to report on at each tick (the ones open and ready).
    using Tunnels = std::function<std::vector<const CDataTunnel*>()>;

    void Start(Tunnels tunnels);
    void Stop();

private:
    void Print();

    Tunnels tunnels_;
    QTimer timer_;
};
