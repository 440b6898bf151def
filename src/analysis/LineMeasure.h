#pragma once

#include "LineFit.h"
#include "RowScan.h"

#include <cstdint>
#include <optional>

// What a measurement is asked for: the level the end points are found at, and whether the
// line is also fitted through its whole length.
struct MeasureSettings {
    int level = DefaultLevel;
    bool fit = false;
};

// A picture's measurement: the end points and slope as the window finds them, whether a slope
// was computed, and the fitted line when one was asked for and found.
struct LineMeasurement {
    ScanResult result;
    bool computed = false;
    std::optional<FittedLine> fit;
};

// Both measurements of a picture that arrives a row at a time, top to bottom; the fit only
// when the settings ask for it, so that a run without it costs what it did.
class LineMeasure {
public:
    LineMeasure(int width, int height, const MeasureSettings& settings);

    // bytesPerPixel: 3 (three colour bytes in any order), 4 (three, then one that is ignored)
    // or 1 (grey).
    void addRow(const std::uint8_t* pixels, int bytesPerPixel = 3)
    {
        scan_.addRow(pixels, bytesPerPixel);
        if (fit_)
            fit_->AddRow(pixels, bytesPerPixel);
    }

    LineMeasurement finish();

private:
    RowScan scan_;
    std::optional<LineFit> fit_;
};
