#include "PictureFile.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace {

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
    PutU32(bytes, 2, std::uint32_t(dataOffset + rowBytes * image.height()));
    PutU32(bytes, 10, std::uint32_t(dataOffset));
    PutU32(bytes, 14, std::uint32_t(headerSize));
    const int height = topDown ? -image.height() : image.height();
    const bool core = headerSize == 12;
    (core ? PutU16(bytes, 18, std::uint16_t(image.width())) : PutU32(bytes, 18, std::uint32_t(image.width())));
    (core ? PutU16(bytes, 20, std::uint16_t(height)) : PutU32(bytes, 22, std::uint32_t(height)));
    PutU16(bytes, core ? 22 : 26, 1);
    PutU16(bytes, core ? 24 : 28, 24);
    for (int i = 0; i < image.height(); ++i) {
        const int y = topDown ? i : image.height() - 1 - i;
        bytes += QByteArray(reinterpret_cast<const char*>(image.constScanLine(y)), 3 * image.width());
        bytes += QByteArray(rowBytes - 3 * image.width(), char(0xA5));
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

// Odd widths leave 1 to 3 bytes of padding at the end of each stored row. Qt 6.4 misreads the
// 52- and 56-byte headers (the 40-byte one followed by colour masks); this program does not.
TEST(BmpFile, TwentyFourBitFilesLoadPixelForPixel)
{
    ScratchDirectory dir;
    std::mt19937 random(99);
    for (int headerSize : {12, 40, 52, 56, 64, 108, 124})
        for (bool topDown : {false, true})
            for (int width : {1, 2, 3, 4, 5, 33, 65, 130})
                for (int height : {1, 2, 7}) {
                    const QImage image = randomImage(random, width, height);
                    const QByteArray bytes = bitmapFile(image, headerSize, topDown);
                    WriteFile("a.bmp", bytes);
                    const QImage loaded = LoadPictureFile("a.bmp");
                    ASSERT_EQ(loaded.format(), QImage::Format_BGR888);
                    ASSERT_EQ(loaded, image) << "header " << headerSize << (topDown ? ", top-down " : ", bottom-up ")
                                             << width << " x " << height;
                }
}

TEST(BmpFile, EachHeaderFaultGivesTheFileAndTheReason)
{
    ScratchDirectory dir;
    const QByteArray good = bitmapFile(SolidImage(5, 3, 1, 2, 3), 40, false);
    const auto changed = [&](std::initializer_list<std::pair<int, std::int64_t>> values) {
        QByteArray bytes = good;
        for (auto [at, value] : values)
            (at == 26 || at == 28 ? PutU16(bytes, at, std::uint16_t(value)) : PutU32(bytes, at, std::uint32_t(value)));
        return bytes;
    };
    QImage indexed(9, 9, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(9, 9, 9)});
    indexed.fill(1);
    const QByteArray palette = BmpBytes(indexed);

    const std::pair<QByteArray, std::string> cases[] = {
        {good.left(16), "the bitmap header is cut short."},
        {changed({{14, 20}}), "the bitmap header has an unknown size of 20 bytes."},
        {changed({{14, 124}}).left(100), "the bitmap header is cut short."},
        {changed({{26, 2}}), "the bitmap has 2 colour planes instead of 1."},
        {changed({{28, 7}}), "the bitmap has an unknown depth of 7 bits per pixel."},
        {changed({{30, 9}}), "the bitmap has an unknown compression (9)."},
        {changed({{18, -5}}), "the bitmap has no pixels (width -5, height 3)."},
        {changed({{22, 0}}), "the bitmap has no pixels (width 5, height 0)."},
        {changed({{22, INT_MIN}}), "the bitmap's height of -2147483648 rows is out of range."},
        {changed({{22, -40000}, {18, 40000}}), "the picture is 40000 x 40000 pixels, more than the 150000000 pixels this program handles."},
        {changed({{10, good.size() + 1}}), "the pixel data starts past the end of the file."},
        {changed({{10, good.size()}}), "the pixel data is cut short."},
        {changed({{10, 20}}), "the pixel data would start inside the bitmap header."},
        {good.left(good.size() - 1), "the pixel data is cut short."},
        {changed({{22, -4}}), "the pixel data is cut short."},
        {palette.left(palette.size() - 1), "the pixel data is cut short."},
    };
    for (const auto& [bytes, reason] : cases) {
        WriteFile("bad.bmp", bytes);
        EXPECT_EQ(FailureOf("bad.bmp"), "Cannot read \"bad.bmp\": " + reason);
    }
}

// The masks follow the 40-byte header; the green one here has its bits in the top byte only.
TEST(BmpFile, BitFieldMasksAreReadWhereTheHeaderEnds)
{
    ScratchDirectory dir;
    QByteArray bytes = bitmapFile(SolidImage(2, 1), 40, false).left(54) + QByteArray(12 + 8, '\0');
    PutU32(bytes, 10, 66);
    PutU16(bytes, 28, 32);
    PutU32(bytes, 30, 3);
    PutU32(bytes, 54, 0x00FF0000);
    PutU32(bytes, 58, 0xFF000000);
    PutU32(bytes, 62, 0x0000FFFF);
    WriteFile("fields.bmp", bytes);
    EXPECT_EQ(FailureOf("fields.bmp"), "(loaded)");
    QByteArray cut = bytes.left(65);
    PutU32(cut, 10, 54);
    WriteFile("cut.bmp", cut);
    EXPECT_EQ(FailureOf("cut.bmp"), "Cannot read \"cut.bmp\": the bit-field masks are cut short.");
}

}
