#include "ModuleMeasurement.h"

#include "Graphics.h"
#include "MeasureCopy.h"
#include "PictureFile.h"
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

LineMeasurement measureFile(const std::string& fileName, const MeasureSettings& settings)
{
    try {
        // As slopemeter-cli measures without annotations.
        return MeasurePictureFile(fileName, settings);
    } catch (const PictureError& error) {
        throw Exception(error.MessageFor(fileName));
    } catch (const std::bad_alloc&) {
        throw Exception("Not enough memory for \"" + fileName + "\".");
    }
}

LineMeasurement measureArray(const PixelArray& pixels, const MeasureSettings& settings)
{
    const int bytesPerPixel = pixels.channels;
    // One pixel's stride does not matter, but its channels' always does.
    const bool rowsLieTogether = (pixels.width <= 1 || pixels.pixelStride == bytesPerPixel)
        && (bytesPerPixel == 1 || pixels.channelStride == 1);
    LineMeasure scan(pixels.width, pixels.height, settings);
    std::vector<std::uint8_t> copied(rowsLieTogether ? 0 : std::size_t(pixels.width) * std::size_t(bytesPerPixel));
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = pixels.data + y * pixels.rowStride;
        if (!rowsLieTogether) {
            copyRow(pixels, row, copied.data());
            row = copied.data();
        }
        scan.addRow(row, bytesPerPixel);
    }
    return scan.finish();
}

void loadImageReaders()
{
    // Bytes that no reader claims make the reader ask every one of them.
    QByteArray nothing(16, '\0');
    QBuffer buffer(&nothing);
    buffer.open(QIODevice::ReadOnly);
    QImageReader(&buffer).canRead();
}
