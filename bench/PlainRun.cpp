#include "PlainRun.h"

#include <cmath>
#include <cstdlib>

namespace {

void binarizeEachPixel(Graphics::TBitmap& bitmap, int level)
{
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            std::uint8_t* pixel = bitmap.ScanLine(y) + 3 * x;
            const int mean = (pixel[0] + pixel[1] + pixel[2]) / 3;
            const std::uint8_t value = mean > level ? 0xFF : 0x00;
            pixel[0] = pixel[1] = pixel[2] = value;
        }
}

bool findFromLeft(const Graphics::TBitmap& bitmap, ScanResult& result)
{
    for (int x = 0; x < bitmap.Width(); ++x) {
        bool found = false;
        for (int y = 0; y < bitmap.Height(); ++y)
            if (bitmap.Canvas->Pixels(x, y) == clWhite) {
                result.FrX = x;
                result.FrY = y;
                found = true;
            }
        if (found)
            return true;
    }
    return false;
}

bool findFromRight(const Graphics::TBitmap& bitmap, ScanResult& result)
{
    for (int x = bitmap.Width() - 1; x > 0; --x) {
        bool found = false;
        for (int y = 0; y < bitmap.Height(); ++y)
            if (bitmap.Canvas->Pixels(x, y) == clWhite) {
                result.ReX = x;
                result.ReY = y;
                found = true;
            }
        if (found)
            return true;
    }
    return false;
}

}

ResultCaptions PlainRun(const Graphics::TBitmap& picture, int level)
{
    Graphics::TBitmap copy;
    copy.SetImage(picture.Image().copy());
    copy.SetPixelFormat(pf24bit);
    binarizeEachPixel(copy, level);

    ScanResult result;
    findFromLeft(copy, result);
    findFromRight(copy, result);
    const int dy = std::abs(result.ReY - result.FrY);
    const int dx = std::abs(result.ReX - result.FrX);
    if (dy != 0 && dx != 0)
        result.Slope = float(std::fabs(double(dy) / double(dx)));
    return FormatCaptions(result);
}
