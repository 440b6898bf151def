#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// A dim picture with a soft bright line at `angle` degrees through the middle, rising to the right.
QImage linePicture(double angle)
{
    QImage image(320, 200, QImage::Format_RGB888);
    const double dx = std::cos(angle * std::numbers::pi / 180), dy = -std::sin(angle * std::numbers::pi / 180);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            const double d = (y - 100) * dx - (x - 160) * dy;
            const int v = int(std::lround(20 + 200 * std::exp(-d * d / 2.5)));
            image.setPixel(x, y, qRgb(v, v, v));
        }
    return image;
}

QJsonObject fitOf(const QByteArray& jsonLine)
{
    return QJsonDocument::fromJson(jsonLine).object().value("fit").toObject();
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

TEST(FitOutput, EachFormatCarriesTheFitOnlyWhenAsked)
{
    ScratchDirectory dir;
    WriteFile("line.png", EncodedPicture(linePicture(12), "png", -1));
    WriteFile("line.jpg", EncodedPicture(linePicture(-7), "jpg", 75));
    WriteFile("line.ppm", EncodedPicture(linePicture(40), "ppm", -1));
    WriteFile("black.bmp", BmpBytes(SolidImage(40, 30)));
    const QStringList files{"line.png", "line.jpg", "line.ppm", "black.bmp"};
    const QList<QByteArray> lines = RunCli(QStringList{"--fit", "--json"} << files).out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4);
    // Every figure of the fit, to the last digit written, for the pictures no encoder changes: a
    // change to the method shows here.
    EXPECT_EQ(lines[0], R"({"file":"line.png","fr":[0,136],"re":[319,68],"slope":0.21316615,"angle":12.033413,"computed":true,)"
                        R"("fit":{"angle":11.99996417,"slope":-0.2125559081,"centre":[159.4998296,100.1063245],"ends":[[-0.0006674819521,)"
                        R"(134.0090975],[318.9995297,66.2037209]],"rms":0.003707402872,"angle_sd":0.0005419392649,"samples":320}})");
    EXPECT_EQ(lines[2], R"({"file":"line.ppm","fr":[39,199],"re":[282,0],"slope":0.81893003,"angle":39.315075,"computed":true,)"
                        R"("fit":{"angle":39.99949899,"slope":-0.8390847302,"centre":[160.5588959,99.53100805],"ends":[[45.03031493,)"
                        R"(196.4692762],[276.919105,1.894933361]],"rms":0.009699898838,"angle_sd":0.001072794692,"samples":233}})");
    const double truth[] = {12, -7, 40};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject fit = fitOf(lines[i]);
        EXPECT_NEAR(fit.value("angle").toDouble(), truth[i], 0.01) << i;
        EXPECT_NEAR(fit.value("slope").toDouble(), -std::tan(truth[i] * std::numbers::pi / 180), 0.001) << i;
        EXPECT_GT(fit.value("samples").toInt(), 200) << i;
        EXPECT_GT(fit.value("angle_sd").toDouble(), 0) << i;
        EXPECT_LT(fit.value("rms").toDouble(), 0.5) << i;
        EXPECT_NEAR(fit.value("centre").toArray().at(1).toDouble(), 100, 30) << i;
        EXPECT_EQ(fit.value("ends").toArray().size(), 2) << i;
    }
    EXPECT_TRUE(lines[3].endsWith(",\"computed\":false,\"fit\":null}")) << lines[3].toStdString();
    EXPECT_FALSE(RunCli(QStringList{"--json"} << files).out.contains("fit"));

    const QList<QByteArray> rows = RunCli(QStringList{"--fit", "--csv"} << files).out.split('\n');
    EXPECT_TRUE(rows[0].endsWith(",error,fit_angle,fit_slope,fit_cx,fit_cy,fit_x1,fit_y1,fit_x2,fit_y2,fit_rms,"
                                 "fit_angle_sd,fit_samples\r"));
    EXPECT_EQ(rows[1], "line.png,,0,136,319,68,0.21316615,12.033413,true,,11.99996417,-0.2125559081,159.4998296,100.1063245,"
                       "-0.0006674819521,134.0090975,318.9995297,66.2037209,0.003707402872,0.0005419392649,320\r");
    EXPECT_TRUE(rows[4].endsWith(",false,,,,,,,,,,,,\r")) << rows[4].toStdString();
    const QByteArray captions = RunCli({"--fit", "line.png", "black.bmp"}).out;
    EXPECT_TRUE(captions.contains("\nfit angle: 11.99996 \u00B1 0.00054 deg\n")) << captions.toStdString();
    EXPECT_TRUE(captions.endsWith("\nfit angle: no line found\n")) << captions.toStdString();
}

// Frames, whole pictures and pictures read a few rows at a time give the same fit: they see the
// same pixels; the annotation draws it.
TEST(FitOutput, FramesAndWholePicturesAreFittedAsStreamedFiles)
{
    ScratchDirectory dir;
    const QImage picture = linePicture(-25);
    WriteFile("line.png", EncodedPicture(picture, "png", -1));
    const QJsonObject expected = fitOf(RunCli({"--fit", "--json", "line.png"}).out);
    ASSERT_FALSE(expected.isEmpty());
    const QByteArray frame = EncodedPicture(picture, "ppm", -1);
    WriteFile("frames", frame + EncodedPicture(picture, "png", -1) + frame);
    const QList<QByteArray> lines = RunShell("\"$0\" --fit --json - <frames").out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    for (const QByteArray& line : lines)
        EXPECT_EQ(fitOf(line), expected) << line.toStdString();
    EXPECT_EQ(fitOf(RunCli({"--fit", "--json", "--annotate", "marked", "line.png"}).out), expected);
    EXPECT_GT(fitLinePixels("marked/line.png"), 200);
    RunCli({"--overwrite", "--annotate", "marked", "line.png"});
    EXPECT_EQ(fitLinePixels("marked/line.png"), 0);
}

}
