#pragma once

// The level the window's buttons binarise at, and every other caller's default.
constexpr int DefaultLevel = 50;

// What a measurement is asked to do.
struct MeasureSettings {
    // A pixel is white when the integer mean of its three colour bytes is above the level.
    int level = DefaultLevel;
};

// The line's angle from the horizontal in degrees: atan of the slope, taken in double and kept
// as a 32-bit float like the slope it comes from.
float AngleOf(float slope);
