#pragma once

#include <cstddef>
#include <vector>

// Where a run's angles lie: the middle, the spread, and the band that holds nine tenths of them.
struct Spread {
    std::size_t count = 0;
    double median = 0;
    // The sample standard deviation (n - 1); 0 for a single value.
    double sd = 0;
    double p5 = 0;
    double p95 = 0;
};

// The values' spread; NaN stands for no value and is left out.
Spread SpreadOf(std::vector<float> values);

// The p-th quantile (0 to 1) of the values, interpolated between the two nearest, as
// spreadsheets and NumPy take it by default. The values are reordered, not sorted: a run's
// hundred thousand angles take a fraction of a sort's time.
double Quantile(std::vector<float>& values, double p);
