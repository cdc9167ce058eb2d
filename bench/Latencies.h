#pragma once

#include <cstddef>
#include <vector>

// Round-trip times of one path, in milliseconds.
class Latencies
{
public:
    void Add(double milliseconds) { samples_.push_back(milliseconds); }
    size_t Count() const { return samples_.size(); }
    // The p-th percentile (0 < p <= 100) by nearest rank; 0 without samples.
    double Percentile(double p) const;
    double Median() const { return Percentile(50); }
    const std::vector<double>& Samples() const { return samples_; }

private:
    std::vector<double> samples_;
};
