#include "AnsiText.h"
#include "PictureFile.h"
#include "TestSupport.h"
#include "Umain.h"
#include "Uprocess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

namespace {

struct CliRun {
    int status = -1;
    QByteArray out;
    QByteArray err;

    QList<QByteArray> errLines() const
    {
        QList<QByteArray> lines = err.split('\n');
        lines.removeLast();
        return lines;
    }
};

CliRun runCli(const QStringList& arguments, const QString& stdoutFile = {})
{
    QProcess process;
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(SLOPEMETER_CLI_PATH, arguments);
    EXPECT_TRUE(process.waitForFinished(120'000)) << arguments.join(' ').toStdString();
    CliRun run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void drawLine(QImage& image, QPoint from, QPoint to)
{
    for (int x = from.x(); x <= to.x(); ++x)
        SetWhite(image, x, from.y() + (to.y() - from.y()) * (x - from.x()) / std::max(1, to.x() - from.x()));
}

QImage lineFrom(QPoint from, QPoint to, QSize size = {200, 100})
{
    QImage image = SolidImage(size.width(), size.height(), 20, 30, 40);
    drawLine(image, from, to);
    return image;
}

QByteArray captionLines(const std::vector<std::string>& big5Captions)
{
    QByteArray lines;
    for (const std::string& caption : big5Captions)
        lines += AnsiToUnicode(caption).toUtf8() + "\n";
    return lines;
}

struct DirectRun {
    ScanResult result;
    bool computed = false;
    QByteArray captions;
};

// The measurement done here, without the program, on the file as the program loads it.
DirectRun measureDirectly(const QString& file, int level = 50)
{
    Graphics::TBitmap copy;
    copy.SetImage(LoadPictureFile(file.toStdString()));
    Process process;
    process.Binarize(&copy, level);
    DirectRun run;
    run.computed = process.FindSlope(&copy, &run.result);
    const ResultCaptions captions = FormatCaptions(run.result);
    run.captions = captionLines({captions.Fr, captions.Re, captions.Slope});
    return run;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

TEST(SlopemeterCli, CaptionsAreTheWindowsAfterARun)
{
    QImage onlyColumnZero = SolidImage(30, 20);
    SetWhite(onlyColumnZero, 0, 12);
    const QByteArray pictures[] = {
        BmpBytes(lineFrom({3, 45}, {120, 7})),
        BmpBytes(SolidImage(50, 40)),
        BmpBytes(onlyColumnZero),
        BmpBytes(SolidImage(1, 1, 255, 255, 255)),
        fileBytes(SLOPEMETER_SAMPLE),
    };
    for (const QByteArray& picture : pictures) {
        WindowUnderTest window(picture);
        window->Button2->Click();
        const CliRun run = runCli({"test.bmp"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, captionLines(window.Captions()));
        EXPECT_EQ(run.err, "");
    }
    WindowUnderTest window(pictures[0]);
    EXPECT_EQ(runCli({"test.bmp"}).out, "右邊座標:(  3: 45)\n左邊座標:(120:  7)\n斜率:0.32479\n");
    for (int level : {INT_MIN, 19, 255})
        EXPECT_EQ(runCli({"--level", QString::number(level), "test.bmp"}).out,
                  measureDirectly("test.bmp", level).captions) << level;
}

TEST(SlopemeterCli, JsonLinesParseAndMatchTheMeasurement)
{
    ScratchDirectory dir;
    const QString awkwardName = QString::fromUtf8("斜 \"quoted\" back\\slash\ttab.bmp");
    WriteFile("line.bmp", BmpBytes(lineFrom({3, 45}, {120, 7})));
    WriteFile("dark.bmp", BmpBytes(SolidImage(40, 30)));
    WriteFile("flat.bmp", BmpBytes(lineFrom({5, 20}, {35, 20})));
    WriteFile(awkwardName, BmpBytes(lineFrom({0, 90}, {199, 0})));
    const QStringList files = {"line.bmp", "missing.bmp", "dark.bmp", "flat.bmp", awkwardName};

    const CliRun run = runCli(QStringList{"--json"} + files);
    EXPECT_EQ(run.status, 1);
    const QList<QByteArray> lines = run.out.split('\n');
    ASSERT_EQ(lines.size(), files.size() + 1);
    EXPECT_EQ(lines[0], R"({"file":"line.bmp","fr":[3,45],"re":[120,7],"slope":0.32478634,"computed":true})");
    for (int i = 0; i < files.size(); ++i) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(lines[i], &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[i].toStdString();
        EXPECT_EQ(object["file"].toString(), files[i]);
        if (files[i] == "missing.bmp") {
            EXPECT_EQ(object.keys(), (QStringList{"error", "file"}));
            EXPECT_EQ(object["error"].toString(), "Cannot open \"missing.bmp\": the file does not exist.");
            continue;
        }
        const DirectRun direct = measureDirectly(files[i]);
        EXPECT_EQ(object["fr"].toArray(), (QJsonArray{direct.result.FrX, direct.result.FrY}));
        EXPECT_EQ(object["re"].toArray(), (QJsonArray{direct.result.ReX, direct.result.ReY}));
        EXPECT_EQ(float(object["slope"].toDouble()), direct.result.Slope) << "the float reads back exactly";
        EXPECT_EQ(object["computed"].toBool(), direct.computed);
    }
    EXPECT_FALSE(QJsonDocument::fromJson(lines[2]).object()["computed"].toBool());
    EXPECT_FALSE(QJsonDocument::fromJson(lines[3]).object()["computed"].toBool());
}

// The first picture is by far the largest, so with several jobs it is finished last.
TEST(SlopemeterCli, ResultsComeInTheOrderGivenWhateverFinishesFirst)
{
    ScratchDirectory dir;
    QStringList files;
    QByteArray expected;
    for (int i = 0; i < 9; ++i) {
        const QString name = QString("p%1.bmp").arg(i);
        const QSize size = i == 0 ? QSize(3000, 2000) : QSize(100 + i, 60);
        WriteFile(name, BmpBytes(lineFrom({i, 50}, {90, 10 + 3 * i}, size)));
        files << name;
        expected += (i ? "\n" : "") + name.toUtf8() + "\n" + measureDirectly(name).captions;
    }
    files.insert(5, "gone.bmp");
    for (const QString jobs : {"1", "4"}) {
        const CliRun run = runCli(QStringList{"--jobs", jobs} + files);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, expected) << "jobs " << jobs.toStdString();
        EXPECT_EQ(run.errLines(), (QList<QByteArray>{R"(slopemeter-cli: Cannot open "gone.bmp": the file does not exist.)"}));
    }
    const CliRun json = runCli(QStringList{"--json", "--jobs", "4"} + files);
    const QList<QByteArray> lines = json.out.split('\n');
    for (int i = 0; i < files.size(); ++i)
        EXPECT_EQ(QJsonDocument::fromJson(lines[i]).object()["file"].toString(), files[i]);
}

TEST(SlopemeterCli, ExitStatusSaysWhatWentWrong)
{
    ScratchDirectory dir;
    WriteFile("a.bmp", BmpBytes(lineFrom({3, 45}, {120, 7})));
    EXPECT_EQ(runCli({"a.bmp", "a.bmp"}).status, 0);

    const QStringList mistakes[] = {
        {}, {"--bogus", "a.bmp"}, {"--level", "high", "a.bmp"}, {"--level", "1e3", "a.bmp"}, {"a.bmp", "--level"},
        {"--jobs", "0", "a.bmp"}, {"--jobs", "-2", "a.bmp"}, {"--annotate", "", "a.bmp"},
    };
    for (const QStringList& arguments : mistakes) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.endsWith("--help' for more information.\n")) << run.err.toStdString();
    }

    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--level <N>", "--json", "--annotate <DIR>", "--jobs <N>", "FILE..."})
        EXPECT_TRUE(help.out.contains(option)) << option;
    EXPECT_EQ(runCli({"--version"}).out, "slopemeter-cli " SLOPEMETER_VERSION "\n");

}

// A dark, noisy ground (every pixel below the level), so that any pixel the drawing should not
// touch but does shows.
QImage noisyGround()
{
    std::mt19937 random(20261206);
    QImage image(160, 100, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(int(random() % 50), int(random() % 50), int(random() % 50)));
    return image;
}

double distanceToSegment(QPointF p, QPointF a, QPointF b)
{
    const QPointF ab = b - a;
    const double t = std::clamp(QPointF::dotProduct(p - a, ab) / QPointF::dotProduct(ab, ab), 0.0, 1.0);
    const QPointF nearest = a + t * ab;
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

bool onCross(QPoint p, QPoint centre)
{
    const QPoint d = p - centre;
    return (d.x() == 0 && std::abs(d.y()) <= 6) || (d.y() == 0 && std::abs(d.x()) <= 6);
}

QImage annotationOf(const QImage& picture)
{
    WriteFile("picture.bmp", BmpBytes(picture));
    const CliRun run = runCli({"--overwrite", "--annotate", "marked", "picture.bmp"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, measureDirectly("picture.bmp").captions) << "the drawing is never measured";
    return QImage("marked/picture.png").convertToFormat(QImage::Format_RGB32);
}

TEST(SlopemeterCli, AnnotationMarksTheFoundPointsAndLeavesTheRestAlone)
{
    ScratchDirectory dir;
    const QPoint fr(10, 70), re(150, 20);
    QImage picture = noisyGround();
    drawLine(picture, fr, re);
    const QImage marked = annotationOf(picture);
    ASSERT_EQ(marked.size(), picture.size());
    EXPECT_EQ(marked.pixel(fr), qRgb(0, 255, 0));
    EXPECT_EQ(marked.pixel(re), qRgb(0, 255, 0));
    int lineDrawn = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QPoint p(x, y);
            if (marked.pixel(p) == picture.pixel(p))
                continue;
            lineDrawn += marked.pixel(p) == qRgb(255, 0, 0);
            EXPECT_TRUE(onCross(p, fr) || onCross(p, re) || distanceToSegment(p, fr, re) <= 1.0)
                << "changed at " << x << "," << y;
        }
    EXPECT_GE(lineDrawn, re.x() - fr.x() - 2 * 6);

    const QImage dark = noisyGround();
    EXPECT_EQ(annotationOf(dark), dark) << "nothing found, nothing drawn";
}

}
