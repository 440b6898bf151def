#include "Uprocess.h"

#include "Umain.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>

namespace {

// A pixel is white only when all three bytes are 255.
inline bool isWhite(const std::uint8_t* pixel)
{
    return pixel[0] == 0xFF && pixel[1] == 0xFF && pixel[2] == 0xFF;
}

// Pixels are looked at in blocks; a block with no 0xFF byte at all cannot hold a white pixel,
// and that test is one the compiler turns into a few vector instructions.
constexpr int blockPixels = 32;

inline bool mayHoldWhite(const std::uint8_t* bytes)
{
    bool any = false;
    for (int i = 0; i < 3 * blockPixels; ++i)
        any |= bytes[i] == 0xFF;
    return any;
}

// The leftmost white column in [0, end) of a row, or -1.
int firstWhite(const std::uint8_t* row, int end)
{
    int x = 0;
    for (; x + blockPixels <= end; x += blockPixels) {
        if (!mayHoldWhite(row + 3 * x))
            continue;
        for (int i = x; i < x + blockPixels; ++i)
            if (isWhite(row + 3 * i))
                return i;
    }
    for (; x < end; ++x)
        if (isWhite(row + 3 * x))
            return x;
    return -1;
}

// The rightmost white column in [begin, end) of a row, or -1.
int lastWhite(const std::uint8_t* row, int begin, int end)
{
    int x = end;
    for (; x - blockPixels >= begin; x -= blockPixels) {
        if (!mayHoldWhite(row + 3 * (x - blockPixels)))
            continue;
        for (int i = x - 1; i >= x - blockPixels; --i)
            if (isWhite(row + 3 * i))
                return i;
    }
    for (--x; x >= begin; --x)
        if (isWhite(row + 3 * x))
            return x;
    return -1;
}

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
    bitmap->SetPixelFormat(pf24bit);
    source->SetPixelFormat(pf24bit);

    // floor(sum / 3) > level exactly when sum >= 3 * (level + 1); clamping first keeps the
    // product in range and gives all-white below 0 and all-black from 255 on.
    const int threshold = 3 * (std::clamp(level, -1, 255) + 1);
    const Graphics::TBitmap& input = *source;
    const int width = input.Width();
    for (int r = 0; r < input.Height(); ++r) {
        const std::uint8_t* in = input.ScanLine(r);
        std::uint8_t* out = bitmap->ScanLine(r);
        for (int c = 0; c < width; ++c) {
            const int sum = in[3 * c] + in[3 * c + 1] + in[3 * c + 2];
            const std::uint8_t value = sum >= threshold ? 0xFF : 0x00;
            out[3 * c] = value;
            out[3 * c + 1] = value;
            out[3 * c + 2] = value;
        }
    }
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
        const int x = firstWhite(row, std::min(left + 1, width));
        if (x < 0 && left == width)
            continue;
        if (x >= 0) {
            left = x;
            leftRow = y;
        }
        const int xr = lastWhite(row, std::max(right, 1), width);
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
