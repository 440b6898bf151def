#include "ReportStatistics.h"

#include <algorithm>
#include <cmath>

double Quantile(const std::vector<float>& sorted, double p)
{
    if (sorted.empty())
        return 0;
    const double place = p * double(sorted.size() - 1);
    const std::size_t below = std::size_t(std::floor(place));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    const double share = place - double(below);
    return double(sorted[below]) + share * (double(sorted[above]) - double(sorted[below]));
}

Spread SpreadOf(std::vector<float> values)
{
    std::erase_if(values, [](float value) { return std::isnan(value); });
    Spread spread;
    spread.count = values.size();
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    spread.median = Quantile(values, 0.5);
    spread.p5 = Quantile(values, 0.05);
    spread.p95 = Quantile(values, 0.95);
    // Two passes, so that angles near each other far from 0 lose no digits to cancellation.
    double sum = 0;
    for (float value : values)
        sum += value;
    const double mean = sum / double(values.size());
    double squares = 0;
    for (float value : values)
        squares += (value - mean) * (value - mean);
    spread.sd = values.size() > 1 ? std::sqrt(squares / double(values.size() - 1)) : 0;
    return spread;
}
