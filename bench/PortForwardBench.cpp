#include "BenchBed.h"
#include "Benchmarks.h"
#include "Latencies.h"
#include "RelayChain.h"
#include "Wire.h"

#include <array>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t kRequestSize = 64;

int Fail(const std::string& what)
{
    std::printf("port-forward: FAILED: %s\n", what.c_str());
    return 1;
}

// One measured way to the echo device: its connection and figures.
struct Path
{
    explicit Path(const char* label) : name(label) {}
    const char* name;
    int fd = -1;
    Latencies times;
    double rate = -1;
};

} // namespace

int RunPortForwardBench(const BenchSettings& settings)
{
    const int deviceType = BenchBed::FreeListenerDeviceType();
    if (deviceType == 0) {
        return Fail("none of the listener ports 9600, 5562, 102, 502 can be bound on 127.0.0.1");
    }
    BenchBed bed;
    if (!bed.Start(deviceType)) {
        return Fail(bed.Error().toStdString());
    }
    const QString where = bed.Open(BenchBed::kNetDevice);
    if (where.isEmpty()) {
        return Fail(bed.Error().toStdString());
    }
    std::string error;
    RelayChain chain;
    if (!chain.Start(bed.EchoPort(), &error)) {
        return Fail("relay chain: " + error);
    }
    std::array<Path, 3> paths{Path("tunnel: listener -> relay -> echo"),
                              Path("peer: two socat relays -> echo"),
                              Path("baseline: direct TCP to the echo")};
    const std::array<int, 3> ports{where.section(':', -1).toInt(), chain.FrontPort(), bed.EchoPort()};
    bool ok = true;
    for (size_t i = 0; ok && i < paths.size(); ++i) {
        paths[i].fd = Wire::ConnectLoopback(ports[i], &error);
        ok = paths[i].fd >= 0 &&
             Wire::RoundTrips(paths[i].fd, settings.warmUp, kRequestSize, 0, nullptr, &error);
    }
    // The paths take turns, so a busy moment of the machine hits them alike.
    for (int round = 1; ok && paths[0].times.Count() < static_cast<size_t>(settings.exchanges); ++round) {
        for (Path& path : paths) {
            ok = ok && Wire::RoundTrips(path.fd, settings.block, kRequestSize, round, &path.times, &error);
        }
        bed.Drain();
    }
    const size_t bulk = settings.bulkMiB * 1024 * 1024;
    for (size_t i = paths.size(); ok && i-- > 0;) {
        paths[i].rate = Wire::EchoThroughput(paths[i].fd, bulk, &error);
        ok = paths[i].rate > 0;
        if (!ok) {
            error = std::string("bulk transfer, ") + paths[i].name + ": " + error;
        }
    }
    for (Path& path : paths) {
        if (path.fd >= 0) {
            close(path.fd);
        }
    }
    const int closed = bed.Close();
    if (!ok) {
        return Fail(error);
    }

    const Path& tunnel = paths[0];
    const Path& peer = paths[1];
    const Path& direct = paths[2];
    const double medianOverhead = tunnel.times.Median() - direct.times.Median();
    std::printf("port-forward tunnel (listener %s), %zu-byte round trips, %zu per path; %zu MiB echoed\n",
                where.toUtf8().constData(), kRequestSize, tunnel.times.Count(), settings.bulkMiB);
    std::printf("  %-44s %10s %10s %10s\n", "", "median ms", "p99 ms", "MiB/s");
    for (const Path& path : paths) {
        std::printf("  %-44s %10.3f %10.3f %10.1f\n", path.name, path.times.Median(),
                    path.times.Percentile(99), path.rate);
    }
    std::printf("  %-44s %10.3f %10.3f\n", "tunnel overhead over direct", medianOverhead,
                tunnel.times.Percentile(99) - direct.times.Percentile(99));
    const double share = 100.0 * tunnel.rate / peer.rate;
    const double rttFactor = tunnel.times.Median() / peer.times.Median();
    std::printf("  tunnel against the peer: bulk %.0f %%, median round trip %.2f x\n", share, rttFactor);
    std::printf("  goal bulk >= 50 %% of the peer (trace log on): %s; >= 70 %% (data tracing off): %s;"
                " median round trip <= 2 x the peer's: %s\n",
                Verdict(share >= 50.0), Verdict(share >= 70.0), Verdict(rttFactor <= 2.0));
    if (closed != 0) {
        std::printf("  note: lumetra-cli ended with %d when the tunnel was closed\n", closed);
    }
    return 0;
}
