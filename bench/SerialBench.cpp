#include "BenchBed.h"
#include "Benchmarks.h"
#include "Latencies.h"
#include "PtyBridge.h"
#include "Report.h"
#include "Socat.h"
#include "Wire.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t kRequestSize = 64;
const char kName[] = "serial";

int Fail(const std::string& what)
{
    std::printf("serial: FAILED: %s\n", what.c_str());
    return 1;
}

} // namespace

int RunSerialBench(const BenchSettings& settings, Report& report)
{
    if (!Socat::Available()) {
        return Fail("socat is not installed (scripts/bootstrap installs it)");
    }
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
    QString socatEnd;
    QString peerPort;
    if (!bed.MakeComPair(&bridgeEnd, &baselinePort) || !bed.MakeComPair(&socatEnd, &peerPort)) {
        return Fail(bed.Error().toStdString());
    }
    std::string error;
    PtyBridge bridge;
    if (!bridge.Start(bridgeEnd.toStdString(), bed.EchoPort(), &error)) {
        return Fail("baseline bridge: " + error);
    }
    // The peer: socat between the program's end of a COM pair and the echo device.
    Socat socat;
    if (!socat.Start(QStringLiteral("OPEN:%1,rawer").arg(socatEnd),
                     QStringLiteral("TCP:127.0.0.1:%1,nodelay").arg(bed.EchoPort()), &error)) {
        return Fail("peer: " + error);
    }
    // tunnel, baseline (bridge), peer (socat)
    const QString paths[3] = {comPort, baselinePort, peerPort};
    int fds[3] = {-1, -1, -1};
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) {
        fds[i] = Wire::OpenRawTty(paths[i].toStdString(), &error);
        ok = fds[i] >= 0;
    }
    Latencies times[3];
    for (int i = 0; i < 3 && ok; ++i) {
        ok = Wire::RoundTrips(fds[i], settings.warmUp, kRequestSize, 0, nullptr, &error);
    }
    // The paths take turns, so a busy moment of the machine hits all alike.
    for (int round = 1; ok && times[0].Count() < static_cast<size_t>(settings.exchanges); ++round) {
        for (int i = 0; i < 3 && ok; ++i) {
            ok = Wire::RoundTrips(fds[i], settings.block, kRequestSize, round, &times[i], &error);
        }
        bed.Drain();
    }
    for (const int fd : fds) {
        if (fd >= 0) {
            close(fd);
        }
    }
    socat.Stop();
    bridge.Stop();
    const int closed = bed.Close();
    if (!ok) {
        return Fail(error);
    }

    const Latencies& tunnel = times[0];
    const Latencies& baseline = times[1];
    const Latencies& peer = times[2];
    const double medianOverhead = tunnel.Median() - baseline.Median();
    const double p99Overhead = tunnel.Percentile(99) - baseline.Percentile(99);
    std::printf("serial tunnel, %zu-byte round trips, %zu per path\n", kRequestSize, tunnel.Count());
    std::printf("  %-44s %10s %10s\n", "", "median ms", "p99 ms");
    std::printf("  %-44s %10.3f %10.3f\n", "tunnel: COM -> serial tunnel -> far side echo", tunnel.Median(),
                tunnel.Percentile(99));
    std::printf("  %-44s %10.3f %10.3f\n", "baseline: COM -> pty/TCP bridge -> echo", baseline.Median(),
                baseline.Percentile(99));
    std::printf("  %-44s %10.3f %10.3f\n", "peer: COM -> socat -> echo", peer.Median(), peer.Percentile(99));
    std::printf("  %-44s %10.3f %10.3f\n", "overhead over the bridge", medianOverhead, p99Overhead);

    report.AddSamples(kName, "tunnel", tunnel);
    report.AddSamples(kName, "baseline", baseline);
    report.AddSamples(kName, "peer", peer);
    report.Add({kName, "round trip median", "ms", tunnel.Median(), baseline.Median(), peer.Median(),
                "serial median overhead over the bridge <= 0.3 ms", medianOverhead <= 0.3});
    report.Add({kName, "round trip p99", "ms", tunnel.Percentile(99), baseline.Percentile(99),
                peer.Percentile(99), "serial p99 overhead over the bridge <= 1 ms", p99Overhead <= 1.0});
    if (closed != 0) {
        std::printf("  note: lumetra-cli ended with %d when the tunnel was closed\n", closed);
    }
    return 0;
}
