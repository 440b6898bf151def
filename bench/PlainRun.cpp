#include "PlainRun.h"

#include <cmath>
#include <cstdlib>

namespace {

// The bottom-most white pixel of the first column, from first towards end, that holds one.
void findColumn(const Graphics::TBitmap& bitmap, int first, int end, int step, std::int32_t& column, std::int32_t& row)
{
    for (int x = first; x != end; x += step) {
        bool found = false;
        for (int y = 0; y < bitmap.Height(); ++y)
            if (bitmap.Canvas->Pixels(x, y) == clWhite) {
                column = x;
                row = y;
                found = true;
            }
        if (found)
            return;
    }
}

}

void BinarizePlainly(Graphics::TBitmap& bitmap, int level)
{
    bitmap.SetPixelFormat(pf24bit);
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            std::uint8_t* pixel = bitmap.ScanLine(y) + 3 * x;
            const int mean = (pixel[0] + pixel[1] + pixel[2]) / 3;
            pixel[0] = pixel[1] = pixel[2] = mean > level ? 0xFF : 0x00;
        }
}

bool FindSlopePlainly(Graphics::TBitmap& bitmap, ScanResult* result)
{
    bitmap.SetPixelFormat(pf24bit);
    findColumn(bitmap, 0, bitmap.Width(), 1, result->FrX, result->FrY);
    // From the right, column 0 is never looked at.
    if (bitmap.Width() > 1)
        findColumn(bitmap, bitmap.Width() - 1, 0, -1, result->ReX, result->ReY);
    const int dy = std::abs(result->ReY - result->FrY);
    const int dx = std::abs(result->ReX - result->FrX);
    if (dy == 0 || dx == 0)
        return false;
    result->Slope = float(std::fabs(double(dy) / double(dx)));
    return true;
}

ResultCaptions PlainRun(const Graphics::TBitmap& picture, int level)
{
    Graphics::TBitmap copy;
    copy.SetImage(picture.Image().copy());
    BinarizePlainly(copy, level);
    ScanResult result;
    FindSlopePlainly(copy, &result);
    return FormatCaptions(result);
}
