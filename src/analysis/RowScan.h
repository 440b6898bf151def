#pragma once

#include "Uprocess.h"

#include <cstdint>

// The measurement of a picture that arrives a row at a time: each row is binarised and looked
// at once, then dropped, so a picture of any size needs no more memory than one row. The end
// points and slope agree with Process::Binarize followed by Process::FindSlope on the whole
// picture.
class RowScan {
public:
    RowScan(int width, int level);
    // Binarises one row of `width` pixels and updates the end points; rows come top to bottom.
    // bytesPerPixel: 3 (three colour bytes in any order), 4 (three colour bytes, then one that
    // is ignored, e.g. alpha), or 1 (grey: the byte counts as all three channels).
    void addRow(const std::uint8_t* pixels, int bytesPerPixel = 3);
    int rows() const;
    // The end points and slope exactly as Process::FindSlope gives them for the picture made of
    // the rows seen so far; returns whether a slope was computed.
    bool finish(ScanResult* result) const;

private:
    struct EndPoint {
        int column = -1;
        int row = 0;
    };

    int leftmostWhite(const std::uint8_t* pixels, int bytesPerPixel, int end) const;
    int rightmostWhite(const std::uint8_t* pixels, int bytesPerPixel, int begin) const;

    int width_;
    int threshold_;
    int rows_ = 0;
    EndPoint left_;
    EndPoint right_;
};
