#include "RowSink.h"

void RowSink::TakeRedFirstRow(int y, const std::uint8_t* pixels, int width, int bytesPerPixel)
{
    std::uint8_t* row = RowBuffer(y, 3);
    for (int x = 0; x < width; ++x, pixels += bytesPerPixel, row += 3) {
        row[0] = pixels[2];
        row[1] = pixels[1];
        row[2] = pixels[0];
    }
    RowDone(y, 3);
}
