#include "BenchBed.h"
#include "Benchmarks.h"
#include "Latencies.h"
#include "Report.h"
#include "VirtualDisplay.h"

#include "support/ProgramRun.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

namespace {

using Clock = std::chrono::steady_clock;

// A drawn login view has text and edges in many shades; a window not drawn yet shows
// one colour (the black root window behind it).
constexpr size_t kDrawnColours = 16;

int Fail(const std::string& what)
{
    std::printf("startup: FAILED: %s\n", what.c_str());
    return 1;
}

uint32_t Word(const QByteArray& data, int index)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData()) + 4 * index;
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

// The number of distinct pixel values in an xwd picture of 24 or 32 bits per pixel
// (0 for anything else). The header is 25 big-endian words: header size (word 0),
// height (5), bits per pixel (11), bytes per line (12), colour map entries (19);
// 12 bytes per colour entry follow the header, then the pixels.
size_t DistinctColours(const QByteArray& xwd)
{
    if (xwd.size() < 100) {
        return 0;
    }
    const uint32_t headerSize = Word(xwd, 0);
    const uint32_t height = Word(xwd, 5);
    const uint32_t bitsPerPixel = Word(xwd, 11);
    const uint32_t bytesPerLine = Word(xwd, 12);
    const uint32_t colours = Word(xwd, 19);
    const uint64_t pixelsAt = uint64_t{headerSize} + 12u * uint64_t{colours};
    const uint32_t width = Word(xwd, 4);
    if (bitsPerPixel != 32 || uint64_t{width} * 4 > bytesPerLine ||
        pixelsAt + uint64_t{height} * bytesPerLine > static_cast<uint64_t>(xwd.size())) {
        return 0;
    }
    std::unordered_set<uint32_t> seen;
    for (uint32_t y = 0; y < height && seen.size() < kDrawnColours; ++y) {
        const char* line = xwd.constData() + pixelsAt + uint64_t{y} * bytesPerLine;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, line + 4 * x, 4);
            seen.insert(pixel & 0x00ffffffu);
        }
    }
    return seen.size();
}

// Runs a program under the display with a bounded wait and returns what it printed.
QByteArray Output(const QString& program, const QStringList& arguments, const QProcessEnvironment& env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
        return {};
    }
    return process.readAllStandardOutput();
}

struct Start
{
    double mappedMs = -1; // the window found visible
    double drawnMs = -1;  // the window's picture no longer blank
    int polls = 0;
};

// Starts `lumetra` and polls for its visible "Lumetra" window, then for a picture of
// it that is not blank. Times from the moment before the start.
Start MeasureStart(const QProcessEnvironment& env, std::string* error)
{
    Start result;
    QProcess client;
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::MergedChannels);
    const Clock::time_point begin = Clock::now();
    client.start(ProgramRun::BuiltProgram("lumetra"), {});
    if (!client.waitForStarted(5000)) {
        *error = "lumetra: " + client.errorString().toStdString();
        return result;
    }
    const QString pid = QString::number(client.processId());
    QString window;
    const Clock::time_point deadline = begin + std::chrono::seconds(20);
    while (result.drawnMs < 0 && Clock::now() < deadline && client.state() == QProcess::Running) {
        ++result.polls;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (window.isEmpty()) {
            window =
                QString::fromUtf8(
                    Output("xdotool",
                           {"search", "--all", "--onlyvisible", "--pid", pid, "--name", "^Lumetra$"}, env))
                    .section('\n', 0, 0)
                    .trimmed();
            if (!window.isEmpty()) {
                result.mappedMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
            }
            continue;
        }
        if (DistinctColours(Output("xwd", {"-silent", "-id", window}, env)) >= kDrawnColours) {
            result.drawnMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        }
    }
    if (result.drawnMs < 0) {
        *error = client.state() != QProcess::Running
                     ? "lumetra ended with " + std::to_string(client.exitCode()) + ": " +
                           client.readAll().toStdString()
                 : window.isEmpty() ? "no visible Lumetra window within 20 s"
                                    : "the Lumetra window stayed blank for 20 s";
    }
    client.terminate();
    if (!client.waitForFinished(5000)) {
        client.kill();
        client.waitForFinished(5000);
    }
    return result;
}

} // namespace

int RunStartupBench(const BenchSettings& settings, Report& report)
{
    BenchBed bed;
    if (!bed.Start()) {
        return Fail(bed.Error().toStdString());
    }
    VirtualDisplay display;
    std::string error;
    if (!display.Start(&error)) {
        return Fail(error);
    }
    QProcessEnvironment env = bed.Environment();
    env.insert("DISPLAY", display.Name());
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");

    // The first start fills the file system's caches; it is not counted.
    Latencies drawn;
    Latencies mapped;
    double pollMs = 0;
    int polls = 0;
    for (int run = 0; run <= settings.startups; ++run) {
        const Start start = MeasureStart(env, &error);
        if (start.drawnMs < 0) {
            return Fail(error);
        }
        if (run > 0) {
            drawn.Add(start.drawnMs);
            mapped.Add(start.mappedMs);
            pollMs += start.drawnMs;
            polls += start.polls;
        }
    }
    const double resolution = pollMs / polls;
    std::printf(
        "start-up, `lumetra` to its login view drawn, %zu starts under Xvfb (resolution about %.0f ms)\n",
        drawn.Count(), resolution);
    std::printf("  %-44s %10s %10s\n", "", "median ms", "max ms");
    std::printf("  %-44s %10.0f %10.0f\n", "window visible", mapped.Median(), mapped.Percentile(100));
    std::printf("  %-44s %10.0f %10.0f\n", "login view drawn", drawn.Median(), drawn.Percentile(100));
    report.AddSamples("startup", "login view drawn", drawn);
    report.Add({"startup", "start to login view drawn, median", "ms", drawn.Median(), std::nullopt,
                std::nullopt, "start to login view < 0.5 s", drawn.Median() < 500.0});
    return 0;
}
