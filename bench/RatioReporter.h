#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// The name of the statistic, over a benchmark's repetitions, that the tables use.
inline const std::string BestStatistic = "best";

// Prints what the console reporter prints and keeps each benchmark's best repetition, so that
// the tables at the end set every figure against the memory copy measured in the same run.
// Benchmarks are named "<kind>/<picture>" and compute BestStatistic.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // One row per picture: the copy, then each other kind as time and ratio to the copy.
    void PrintTable(const std::string& title, const std::vector<std::string>& pictures,
                    const std::string& reference, const std::vector<std::string>& kinds) const;

private:
    double bestMilliseconds(const std::string& kind, const std::string& picture) const;

    std::map<std::string, double> bestMilliseconds_;
};
