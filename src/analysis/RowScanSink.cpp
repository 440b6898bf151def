#include "RowScanSink.h"

#include "PictureError.h"

#include <algorithm>
#include <vector>

namespace {

// Enough rows to read a bitmap in few calls, few enough to stay in the processor's cache.
constexpr std::size_t bandBytes = std::size_t(1) << 20;

std::vector<std::uint8_t>& bandOfThisThread()
{
    thread_local std::vector<std::uint8_t> band;
    return band;
}

}

void RowScanSink::CheckSize(std::int64_t width, std::int64_t height) const
{
    if (width > MaxStreamedRowPixels)
        FailReading("the picture is " + std::to_string(width) + " pixels wide, more than the "
                    + std::to_string(MaxStreamedRowPixels) + " pixels this program handles.");
    if (width * height > MaxStreamedPicturePixels)
        FailReading("the picture is " + std::to_string(width) + " x " + std::to_string(height)
                    + " pixels, more than the " + std::to_string(MaxStreamedPicturePixels)
                    + " pixels this program handles.");
}

void RowScanSink::CheckHeldWhole(std::int64_t width, std::int64_t height, std::int64_t bytes) const
{
    RowSink::CheckHeldWhole(width, height, bytes);
    if (heldWhole_)
        heldWhole_(int(width), int(height), bytes);
}

void RowScanSink::Begin(int width, int height)
{
    // Three bytes a pixel at most, each row padded as bitmap files pad theirs.
    rowStride_ = (3 * std::size_t(width) + 3) & ~std::size_t(3);
    rowsAtOnce_ = int(std::clamp<std::size_t>(bandBytes / std::max<std::size_t>(rowStride_, 1), 1, std::size_t(std::max(height, 1))));
    std::vector<std::uint8_t>& band = bandOfThisThread();
    band.resize(std::max(band.size(), rowStride_ * std::size_t(rowsAtOnce_)));
    band_ = band.data();
    measure_.emplace(width, height, settings_);
}

std::uint8_t* RowScanSink::RowBuffer(int y, int)
{
    return band_ + rowStride_ * std::size_t(y % rowsAtOnce_);
}

void RowScanSink::RowDone(int y, int bytesPerPixel)
{
    measure_->addRow(RowBuffer(y, bytesPerPixel), bytesPerPixel);
}

void RowScanSink::TakeDecodedRow(int, const std::uint8_t* pixels, int, int bytesPerPixel)
{
    measure_->addRow(pixels, bytesPerPixel);
}

LineMeasurement RowScanSink::Finish()
{
    return measure_->finish();
}
