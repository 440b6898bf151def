#pragma once

#include "Graphics.h"

#include <cstdint>
#include <string>

struct ScanResult {
    std::int32_t FrX = 0;
    std::int32_t FrY = 0;
    std::int32_t ReX = 0;
    std::int32_t ReY = 0;
    float Slope = 0.0f;
};

// Caption prefixes, as Big5 bytes: "右邊座標:", "左邊座標:" and "斜率:".
inline const std::string FrCaptionPrefix = "\xA5\x6B\xC3\xE4\xAE\x79\xBC\xD0:";
inline const std::string ReCaptionPrefix = "\xA5\xAA\xC3\xE4\xAE\x79\xBC\xD0:";
inline const std::string SlopeCaptionPrefix = "\xB1\xD7\xB2\x76:";

// The level the window's buttons binarise at, and every other caller's default.
constexpr int DefaultLevel = 50;

// The line's angle from the horizontal in degrees: atan of the slope, taken in double and kept
// as a 32-bit float like the slope it comes from.
float AngleOf(float slope);

struct ResultCaptions {
    std::string Fr;
    std::string Re;
    std::string Slope;
};

// Where FindSlope shows its captions: the window installs one that sets them on Form1. Without
// one they are shown nowhere.
using CaptionSink = void (*)(const ResultCaptions& captions);
void SetCaptionSink(CaptionSink sink);

class Process {
public:
    // Each pixel becomes white (255 in all three bytes) when the integer mean of its three bytes
    // is above level, black otherwise. The bitmap ends at 24 bits per pixel.
    void Binarize(Graphics::TBitmap* bitmap, int level);

    // Finds the bottom-most white pixel of the first white column from the left and from the
    // right (the right-hand scan stops before column 0), stores them and |dy/dx| in *result,
    // and shows the captions through the caption sink when there is one. False when dx or dy
    // is zero, in which case Slope is left as it was.
    bool FindSlope(Graphics::TBitmap* bitmap, ScanResult* result);
};

// The measurement without a window: the end points and slope of a 24-bit bitmap.
bool ScanEndPoints(const Graphics::TBitmap& bitmap, ScanResult* result);

// Stores the end points found from the left and from the right (a column below 0: none was found,
// and the record keeps what it held) and |dy/dx| in *result; false, with Slope untouched, when
// dx or dy is zero.
bool StoreEndPoints(int leftColumn, int leftRow, int rightColumn, int rightRow, ScanResult* result);

ResultCaptions FormatCaptions(const ScanResult& result);
