#include "TestSupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <random>

namespace {

QByteArray runCli(const QStringList& arguments)
{
    QProcess process;
    process.start(SLOPEMETER_CLI_PATH, arguments);
    EXPECT_TRUE(process.waitForFinished(120'000));
    return process.readAllStandardOutput() + "\n" + process.readAllStandardError();
}

// Dark pixels near the level with a few bright ones, whose share varies so that some pictures
// have none, some have them on one side only.
QImage randomPicture(std::mt19937& random, QImage::Format format)
{
    const int width = 1 + int(random() % (random() % 4 == 0 ? 150 : 40));
    const int height = 1 + int(random() % 30);
    QImage image = SolidImage(width, height);
    const unsigned brightShare = 1 + random() % 300;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool bright = random() % 1000 < brightShare;
            const auto channel = [&] { return int(bright ? 150 + random() % 106 : random() % 60); };
            image.setPixel(x, y, qRgba(channel(), channel(), channel(), int(random() % 256)));
        }
    if (format == QImage::Format_Indexed8)
        return image.convertToFormat(format, Qt::ThresholdDither);
    return image.convertToFormat(format);
}

struct Kind {
    const char* name;
    const char* format;
    QImage::Format pixels;
};

const Kind kinds[] = {
    {"bmp24", "bmp", QImage::Format_RGB888},
    {"bmp8", "bmp", QImage::Format_Indexed8},
    {"png-rgb", "png", QImage::Format_RGB888},
    {"png-grey", "png", QImage::Format_Grayscale8},
    {"png-grey16", "png", QImage::Format_Grayscale16},
    {"png-rgba", "png", QImage::Format_ARGB32},
    {"png-rgba64", "png", QImage::Format_RGBA64},
    {"png-palette", "png", QImage::Format_Indexed8},
    {"jpeg-colour", "jpg", QImage::Format_RGB888},
    {"jpeg-grey", "jpg", QImage::Format_Grayscale8},
};

// Pictures whose end points are where the rule turns, each as a list of white pixels.
void writeEdgeCases(const QString& folder, QStringList& files)
{
    const struct {
        const char* name;
        int width, height;
        std::vector<QPoint> white;
    } cases[] = {
        {"no-white", 70, 9, {}},
        {"column-0", 90, 8, {{0, 1}, {0, 6}}},
        {"one-column", 1, 12, {{0, 3}, {0, 7}}},
        {"one-row", 120, 1, {{4, 0}, {100, 0}}},
        {"same-row", 100, 10, {{8, 6}, {40, 2}, {91, 6}}},
        {"single-column", 100, 10, {{64, 2}, {64, 8}}},
    };
    for (const auto& edge : cases) {
        QImage image = SolidImage(edge.width, edge.height, 10, 10, 10);
        for (QPoint p : edge.white)
            SetWhite(image, p.x(), p.y());
        for (const char* format : {"bmp", "png", "jpg"}) {
            const QString file = folder + "/" + edge.name + "-" + format + "." + format;
            WriteFile(file, EncodedPicture(format[0] == 'j' ? image.convertToFormat(QImage::Format_Grayscale8) : image, format, 100));
            files << file;
        }
    }
}

// Pictures of many bands of rows, stored bottom-up as Qt writes them and top-down, with white
// pixels in the first and last rows of bands.
void writeTallBitmaps(std::mt19937& random, const QString& folder, QStringList& files)
{
    for (int i = 0; i < 4; ++i) {
        QImage image = SolidImage(2500 + i, 700, 20, 20, 20);
        for (int white = 0; white < 6; ++white)
            SetWhite(image, int(random() % 2500), int(random() % 700));
        QByteArray bottomUp = BmpBytes(image);
        const int rowBytes = (3 * image.width() + 3) / 4 * 4;
        const int offset = int(bottomUp.size()) - rowBytes * image.height();
        QByteArray topDown = bottomUp.left(offset);
        for (int row = image.height() - 1; row >= 0; --row)
            topDown += bottomUp.mid(offset + row * rowBytes, rowBytes);
        const qint32 negative = -image.height();
        topDown.replace(22, 4, reinterpret_cast<const char*>(&negative), 4);
        for (const auto& [name, bytes] : {std::pair{"bottom-up", bottomUp}, std::pair{"top-down", topDown}}) {
            files << folder + QString("/tall-%1-%2.bmp").arg(i).arg(name);
            WriteFile(files.last(), bytes);
        }
    }
}

// The streamed measurement (no annotations) against the whole-picture one (with them), for
// the captions and the JSON lines alike.
TEST(StreamedMeasurement, EqualsTheWholePictureRunByteForByte)
{
    ScratchDirectory dir;
    const QString folder = dir.path("pictures");
    QDir().mkpath(folder);
    std::mt19937 random(2412);
    QStringList files;
    for (int i = 0; i < 1100; ++i) {
        const Kind& kind = kinds[std::size_t(i) % std::size(kinds)];
        const QString file = folder + QString("/%1-%2.%3").arg(i).arg(kind.name).arg(kind.format);
        WriteFile(file, EncodedPicture(randomPicture(random, kind.pixels), kind.format, 60 + int(random() % 41)));
        files << file;
    }
    for (const QString& kind : QDir(SLOPEMETER_TEST_DATA "/kinds").entryList(QDir::Files))
        files << QStringLiteral(SLOPEMETER_TEST_DATA "/kinds/") + kind;
    writeEdgeCases(folder, files);
    writeTallBitmaps(random, folder, files);
    for (const QStringList& options : {QStringList{"--level", "50"}, QStringList{"--json", "--level", "120"}}) {
        const QString annotated = dir.path("annotated" + options.join(""));
        const QByteArray streamed = runCli(options + files);
        const QByteArray whole = runCli(options + QStringList{"--annotate", annotated} + files);
        EXPECT_GE(streamed.count('\n'), files.size());
        EXPECT_EQ(streamed.toStdString(), whole.toStdString()) << options.join(' ').toStdString();
    }
}

}
