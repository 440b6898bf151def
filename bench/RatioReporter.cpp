#include "RatioReporter.h"

#include <cmath>
#include <cstdio>

namespace {

double toMilliseconds(double time, benchmark::TimeUnit unit)
{
    switch (unit) {
    case benchmark::kNanosecond:
        return time / 1e6;
    case benchmark::kMicrosecond:
        return time / 1e3;
    case benchmark::kMillisecond:
        return time;
    case benchmark::kSecond:
        return time * 1e3;
    }
    return time;
}

}

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (!run.error_occurred && run.run_type == Run::RT_Aggregate && run.aggregate_name == BestStatistic)
            bestMilliseconds_[run.run_name.function_name] = toMilliseconds(run.GetAdjustedRealTime(), run.time_unit);
    }
}

double RatioReporter::bestMilliseconds(const std::string& kind, const std::string& picture) const
{
    const auto found = bestMilliseconds_.find(kind + "/" + picture);
    return found == bestMilliseconds_.end() ? NAN : found->second;
}

void RatioReporter::PrintTable(const std::string& title, const std::vector<std::string>& pictures,
                               const std::string& reference, const std::vector<std::string>& kinds) const
{
    std::printf("\n%s (best repetition, ms; ratio = time / %s)\n", title.c_str(), reference.c_str());
    std::printf("%-22s %10s", "picture", reference.c_str());
    for (const std::string& kind : kinds)
        std::printf(" %12s %7s", kind.c_str(), "ratio");
    std::printf("\n");
    for (const std::string& picture : pictures) {
        const double base = bestMilliseconds(reference, picture);
        std::printf("%-22s %10.3f", picture.c_str(), base);
        for (const std::string& kind : kinds) {
            const double time = bestMilliseconds(kind, picture);
            std::printf(" %12.3f %7.2f", time, time / base);
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}
