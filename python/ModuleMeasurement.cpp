#include "ModuleMeasurement.h"

#include "Graphics.h"
#include "MeasureCopy.h"
#include "PictureFile.h"
#include "RowScan.h"
#include "SysUtils.h"

#include <QBuffer>
#include <QImageReader>

#include <new>
#include <vector>

namespace {

void copyRow(const PixelArray& pixels, const std::uint8_t* row, std::uint8_t* out)
{
    for (int x = 0; x < pixels.width; ++x)
        for (int c = 0; c < pixels.channels; ++c)
            *out++ = row[x * pixels.pixelStride + c * pixels.channelStride];
}

}

Outcome measureFile(const std::string& fileName, int level)
{
    Outcome outcome;
    try {
        // As slopemeter-cli measures without annotations.
        outcome.computed = MeasurePictureFile(fileName, level, &outcome.result);
    } catch (const PictureError& error) {
        throw Exception(error.MessageFor(fileName));
    } catch (const std::bad_alloc&) {
        throw Exception("Not enough memory for \"" + fileName + "\".");
    }
    return outcome;
}

Outcome measureArray(const PixelArray& pixels, int level)
{
    const int bytesPerPixel = pixels.channels;
    const bool rowsLieTogether = pixels.width <= 1
        || (pixels.pixelStride == bytesPerPixel && (bytesPerPixel == 1 || pixels.channelStride == 1));
    RowScan scan(pixels.width, level);
    std::vector<std::uint8_t> copied(rowsLieTogether ? 0 : std::size_t(pixels.width) * std::size_t(bytesPerPixel));
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = pixels.data + y * pixels.rowStride;
        if (!rowsLieTogether) {
            copyRow(pixels, row, copied.data());
            row = copied.data();
        }
        scan.addRow(row, bytesPerPixel);
    }
    Outcome outcome;
    outcome.computed = scan.finish(&outcome.result);
    return outcome;
}

void loadImageReaders()
{
    // Bytes that no reader claims make the reader ask every one of them.
    QByteArray nothing(16, '\0');
    QBuffer buffer(&nothing);
    buffer.open(QIODevice::ReadOnly);
    QImageReader(&buffer).canRead();
}
