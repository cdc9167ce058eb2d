#include "BenchBed.h"
#include "Benchmarks.h"
#include "ProcessUse.h"
#include "Report.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int Fail(const std::string& what)
{
    std::printf("idle: FAILED: %s\n", what.c_str());
    return 1;
}

// Lets `seconds` pass while reading what the programs print, so that no pipe fills.
void Wait(BenchBed& first, BenchBed& second, double seconds)
{
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        first.Drain();
        second.Drain();
    }
}

} // namespace

int RunIdleBench(const BenchSettings& settings, Report& report)
{
    // One CLI opens one device, and two CLIs of one installation would share its PC
    // identifier: two installations, each with its own far side, one tunnel each.
    BenchBed serialBed;
    if (!serialBed.Start()) {
        return Fail(serialBed.Error().toStdString());
    }
    if (serialBed.Open(BenchBed::kSerialDevice).isEmpty()) {
        return Fail(serialBed.Error().toStdString());
    }
    QString where;
    std::string error;
    const std::unique_ptr<BenchBed> opened = BenchBed::OpenPortForward(&where, &error);
    if (!opened) {
        return Fail(error);
    }
    BenchBed& forwardBed = *opened;
    // The opening's own work (the registrations, the first pings) settles first.
    Wait(serialBed, forwardBed, 2.0);
    const pid_t pids[2] = {static_cast<pid_t>(serialBed.Pid()), static_cast<pid_t>(forwardBed.Pid())};
    long before[2] = {ProcessUse::CpuTicks(pids[0]), ProcessUse::CpuTicks(pids[1])};
    const Clock::time_point start = Clock::now();
    Wait(serialBed, forwardBed, settings.idleSeconds);
    long after[2] = {ProcessUse::CpuTicks(pids[0]), ProcessUse::CpuTicks(pids[1])};
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int serialClosed = serialBed.Close();
    const int forwardClosed = forwardBed.Close();
    if (before[0] < 0 || before[1] < 0 || after[0] < 0 || after[1] < 0) {
        return Fail("the processor time of lumetra-cli cannot be read from /proc");
    }

    const double tick = 1.0 / static_cast<double>(ProcessUse::TicksPerSecond());
    const double serialShare = 100.0 * static_cast<double>(after[0] - before[0]) * tick / seconds;
    const double forwardShare = 100.0 * static_cast<double>(after[1] - before[1]) * tick / seconds;
    const double total = serialShare + forwardShare;
    std::printf("idle, two lumetra-cli with one tunnel each and no traffic, %.1f s (resolution %.2f %%)\n",
                seconds, 100.0 * tick / seconds);
    std::printf("  %-44s %10s\n", "", "% of a core");
    std::printf("  %-44s %10.2f\n", "serial tunnel", serialShare);
    std::printf("  %-44s %10.2f\n", "port-forward tunnel", forwardShare);
    std::printf("  %-44s %10.2f\n", "both", total);
    report.Add({"idle", "processor time, serial + port-forward tunnel open", "% of a core", total,
                std::nullopt, std::nullopt, "idle < 0.5 % of a core with two tunnels open", total < 0.5});
    if (serialClosed != 0 || forwardClosed != 0) {
        std::printf("  note: lumetra-cli ended with %d and %d when the tunnels were closed\n", serialClosed,
                    forwardClosed);
    }
    return 0;
}
