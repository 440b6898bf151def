#include "TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <random>

namespace {

// Dark pixels near the level with a few bright ones, whose share varies so that some pictures
// have none, some have them on one side only.
QImage randomPicture(std::mt19937& random, QImage::Format format)
{
    const int width = 1 + int(random() % (random() % 4 == 0 ? 150 : 40)), height = 1 + int(random() % 30);
    QImage image = SolidImage(width, height);
    const unsigned brightShare = 1 + random() % 300;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool bright = random() % 1000 < brightShare;
            const auto channel = [&] { return int(bright ? 150 + random() % 106 : random() % 60); };
            image.setPixel(x, y, qRgba(channel(), channel(), channel(), int(random() % 256)));
        }
    return image.convertToFormat(format, Qt::ThresholdDither);
}

const struct {
    const char* format;
    QImage::Format pixels;
} kinds[] = {
    {"bmp", QImage::Format_RGB888},
    {"bmp", QImage::Format_Indexed8},
    {"png", QImage::Format_RGB888},
    {"png", QImage::Format_Grayscale8},
    {"png", QImage::Format_Grayscale16},
    {"png", QImage::Format_ARGB32},
    {"png", QImage::Format_RGBA64},
    {"png", QImage::Format_Indexed8},
    {"jpg", QImage::Format_RGB888},
    {"jpg", QImage::Format_Grayscale8},
};

// Pictures of many bands of rows, stored bottom-up as Qt writes them and top-down, with white
// pixels in the first and last rows of bands.
void writeTallBitmaps(std::mt19937& random, QStringList& files)
{
    for (int i = 0; i < 4; ++i) {
        QImage image = SolidImage(2500 + i, 700, 20, 20, 20);
        for (int white = 0; white < 6; ++white)
            SetWhite(image, int(random() % 2500), int(random() % 700));
        const QByteArray bottomUp = BmpBytes(image);
        const int rowBytes = (3 * image.width() + 3) / 4 * 4, offset = int(bottomUp.size()) - rowBytes * image.height();
        QByteArray topDown = bottomUp.left(offset);
        for (int row = image.height() - 1; row >= 0; --row)
            topDown += bottomUp.mid(offset + row * rowBytes, rowBytes);
        PutU32(topDown, 22, std::uint32_t(-image.height()));
        for (const QByteArray& bytes : {bottomUp, topDown}) {
            files << QString("pictures/tall-%1.bmp").arg(files.size());
            WriteFile(files.last(), bytes);
        }
    }
}

// The streamed measurement (no annotations) against the whole-picture one (with them), for
// the captions and the JSON lines alike. Where the end points fall at the edges is the row
// scan's own test.
TEST(StreamedMeasurement, EqualsTheWholePictureRunByteForByte)
{
    ScratchDirectory dir;
    QDir().mkpath("pictures");
    std::mt19937 random(2412);
    QStringList files;
    for (int i = 0; i < 1100; ++i) {
        const auto& kind = kinds[std::size_t(i) % std::size(kinds)];
        files << QString("pictures/%1.%2").arg(i).arg(kind.format);
        WriteFile(files.last(), EncodedPicture(randomPicture(random, kind.pixels), kind.format, 60 + int(random() % 41)));
    }
    for (const QString& kind : QDir(SLOPEMETER_TEST_DATA "/kinds").entryList(QDir::Files))
        files << QStringLiteral(SLOPEMETER_TEST_DATA "/kinds/") + kind;
    writeTallBitmaps(random, files);
    for (const QStringList& options : {QStringList{"--level", "50"}, QStringList{"--json", "--level", "120"}}) {
        const CliRun streamed = RunCli(options + files);
        const CliRun whole = RunCli(options + QStringList{"--annotate", "annotated" + options.join("")} + files);
        EXPECT_GE(streamed.out.count('\n'), files.size());
        EXPECT_EQ(streamed.out.toStdString(), whole.out.toStdString()) << options.join(' ').toStdString();
        EXPECT_EQ(streamed.err.toStdString(), whole.err.toStdString());
    }
}

}
