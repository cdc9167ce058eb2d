// lumetra-bench [serial|portforward|dispatch ...] [--exchanges N] [--mib N] [--messages N]
//
// Runs the named benchmarks (all three when none is named) and prints each one's
// figures beside its baseline. Exit status: 0 when every benchmark measured, 1 when
// one could not, 2 for a wrong command line.

#include "Benchmarks.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: lumetra-bench [serial|portforward|dispatch ...] [--exchanges N] [--mib N] "
                         "[--messages N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BenchSettings settings;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind("--", 0) == 0) {
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
            } else {
                return Usage();
            }
        } else if (word == "serial" || word == "portforward" || word == "dispatch") {
            names.push_back(word);
        } else {
            return Usage();
        }
    }
    if (names.empty()) {
        names = {"serial", "portforward", "dispatch"};
    }
    int status = 0;
    for (const std::string& name : names) {
        std::fflush(stdout);
        const int result = name == "serial"        ? RunSerialBench(settings)
                           : name == "portforward" ? RunPortForwardBench(settings)
                                                   : RunDispatchBench(settings);
        std::printf("\n");
        std::fflush(stdout);
        status = status != 0 ? status : result;
    }
    return status;
}
