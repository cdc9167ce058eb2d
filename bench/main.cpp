// lumetra-bench [serial|portforward|dispatch|idle|startup ...] [--exchanges N] [--mib N]
//               [--messages N] [--idle-seconds N] [--startups N] [--json FILE] [--machine TEXT]
//
// Runs the named benchmarks (all when none is named) and prints each one's figures
// beside its baseline and peer, with the goals met or missed; --json also writes them
// (see Report.h). Exit status: 0 when every benchmark measured, 1 when one could not
// or the report could not be written, 2 for a wrong command line.

#include "Benchmarks.h"
#include "Report.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kBenchmarks[] = {"serial", "portforward", "dispatch", "idle", "startup"};

int Usage()
{
    std::fprintf(stderr,
                 "usage: lumetra-bench [serial|portforward|dispatch|idle|startup ...] [--exchanges N] "
                 "[--mib N] [--messages N] [--idle-seconds N] [--startups N] [--json FILE] "
                 "[--machine TEXT]\n");
    return 2;
}

int Run(const std::string& name, const BenchSettings& settings, Report& report)
{
    if (name == "serial") {
        return RunSerialBench(settings, report);
    }
    if (name == "portforward") {
        return RunPortForwardBench(settings, report);
    }
    if (name == "dispatch") {
        return RunDispatchBench(settings, report);
    }
    if (name == "idle") {
        return RunIdleBench(settings, report);
    }
    return RunStartupBench(settings, report);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BenchSettings settings;
    Report report;
    std::string jsonPath;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--json" || word == "--machine") {
            if (i + 1 >= argc) {
                return Usage();
            }
            if (word == "--json") {
                jsonPath = argv[++i];
            } else {
                report.SetMachine(argv[++i]);
            }
        } else if (word.rfind("--", 0) == 0) {
            if (i + 1 >= argc || std::atoi(argv[i + 1]) <= 0) {
                return Usage();
            }
            const int value = std::atoi(argv[++i]);
            if (word == "--exchanges") {
                settings.exchanges = value;
            } else if (word == "--mib") {
                settings.bulkMiB = static_cast<size_t>(value);
            } else if (word == "--messages") {
                settings.messages = value;
            } else if (word == "--idle-seconds") {
                settings.idleSeconds = value;
            } else if (word == "--startups") {
                settings.startups = value;
            } else {
                return Usage();
            }
        } else {
            bool known = false;
            for (const char* name : kBenchmarks) {
                known = known || word == name;
            }
            if (!known) {
                return Usage();
            }
            names.push_back(word);
        }
    }
    if (names.empty()) {
        names.assign(std::begin(kBenchmarks), std::end(kBenchmarks));
    }
    int status = 0;
    for (const std::string& name : names) {
        std::fflush(stdout);
        const int result = Run(name, settings, report);
        std::printf("\n");
        std::fflush(stdout);
        status = status != 0 ? status : result;
    }
    std::string error;
    if (!jsonPath.empty() && !report.Write(jsonPath, &error)) {
        std::fprintf(stderr, "lumetra-bench: %s\n", error.c_str());
        return 1;
    }
    return status;
}
