#pragma once

#include "LineMeasure.h"
#include "PictureFile.h"
#include "RowSink.h"

#include <cstdint>
#include <optional>

// Streamed pictures are held a few rows at a time, so far larger ones are measured than the
// window can hold; rows are bounded so that a few of them stay small.
constexpr std::int64_t MaxStreamedPicturePixels = 4'000'000'000;
constexpr std::int64_t MaxStreamedRowPixels = 1'000'000;

// Measures the rows a decoder hands over as they arrive, in a band of rows that is kept from
// one picture to the next on the same thread.
class RowScanSink : public RowSink {
public:
    // heldWhole is offered what a decoder must hold whole, before it takes it.
    explicit RowScanSink(const MeasureSettings& settings, PictureSizeCheck heldWhole = {})
        : settings_(settings), heldWhole_(std::move(heldWhole)) {}

    bool TakesGreyRows() const override { return true; }
    bool TakesAnyColourOrder() const override { return true; }
    void CheckSize(std::int64_t width, std::int64_t height) const override;
    void CheckHeldWhole(std::int64_t width, std::int64_t height, std::int64_t bytes) const override;
    void Begin(int width, int height) override;
    std::uint8_t* RowBuffer(int y, int bytesPerPixel) override;
    int RowsAtOnce() const override { return rowsAtOnce_; }
    void RowDone(int y, int bytesPerPixel) override;
    void TakeDecodedRow(int y, const std::uint8_t* pixels, int width, int bytesPerPixel) override;

    // The end points and slope of the rows seen, as FindSlope gives them, and the fit when asked.
    LineMeasurement Finish();

private:
    MeasureSettings settings_;
    PictureSizeCheck heldWhole_;
    std::size_t rowStride_ = 0;
    int rowsAtOnce_ = 1;
    std::uint8_t* band_ = nullptr;
    std::optional<LineMeasure> measure_;
};
