#include "BenchBed.h"
#include "Benchmarks.h"
#include "Latencies.h"
#include "Wire.h"

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
    const int listenerPort = where.section(':', -1).toInt();
    std::string error;
    const int tunnelFd = Wire::ConnectLoopback(listenerPort, &error);
    const int directFd = tunnelFd < 0 ? -1 : Wire::ConnectLoopback(bed.EchoPort(), &error);
    if (tunnelFd < 0 || directFd < 0) {
        if (tunnelFd >= 0) {
            close(tunnelFd);
        }
        return Fail(error);
    }

    Latencies tunnel;
    Latencies direct;
    bool ok = Wire::RoundTrips(tunnelFd, settings.warmUp, kRequestSize, 0, nullptr, &error) &&
              Wire::RoundTrips(directFd, settings.warmUp, kRequestSize, 0, nullptr, &error);
    // The two paths take turns, so a busy moment of the machine hits both alike.
    for (int round = 1; ok && tunnel.Count() < static_cast<size_t>(settings.exchanges); ++round) {
        ok = Wire::RoundTrips(tunnelFd, settings.block, kRequestSize, round, &tunnel, &error) &&
             Wire::RoundTrips(directFd, settings.block, kRequestSize, round, &direct, &error);
        bed.Drain();
    }
    const size_t bulk = settings.bulkMiB * 1024 * 1024;
    double directRate = -1;
    double tunnelRate = -1;
    if (ok) {
        directRate = Wire::EchoThroughput(directFd, bulk, &error);
        ok = directRate > 0;
        if (!ok) {
            error = "direct bulk transfer: " + error;
        }
    }
    if (ok) {
        tunnelRate = Wire::EchoThroughput(tunnelFd, bulk, &error);
        ok = tunnelRate > 0;
        if (!ok) {
            error = "bulk transfer through the tunnel: " + error;
        }
    }
    close(tunnelFd);
    close(directFd);
    const int closed = bed.Close();
    if (!ok) {
        return Fail(error);
    }

    const double medianOverhead = tunnel.Median() - direct.Median();
    std::printf("port-forward tunnel (listener %s), %zu-byte round trips, %zu per path; %zu MiB echoed\n",
                where.toUtf8().constData(), kRequestSize, tunnel.Count(), settings.bulkMiB);
    std::printf("  %-44s %10s %10s %10s\n", "", "median ms", "p99 ms", "MiB/s");
    std::printf("  %-44s %10.3f %10.3f %10.1f\n", "tunnel: listener -> relay -> echo", tunnel.Median(),
                tunnel.Percentile(99), tunnelRate);
    std::printf("  %-44s %10.3f %10.3f %10.1f\n", "baseline: direct TCP to the echo", direct.Median(),
                direct.Percentile(99), directRate);
    std::printf("  %-44s %10.3f %10.3f\n", "overhead", medianOverhead,
                tunnel.Percentile(99) - direct.Percentile(99));
    std::printf("  goal median overhead <= 1 ms: %s; throughput >= 20 MiB/s: %s\n",
                Verdict(medianOverhead <= 1.0), Verdict(tunnelRate >= 20.0));
    if (closed != 0) {
        std::printf("  note: lumetra-cli ended with %d when the tunnel was closed\n", closed);
    }
    return 0;
}
