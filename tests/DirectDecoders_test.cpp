#include "PictureFile.h"
#include "RowScanSink.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QFile>
#include <QImageReader>

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace {

std::string streamedFailureOf(const std::string& file)
{
    RowScanSink sink(MeasureSettings{});
    try {
        StreamPictureFile(file, sink);
    } catch (const PictureError& error) {
        return error.MessageFor(file);
    }
    return "streamed";
}

// Smooth shading and noise, as in photographs, so that every upsampling and rounding step of
// the decoder shows in the pixels.
QImage photograph(std::mt19937& random, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 5 + int(random() % 40)) % 256, (y * 7 + int(random() % 40)) % 256, (x * y + int(random() % 60)) % 256));
    return image;
}

// Colour and grey JPEGs of odd sizes at many qualities (Qt writes colour with halved chroma)
// come out of libjpeg-turbo exactly as out of Qt's reader.
TEST(DirectDecoders, JpegPicturesEqualQtsPixelForPixel)
{
    ScratchDirectory dir;
    std::mt19937 random(90);
    for (int round = 0; round < 40; ++round) {
        QImage image = photograph(random, 1 + int(random() % 70), 1 + int(random() % 50));
        if (round % 3 == 0)
            image = image.convertToFormat(QImage::Format_Grayscale8);
        WriteFile("photo.jpg", EncodedPicture(image, "jpg", 30 + int(random() % 71)));
        const QImage byQt = QImageReader("photo.jpg").read().convertToFormat(QImage::Format_BGR888);
        const QImage ours = LoadPictureFile("photo.jpg");
        ASSERT_EQ(ours.format(), QImage::Format_BGR888);
        ASSERT_EQ(ours, byQt) << "round " << round;
    }
}

TEST(DirectDecoders, DamagedFilesAreRefusedWholeAndStreamed)
{
    ScratchDirectory dir;
    std::mt19937 random(4);
    const QByteArray jpeg = EncodedPicture(photograph(random, 64, 48), "jpg", 90);
    // Bytes of the entropy-coded data overwritten with a marker that has no place there.
    QByteArray corrupt = jpeg;
    corrupt.replace(corrupt.size() / 2, 2, "\xFF\xD9");
    WriteFile("corrupt.jpg", corrupt);
    // A frame header of 12000 x 12000 pixels over the few hundred bytes of a small picture.
    QByteArray huge = jpeg;
    const int frame = int(huge.indexOf("\xFF\xC0"));
    huge.replace(frame + 5, 4, QByteArray("\x2E\xE0\x2E\xE0", 4));
    WriteFile("huge.jpg", huge);
    const QByteArray png = EncodedPicture(photograph(random, 64, 48), "png", 50);
    WriteFile("cut.png", png.left(png.size() - 40));
    QByteArray wide = png;
    wide.replace(16, 8, QByteArray("\x00\x0F\x42\x41\x00\x00\x00\xC8", 8));
    wide.replace(29, 4, BigEndian32(PngCrc(wide.mid(12, 17))));
    WriteFile("wide.png", wide);
    // Plain 24-bit bitmaps read a row at a time are held to the row reader's limits, as PNGs are;
    // full length (sparse files), so that only the limits stand in their way.
    for (const auto& [name, width, height] : {std::tuple{"big.bmp", 20000, 10000}, std::tuple{"wide.bmp", 1000001, 2}}) {
        QByteArray header = BmpBytes(SolidImage(4, 4));
        PutU32(header, 18, std::uint32_t(width));
        PutU32(header, 22, std::uint32_t(height));
        WriteFile(name, header.left(54));
        ASSERT_TRUE(QFile(name).resize(54 + (std::int64_t(width) * 3 + 3) / 4 * 4 * height));
    }

    const struct {
        const char* file;
        std::string whole;
        std::string streamed;
    } cases[] = {
        {"corrupt.jpg", "damaged", "damaged"},
        {"huge.jpg", "cut short", "cut short"},
        {"cut.png", "cut short", "cut short"},
        {"wide.png", "more than the 150000000 pixels", "1000001 pixels wide, more than the 1000000 pixels"},
        {"big.bmp", "20000 x 10000 pixels, more than the 150000000 pixels", "streamed"},
        {"wide.bmp", "(loaded)", "1000001 pixels wide, more than the 1000000 pixels"},
    };
    for (const auto& bad : cases) {
        EXPECT_NE(FailureOf(bad.file).find(bad.whole), std::string::npos) << bad.file << ": " << FailureOf(bad.file);
        EXPECT_NE(streamedFailureOf(bad.file).find(bad.streamed), std::string::npos)
            << bad.file << ": " << streamedFailureOf(bad.file);
    }
}

}
