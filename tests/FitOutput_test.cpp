#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

struct CliRun {
    int status;
    QByteArray out;
};

CliRun cli(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(SLOPEMETER_CLI_PATH, arguments);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60'000));
    return {process.exitCode(), process.readAllStandardOutput()};
}

// A dim picture with a soft bright line at `angle` degrees through the middle, rising to the right.
QImage linePicture(double angle, int width = 320, int height = 200)
{
    QImage image(width, height, QImage::Format_RGB888);
    const double dx = std::cos(angle * std::numbers::pi / 180), dy = -std::sin(angle * std::numbers::pi / 180);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double d = (y - height / 2.0) * dx - (x - width / 2.0) * dy;
            const int v = int(std::lround(20 + 200 * std::exp(-d * d / 2.5)));
            image.setPixel(x, y, qRgb(v, v, v));
        }
    return image;
}

int fitLinePixels(const QString& annotated)
{
    const QImage marks = QImage(annotated).convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < marks.height(); ++y)
        for (int x = 0; x < marks.width(); ++x)
            count += marks.pixel(x, y) == qRgb(0, 160, 255);
    return count;
}

QJsonObject fitOf(const QByteArray& jsonLine)
{
    return QJsonDocument::fromJson(jsonLine).object().value("fit").toObject();
}

TEST(FitOutput, EachFormatCarriesTheFitOnlyWhenAsked)
{
    ScratchDirectory dir;
    WriteFile("line.png", EncodedPicture(linePicture(12), "png", -1));
    WriteFile("line.jpg", EncodedPicture(linePicture(-7), "jpg", 75));
    WriteFile("line.ppm", EncodedPicture(linePicture(40), "ppm", -1));
    WriteFile("black.bmp", BmpBytes(SolidImage(40, 30)));
    const QStringList files{"line.png", "line.jpg", "line.ppm", "black.bmp"};

    const CliRun json = cli(QStringList{"--fit", "--json"} << files);
    const QList<QByteArray> lines = json.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4);
    const double truth[] = {12, -7, 40};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(files[i].toStdString());
        const QJsonObject fit = fitOf(lines[i]);
        EXPECT_NEAR(fit.value("angle").toDouble(), truth[i], 0.01);
        EXPECT_NEAR(fit.value("slope").toDouble(), -std::tan(truth[i] * std::numbers::pi / 180), 0.001);
        EXPECT_GT(fit.value("samples").toInt(), 200);
        EXPECT_GT(fit.value("angle_sd").toDouble(), 0);
        EXPECT_LT(fit.value("rms").toDouble(), 0.5);
        EXPECT_NEAR(fit.value("centre").toArray().at(1).toDouble(), 100, 30);
        EXPECT_EQ(fit.value("ends").toArray().size(), 2);
    }
    EXPECT_TRUE(lines[3].endsWith(",\"computed\":false,\"fit\":null}")) << lines[3].toStdString();
    EXPECT_FALSE(cli(QStringList{"--json"} << files).out.contains("fit"));

    const QList<QByteArray> rows = cli(QStringList{"--fit", "--csv"} << files).out.split('\n');
    EXPECT_TRUE(rows[0].endsWith(",error,fit_angle,fit_slope,fit_cx,fit_cy,fit_x1,fit_y1,fit_x2,fit_y2,fit_rms,"
                                 "fit_angle_sd,fit_samples\r"));
    EXPECT_EQ(rows[1].count(','), 20);
    EXPECT_TRUE(rows[1].contains("," + QByteArray::number(fitOf(lines[0]).value("angle").toDouble(), 'g', 10) + ","));
    EXPECT_TRUE(rows[4].endsWith(",false,,,,,,,,,,,,\r")) << rows[4].toStdString();

    const QByteArray captions = cli({"--fit", "line.png", "black.bmp"}).out;
    EXPECT_TRUE(captions.contains("\nfit angle: 12.00") || captions.contains("\nfit angle: 11.99"))
        << captions.toStdString();
    EXPECT_TRUE(captions.endsWith("\nfit angle: no line found\n")) << captions.toStdString();
    for (const QByteArray& out : {json.out, captions})
        EXPECT_FALSE(out.contains("nan") || out.contains("inf"));
}

// Frames, whole pictures and pictures read a few rows at a time give the same fit: they see the
// same pixels.
TEST(FitOutput, FramesAndWholePicturesAreFittedAsStreamedFiles)
{
    ScratchDirectory dir;
    const QImage picture = linePicture(-25);
    WriteFile("line.png", EncodedPicture(picture, "png", -1));
    const QByteArray streamed = cli({"--fit", "--json", "line.png"}).out;
    const QJsonObject expected = fitOf(streamed);
    ASSERT_FALSE(expected.isEmpty());

    const QByteArray frame = EncodedPicture(picture, "ppm", -1);
    const CliRun frames = cli({"--fit", "--json", "-"}, frame + EncodedPicture(picture, "png", -1) + frame);
    const QList<QByteArray> lines = frames.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    for (const QByteArray& line : lines)
        EXPECT_EQ(fitOf(line), expected) << line.toStdString();

    const QByteArray annotated = cli({"--fit", "--json", "--annotate", "marked", "line.png"}).out;
    EXPECT_EQ(fitOf(annotated), expected);
    EXPECT_GT(fitLinePixels("marked/line.png"), 200);
    cli({"--overwrite", "--annotate", "marked", "line.png"});
    EXPECT_EQ(fitLinePixels("marked/line.png"), 0);
}

}
