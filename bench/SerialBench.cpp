#include "BenchBed.h"
#include "Benchmarks.h"
#include "Latencies.h"
#include "PtyBridge.h"
#include "Wire.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t kRequestSize = 64;

int Fail(const std::string& what)
{
    std::printf("serial: FAILED: %s\n", what.c_str());
    return 1;
}

} // namespace

int RunSerialBench(const BenchSettings& settings)
{
    BenchBed bed;
    if (!bed.Start()) {
        return Fail(bed.Error().toStdString());
    }
    const QString comPort = bed.Open(BenchBed::kSerialDevice);
    if (comPort.isEmpty()) {
        return Fail(bed.Error().toStdString());
    }
    QString bridgeEnd;
    QString baselinePort;
    if (!bed.MakeComPair(&bridgeEnd, &baselinePort)) {
        return Fail(bed.Error().toStdString());
    }
    std::string error;
    PtyBridge bridge;
    if (!bridge.Start(bridgeEnd.toStdString(), bed.EchoPort(), &error)) {
        return Fail("baseline bridge: " + error);
    }
    const int tunnelFd = Wire::OpenRawTty(comPort.toStdString(), &error);
    const int baselineFd = tunnelFd < 0 ? -1 : Wire::OpenRawTty(baselinePort.toStdString(), &error);
    if (tunnelFd < 0 || baselineFd < 0) {
        if (tunnelFd >= 0) {
            close(tunnelFd);
        }
        return Fail(error);
    }

    Latencies tunnel;
    Latencies baseline;
    bool ok = Wire::RoundTrips(tunnelFd, settings.warmUp, kRequestSize, 0, nullptr, &error) &&
              Wire::RoundTrips(baselineFd, settings.warmUp, kRequestSize, 0, nullptr, &error);
    // The two paths take turns, so a busy moment of the machine hits both alike.
    for (int round = 1; ok && tunnel.Count() < static_cast<size_t>(settings.exchanges); ++round) {
        ok = Wire::RoundTrips(tunnelFd, settings.block, kRequestSize, round, &tunnel, &error) &&
             Wire::RoundTrips(baselineFd, settings.block, kRequestSize, round, &baseline, &error);
        bed.Drain();
    }
    close(tunnelFd);
    close(baselineFd);
    bridge.Stop();
    const int closed = bed.Close();
    if (!ok) {
        return Fail(error);
    }

    const double medianOverhead = tunnel.Median() - baseline.Median();
    const double p99Overhead = tunnel.Percentile(99) - baseline.Percentile(99);
    std::printf("serial tunnel, %zu-byte round trips, %zu per path\n", kRequestSize, tunnel.Count());
    std::printf("  %-44s %10s %10s\n", "", "median ms", "p99 ms");
    std::printf("  %-44s %10.3f %10.3f\n", "tunnel: COM -> serial tunnel -> far side echo", tunnel.Median(),
                tunnel.Percentile(99));
    std::printf("  %-44s %10.3f %10.3f\n", "baseline: COM -> pty/TCP bridge -> echo", baseline.Median(),
                baseline.Percentile(99));
    std::printf("  %-44s %10.3f %10.3f\n", "overhead", medianOverhead, p99Overhead);
    std::printf("  goal median overhead <= 3 ms: %s; p99 overhead <= 10 ms: %s\n",
                Verdict(medianOverhead <= 3.0), Verdict(p99Overhead <= 10.0));
    if (closed != 0) {
        std::printf("  note: lumetra-cli ended with %d when the tunnel was closed\n", closed);
    }
    return 0;
}
