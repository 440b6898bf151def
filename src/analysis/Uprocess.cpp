#include "Uprocess.h"

#include "PixelRows.h"
#include "Umain.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>

namespace {

std::string format(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(std::size_t(std::max(length, 0)), '\0');
    std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    va_end(again);
    return text;
}

}

void Process::Binarize(Graphics::TBitmap* bitmap, int level)
{
    auto source = std::make_unique<Graphics::TBitmap>();
    source->Assign(bitmap);
    source->SetPixelFormat(pf24bit);
    // Every pixel is written below, so the bitmap's shared pixels need not be copied first.
    bitmap->ReplaceWithUnsetPixels(pf24bit);

    // floor(sum / 3) > level exactly when sum >= 3 * (level + 1); clamping first keeps the
    // product in range and gives all-white below 0 and all-black from 255 on.
    const int threshold = 3 * (std::clamp(level, -1, 255) + 1);
    const Graphics::TBitmap& input = *source;
    for (int r = 0; r < input.Height(); ++r)
        PixelRows::Binarize(input.ScanLine(r), bitmap->ScanLine(r), input.Width(), threshold);
}

bool ScanEndPoints(const Graphics::TBitmap& bitmap, ScanResult* result)
{
    // Row by row rather than column by column, for the cache: the leftmost white column and,
    // for ties, the lowest row holding it give the same point as the column scan; likewise on
    // the right for columns 1 and up.
    const int width = bitmap.Width();
    int left = width, leftRow = 0;
    int right = 0, rightRow = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.ScanLine(y);
        const int x = PixelRows::FirstWhite(row, std::min(left + 1, width));
        if (x < 0 && left == width)
            continue;
        if (x >= 0) {
            left = x;
            leftRow = y;
        }
        const int xr = PixelRows::LastWhite(row, std::max(right, 1), width);
        if (xr >= 1) {
            right = xr;
            rightRow = y;
        }
    }
    if (left < width) {
        result->FrX = left;
        result->FrY = leftRow;
    }
    if (right >= 1) {
        result->ReX = right;
        result->ReY = rightRow;
    }

    const int dy = std::abs(result->ReY - result->FrY);
    const int dx = std::abs(result->ReX - result->FrX);
    if (dy == 0 || dx == 0)
        return false;
    result->Slope = float(std::fabs(double(dy) / double(dx)));
    return true;
}

ResultCaptions FormatCaptions(const ScanResult& result)
{
    return {
        FrCaptionPrefix + format("(%3d:%3d)", result.FrX, result.FrY),
        ReCaptionPrefix + format("(%3d:%3d)", result.ReX, result.ReY),
        SlopeCaptionPrefix + format("%3.5f", double(result.Slope)),
    };
}

bool Process::FindSlope(Graphics::TBitmap* bitmap, ScanResult* result)
{
    bitmap->SetPixelFormat(pf24bit);
    const bool computed = ScanEndPoints(*bitmap, result);
    if (Form1) {
        const ResultCaptions captions = FormatCaptions(*result);
        Form1->lblFr->SetText(captions.Fr);
        Form1->lblRe->SetText(captions.Re);
        Form1->lblSlope->SetText(captions.Slope);
    }
    return computed;
}
