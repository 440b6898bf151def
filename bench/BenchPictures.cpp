#include "BenchPictures.h"

#include "PictureFile.h"

#include <cstdint>

namespace {

constexpr int largeWidth = 8000;
constexpr int largeHeight = 6000;

// Dark noise whose mean never reaches the level the buttons use, so nothing turns white.
QImage darkNoise()
{
    QImage image(largeWidth, largeHeight, QImage::Format_BGR888);
    std::uint32_t state = 1206;
    for (int y = 0; y < largeHeight; ++y) {
        std::uint8_t* row = image.scanLine(y);
        for (int i = 0; i < 3 * largeWidth; ++i) {
            state = state * 1664525u + 1013904223u;
            row[i] = std::uint8_t(state >> 26);
        }
    }
    return image;
}

QImage samplePicture()
{
    return LoadPictureFile(SLOPEMETER_SOURCE_DIR "/samples/test.bmp");
}

QImage allWhite()
{
    QImage image(largeWidth, largeHeight, QImage::Format_BGR888);
    image.fill(Qt::white);
    return image;
}

}

QImage LargePictureWithLine()
{
    QImage image = darkNoise();
    for (int x = 100; x < largeWidth - 100; ++x) {
        const int centre = 5000 - (x - 100) / 2;
        for (int y = centre - 1; y <= centre + 1; ++y)
            image.setPixelColor(x, y, QColor(240, 235, 210));
    }
    return image;
}

const std::vector<BenchPicture>& BenchPictures()
{
    static const std::vector<BenchPicture> pictures = {
        {"889x273 line", samplePicture},
        {"8000x6000 line", LargePictureWithLine},
        {"8000x6000 no white", darkNoise},
        {"8000x6000 all white", allWhite},
    };
    return pictures;
}
