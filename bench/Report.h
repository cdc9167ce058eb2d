#pragma once

#include "app/JsonPtr.h"

#include <optional>
#include <string>

class Latencies;

// The figures of one run of lumetra-bench, for the JSON file scripts/bench keeps and
// plots: each figure with what it is compared with (a baseline, a peer or both), its
// goal and whether the goal was met, the machine, and every round-trip sample.
//
//   {"format": "lumetra-bench 1", "date": ..., "machine": ...,
//    "figures": [{"benchmark", "name", "unit", "value", "baseline"?, "peer"?,
//                 "goal"?, "met"? (true/false/absent when not measurable)}],
//    "samples": {"<benchmark>": {"<path>": [ms, ...]}}}
class Report
{
public:
    struct Figure
    {
        std::string benchmark;
        std::string name;
        std::string unit;
        double value = 0;
        std::optional<double> baseline;
        std::optional<double> peer;
        std::string goal; // empty: a figure without a goal
        std::optional<bool> met;
    };

    Report();

    void SetMachine(const std::string& machine);
    // Adds the figure; one with a goal is also printed as "  goal <goal>: met|MISSED"
    // (or "n/a" when it could not be measured).
    void Add(const Figure& figure);
    // A goal that cannot be measured in this build: printed and kept with its reason.
    void NotMeasured(const std::string& benchmark, const std::string& name, const std::string& goal,
                     const std::string& reason);
    void AddSamples(const std::string& benchmark, const std::string& path, const Latencies& times);

    // Writes the report to `path`; false with the reason in `error`.
    bool Write(const std::string& path, std::string* error) const;

private:
    JsonPtr root_;
    cJSON* figures_ = nullptr;
    cJSON* samples_ = nullptr;
};
