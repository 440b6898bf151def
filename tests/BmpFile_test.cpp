#include "PictureFile.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace {

void putU16(QByteArray& bytes, int at, std::uint16_t value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
}

void putU32(QByteArray& bytes, int at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> 8 * i & 0xFF);
}

// A 24-bit bitmap file of the image with an info header of the given size (12 is the OS/2
// core header), rows stored bottom-up or top-down, each padded to 4 bytes with junk that must
// not matter.
QByteArray bitmapFile(const QImage& image, int headerSize, bool topDown)
{
    const int rowBytes = (3 * image.width() + 3) / 4 * 4;
    const int dataOffset = 14 + headerSize;
    QByteArray bytes(dataOffset, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    putU32(bytes, 2, std::uint32_t(dataOffset + rowBytes * image.height()));
    putU32(bytes, 10, std::uint32_t(dataOffset));
    putU32(bytes, 14, std::uint32_t(headerSize));
    const int height = topDown ? -image.height() : image.height();
    if (headerSize == 12) {
        putU16(bytes, 18, std::uint16_t(image.width()));
        putU16(bytes, 20, std::uint16_t(height));
        putU16(bytes, 22, 1);
        putU16(bytes, 24, 24);
    } else {
        putU32(bytes, 18, std::uint32_t(image.width()));
        putU32(bytes, 22, std::uint32_t(height));
        putU16(bytes, 26, 1);
        putU16(bytes, 28, 24);
    }
    for (int i = 0; i < image.height(); ++i) {
        const int y = topDown ? i : image.height() - 1 - i;
        QByteArray row(reinterpret_cast<const char*>(image.constScanLine(y)), 3 * image.width());
        row.append(rowBytes - row.size(), char(0xA5));
        bytes += row;
    }
    return bytes;
}

QImage randomImage(std::mt19937& random, int width, int height)
{
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x)
            image.scanLine(y)[x] = std::uint8_t(random());
    return image;
}

QImage decodedByQt(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return QImageReader(&buffer, "BMP").read().convertToFormat(QImage::Format_BGR888);
}

std::string failureOf(const std::string& path)
{
    try {
        LoadPictureFile(path);
    } catch (const Exception& failure) {
        return failure.Message;
    }
    return "(loaded)";
}

// Odd widths leave 1 to 3 bytes of padding at the end of each stored row.
TEST(BmpFile, TwentyFourBitFilesLoadPixelForPixelAsQtDecodesThem)
{
    ScratchDirectory dir;
    std::mt19937 random(99);
    for (int headerSize : {12, 40, 64, 108, 124})
        for (bool topDown : {false, true})
            for (int width : {1, 2, 3, 4, 5, 33, 65, 130})
                for (int height : {1, 2, 7}) {
                    const QImage image = randomImage(random, width, height);
                    const QByteArray bytes = bitmapFile(image, headerSize, topDown);
                    WriteFile("a.bmp", bytes);
                    const QImage loaded = LoadPictureFile("a.bmp");
                    const std::string what = "header " + std::to_string(headerSize) + (topDown ? ", top-down " : ", bottom-up ")
                        + std::to_string(width) + " x " + std::to_string(height);
                    ASSERT_EQ(loaded.format(), QImage::Format_BGR888) << what;
                    ASSERT_EQ(loaded, image) << what;
                    ASSERT_EQ(loaded, decodedByQt(bytes)) << what;
                }
}

// Qt 6.4 misreads the 52- and 56-byte headers (the 40-byte one followed by colour masks); this
// program reads them as what they are.
TEST(BmpFile, HeadersWithColourMasksLoadToo)
{
    ScratchDirectory dir;
    std::mt19937 random(98);
    for (int headerSize : {52, 56}) {
        const QImage image = randomImage(random, 9, 4);
        WriteFile("a.bmp", bitmapFile(image, headerSize, false));
        EXPECT_EQ(LoadPictureFile("a.bmp"), image) << "header " << headerSize;
    }
}

TEST(BmpFile, EachHeaderFaultGivesTheFileAndTheReason)
{
    ScratchDirectory dir;
    const QByteArray good = bitmapFile(SolidImage(5, 3, 1, 2, 3), 40, false);
    const auto changed = [&](const std::function<void(QByteArray&)>& change) {
        QByteArray bytes = good;
        change(bytes);
        return bytes;
    };
    QImage indexed(9, 9, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(9, 9, 9)});
    indexed.fill(1);
    const QByteArray palette = BmpBytes(indexed);

    const std::pair<QByteArray, std::string> cases[] = {
        {good.left(16), "the bitmap header is cut short."},
        {changed([](QByteArray& b) { putU32(b, 14, 20); }), "the bitmap header has an unknown size of 20 bytes."},
        {changed([](QByteArray& b) { putU32(b, 14, 124); }).left(100), "the bitmap header is cut short."},
        {changed([](QByteArray& b) { putU16(b, 26, 2); }), "the bitmap has 2 colour planes instead of 1."},
        {changed([](QByteArray& b) { putU16(b, 28, 7); }), "the bitmap has an unknown depth of 7 bits per pixel."},
        {changed([](QByteArray& b) { putU32(b, 30, 9); }), "the bitmap has an unknown compression (9)."},
        {changed([](QByteArray& b) { putU32(b, 18, std::uint32_t(-5)); }), "the bitmap has no pixels (width -5, height 3)."},
        {changed([](QByteArray& b) { putU32(b, 22, 0); }), "the bitmap has no pixels (width 5, height 0)."},
        {changed([](QByteArray& b) { putU32(b, 22, std::uint32_t(INT_MIN)); }), "the bitmap's height of -2147483648 rows is out of range."},
        {changed([](QByteArray& b) { putU32(b, 22, std::uint32_t(-40000)); putU32(b, 18, 40000); }),
         "the picture is 40000 x 40000 pixels, more than the 150000000 pixels this program handles."},
        {changed([](QByteArray& b) { putU32(b, 10, std::uint32_t(b.size() + 1)); }), "the pixel data starts past the end of the file."},
        {changed([](QByteArray& b) { putU32(b, 10, 20); }), "the pixel data would start inside the bitmap header."},
        {good.left(good.size() - 1), "the pixel data is cut short."},
        {changed([](QByteArray& b) { putU32(b, 22, std::uint32_t(-4)); }), "the pixel data is cut short."},
        {palette.left(palette.size() - 1), "the pixel data is cut short."},
    };
    for (const auto& [bytes, reason] : cases) {
        WriteFile("bad.bmp", bytes);
        EXPECT_EQ(failureOf("bad.bmp"), "Cannot read \"bad.bmp\": " + reason);
    }
}

}
