#include "PictureLimits.h"

void CheckPictureSize(std::int64_t width, std::int64_t height)
{
    // A header may claim any size at all; one whose product does not even fit is too large too.
    std::int64_t pixels = 0;
    if (__builtin_mul_overflow(width, height, &pixels) || pixels > MaxPicturePixels)
        FailReading("the picture is " + std::to_string(width) + " x " + std::to_string(height)
                    + " pixels, more than the " + std::to_string(MaxPicturePixels)
                    + " pixels this program handles.");
}
