#include "ModuleMeasurement.h"

#include "Graphics.h"
#include "PictureFile.h"
#include "SysUtils.h"

#include <new>

Outcome measureFile(const std::string& fileName, int level)
{
    Outcome outcome;
    try {
        Graphics::TBitmap picture;
        picture.SetImage(LoadPictureFile(fileName));
        Graphics::TBitmap copy;
        copy.Assign(&picture);
        Process process;
        process.Binarize(&copy, level);
        outcome.computed = process.FindSlope(&copy, &outcome.result);
    } catch (const std::bad_alloc&) {
        throw Exception("Not enough memory for \"" + fileName + "\".");
    }
    return outcome;
}

Outcome measureArray(const PixelArray& pixels, int level)
{
    QImage image(pixels.width, pixels.height, QImage::Format_BGR888);
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = pixels.data + y * pixels.rowStride;
        std::uint8_t* out = image.scanLine(y);
        for (int x = 0; x < pixels.width; ++x)
            for (int c = 0; c < 3; ++c)
                out[3 * x + c] = row[x * pixels.pixelStride + (pixels.channels == 1 ? 0 : c * pixels.channelStride)];
    }
    Outcome outcome;
    Graphics::TBitmap bitmap;
    bitmap.SetImage(image);
    Process process;
    process.Binarize(&bitmap, level);
    outcome.computed = process.FindSlope(&bitmap, &outcome.result);
    return outcome;
}
