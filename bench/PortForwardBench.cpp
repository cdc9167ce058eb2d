#include "BenchBed.h"
#include "Benchmarks.h"
#include "Latencies.h"
#include "ProcessUse.h"
#include "RelayChain.h"
#include "Report.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QtGlobal>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t kRequestSize = 64;
const char kName[] = "portforward";

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

// The tunnel's bulk echo rate with the trace log's data entries switched off
// (LUMETRA_TRACE_DATA=0 for the client), on a bed of its own, and the client's
// resident growth over it; negative with `error`.
double RateWithoutDataTracing(size_t bytes, long* growthKb, std::string* error)
{
    qputenv("LUMETRA_TRACE_DATA", "0");
    QString where;
    const std::unique_ptr<BenchBed> bed = BenchBed::OpenPortForward(&where, error);
    qunsetenv("LUMETRA_TRACE_DATA");
    if (!bed) {
        return -1;
    }
    const int fd = Wire::ConnectLoopback(where.section(':', -1).toInt(), error);
    const pid_t pid = static_cast<pid_t>(bed->Pid());
    *growthKb = -ProcessUse::ResidentKb(pid);
    const double rate = fd < 0 ? -1 : Wire::EchoThroughput(fd, bytes, error);
    *growthKb += ProcessUse::ResidentKb(pid);
    if (fd >= 0) {
        close(fd);
    }
    bed->Close();
    return rate;
}

} // namespace

int RunPortForwardBench(const BenchSettings& settings, Report& report)
{
    // The trace log as installed: the user's own switch does not count here.
    qunsetenv("LUMETRA_TRACE_DATA");
    QString where;
    std::string error;
    const std::unique_ptr<BenchBed> opened = BenchBed::OpenPortForward(&where, &error);
    if (!opened) {
        return Fail(error);
    }
    BenchBed& bed = *opened;
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
    long residentBefore = -1;
    long residentAfter = -1;
    long residentSettled = -1;
    for (size_t i = paths.size(); ok && i-- > 0;) {
        // The tunnel comes last: the client's resident size is read before and after it.
        if (i == 0) {
            residentBefore = ProcessUse::ResidentKb(static_cast<pid_t>(bed.Pid()));
        }
        paths[i].rate = Wire::EchoThroughput(paths[i].fd, bulk, &error);
        if (i == 0) {
            residentAfter = ProcessUse::ResidentKb(static_cast<pid_t>(bed.Pid()));
            // Once the client's buffers (the trace log's among them, let go after a
            // second without entries) have been written out: what the transfer left
            // behind.
            for (int pass = 0; pass < 20; ++pass) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                bed.Drain();
                QThread::msleep(100);
            }
            residentSettled = ProcessUse::ResidentKb(static_cast<pid_t>(bed.Pid()));
        }
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
    long untracedGrowthKb = 0;
    const double untracedRate = RateWithoutDataTracing(bulk, &untracedGrowthKb, &error);
    if (untracedRate < 0) {
        return Fail("bulk transfer with data tracing off: " + error);
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
    std::printf("  %-44s %10s %10s %10.1f   resident %+.1f MiB\n",
                "tunnel, LUMETRA_TRACE_DATA=0 (bed of its own)", "", "", untracedRate,
                static_cast<double>(untracedGrowthKb) / 1024.0);
    std::printf("  tunnel against the peer: bulk %.0f %%, median round trip %.2f x\n", share, rttFactor);
    std::printf("  %-44s %10.1f -> %.1f, 2 s later %.1f MiB (%+.1f MiB)\n",
                "lumetra-cli resident size, before -> after bulk",
                static_cast<double>(residentBefore) / 1024.0, static_cast<double>(residentAfter) / 1024.0,
                static_cast<double>(residentSettled) / 1024.0,
                static_cast<double>(residentSettled - residentBefore) / 1024.0);

    report.AddSamples(kName, "tunnel", tunnel.times);
    report.AddSamples(kName, "baseline", direct.times);
    report.AddSamples(kName, "peer", peer.times);
    report.Add({kName, "round trip median", "ms", tunnel.times.Median(), direct.times.Median(),
                peer.times.Median(), "port-forward median round trip <= 2 x the peer's", rttFactor <= 2.0});
    report.Add({kName, "round trip p99", "ms", tunnel.times.Percentile(99), direct.times.Percentile(99),
                peer.times.Percentile(99), "", std::nullopt});
    report.Add({kName, "bulk echo", "MiB/s", tunnel.rate, direct.rate, peer.rate,
                "port-forward bulk >= 50 % of the peer (trace log at default)", share >= 50.0});
    report.Add({kName, "bulk echo, data tracing off", "MiB/s", untracedRate, direct.rate, peer.rate,
                "port-forward bulk >= 70 % of the peer (data tracing off)", untracedRate >= 0.7 * peer.rate});
    const double growthMiB = static_cast<double>(residentSettled - residentBefore) / 1024.0;
    if (residentBefore > 0 && residentSettled > 0) {
        report.Add({"memory", "lumetra-cli resident growth over the bulk transfer", "MiB", growthMiB,
                    static_cast<double>(residentBefore) / 1024.0, std::nullopt,
                    "resident growth after " + std::to_string(settings.bulkMiB) + " MiB <= 5 MiB",
                    growthMiB <= 5.0});
    } else {
        report.NotMeasured("memory", "lumetra-cli resident growth over the bulk transfer",
                           "resident growth <= 5 MiB", "VmRSS could not be read");
    }
    if (closed != 0) {
        std::printf("  note: lumetra-cli ended with %d when the tunnel was closed\n", closed);
    }
    // A trace log that could not keep up (or be written) says so: the figure then
    // holds fewer trace entries than bytes.
    for (const QString& line : bed.Err().split('\n')) {
        if (line.startsWith("trace log ")) {
            std::printf("  note: lumetra-cli: %s\n", line.toUtf8().constData());
        }
    }
    return 0;
}
