#include "ReportStatistics.h"

#include <algorithm>
#include <cmath>

double Quantile(std::vector<float>& values, double p)
{
    if (values.empty())
        return 0;
    const double place = p * double(values.size() - 1);
    const std::size_t below = std::size_t(std::floor(place));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(below), values.end());
    const double low = values[below];
    // The next value up is the least of those after it.
    const double high = below + 1 < values.size() ? *std::min_element(values.begin() + std::ptrdiff_t(below) + 1, values.end())
                                                  : low;
    return low + (place - double(below)) * (high - low);
}

Spread SpreadOf(std::vector<float> values)
{
    std::erase_if(values, [](float value) { return std::isnan(value); });
    Spread spread;
    spread.count = values.size();
    if (values.empty())
        return spread;
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
