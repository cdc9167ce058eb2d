#include "Latencies.h"

#include <algorithm>
#include <cmath>

double Latencies::Percentile(double p) const
{
    if (samples_.empty()) {
        return 0;
    }
    std::vector<double> sorted = samples_;
    std::sort(sorted.begin(), sorted.end());
    const double rank = std::ceil(p / 100.0 * static_cast<double>(sorted.size()));
    const size_t index = static_cast<size_t>(std::max(1.0, rank)) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}
