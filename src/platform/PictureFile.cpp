#include "PictureFile.h"

#include "PictureCompleteness.h"
#include "SysUtils.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>


namespace {

[[noreturn]] void fail(const std::string& verb, const std::string& fileName, const std::string& why)
{
    throw Exception(verb + " \"" + fileName + "\": " + why);
}

std::uint32_t readU32(const QByteArray& bytes, qsizetype at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

std::uint16_t readU16(const QByteArray& bytes, qsizetype at)
{
    return std::uint16_t(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8);
}

std::string pixelLimitText(std::int64_t width, std::int64_t height)
{
    return "the picture is " + std::to_string(width) + " x " + std::to_string(height)
        + " pixels, more than the " + std::to_string(MaxPicturePixels)
        + " pixels this program handles.";
}

// Qt's BMP reader hands back a half-filled picture, and calls it success, when the pixel data
// is cut short; an uncompressed bitmap's size is known from its header, so check it first.
void checkBitmapSize(const QByteArray& bytes, const std::string& fileName)
{
    const qsizetype size = bytes.size();
    if (size < 26)
        fail("Cannot read", fileName, "the bitmap header is cut short.");
    const std::uint32_t dataOffset = readU32(bytes, 10);
    const std::uint32_t headerSize = readU32(bytes, 14);
    if (headerSize < 12 || 14 + std::int64_t(headerSize) > size)
        fail("Cannot read", fileName, "the bitmap header is cut short or damaged.");
    std::int64_t width, height;
    int bitsPerPixel;
    std::uint32_t compression = 0;
    if (headerSize == 12) {
        width = readU16(bytes, 18);
        height = std::int16_t(readU16(bytes, 20));
        bitsPerPixel = readU16(bytes, 24);
    } else {
        if (size < 14 + 20)
            fail("Cannot read", fileName, "the bitmap header is cut short.");
        width = std::int32_t(readU32(bytes, 18));
        height = std::int32_t(readU32(bytes, 22));
        bitsPerPixel = readU16(bytes, 28);
        compression = readU32(bytes, 30);
    }
    if (width <= 0 || height == 0)
        fail("Cannot read", fileName, "the bitmap has no pixels (width " + std::to_string(width)
             + ", height " + std::to_string(height) + ").");
    if (height < 0)
        height = -height;
    if (width * height > MaxPicturePixels)
        fail("Cannot read", fileName, pixelLimitText(width, height));
    if (dataOffset > std::uint64_t(size))
        fail("Cannot read", fileName, "the pixel data starts past the end of the file.");
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed)
        return;
    const std::int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    if (dataOffset + rowBytes * height > size)
        fail("Cannot read", fileName, "the pixel data is cut short.");
}

QByteArray readWholeFile(const std::string& fileName)
{
    const QString path = QString::fromStdString(fileName);
    const QFileInfo info(path);
    if (!info.exists())
        fail("Cannot open", fileName, "the file does not exist.");
    if (info.isDir())
        fail("Cannot open", fileName, "it is a folder, not a picture file.");
    if (!info.isReadable())
        fail("Cannot open", fileName, "permission denied.");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail("Cannot open", fileName, file.errorString().toStdString() + ".");
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail("Cannot read", fileName, file.errorString().toStdString() + ".");
    if (bytes.isEmpty())
        fail("Cannot read", fileName, "the file is empty.");
    return bytes;
}

}

QImage LoadPictureFile(const std::string& fileName)
{
    QByteArray bytes = readWholeFile(fileName);
    if (bytes.startsWith("BM"))
        checkBitmapSize(bytes, fileName);
    if (PictureDataCutShort(bytes))
        fail("Cannot read", fileName, "the picture data is cut short.");

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(int(MaxPicturePixels * 4 / (1024 * 1024) + 1));
    if (!reader.canRead())
        fail("Cannot read", fileName, "it is not a picture in a format this program reads.");
    const QSize size = reader.size();
    if (size.isValid() && std::int64_t(size.width()) * size.height() > MaxPicturePixels)
        fail("Cannot read", fileName, pixelLimitText(size.width(), size.height()));
    QImage image = reader.read();
    if (image.isNull())
        fail("Cannot read", fileName, "the picture is damaged (" + reader.errorString().toStdString() + ").");
    return image;
}
