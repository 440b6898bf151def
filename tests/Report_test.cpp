#include "HtmlReport.h"
#include "Measurement.h"
#include "NameEscaping.h"
#include "ReportCharts.h"
#include "ReportFile.h"
#include "ReportPictures.h"
#include "ReportStatistics.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr float none = std::numeric_limits<float>::quiet_NaN();

// A measured result whose end-point angle is atan(slope).
Measurement measured(const QString& file, float slope, bool computed = true)
{
    Measurement measurement;
    measurement.file = file;
    measurement.measured = true;
    measurement.computed = computed;
    measurement.result = {1, 2, 30, 40, slope};
    return measurement;
}

Measurement failed(const QString& file, const QString& why)
{
    Measurement measurement;
    measurement.file = file;
    measurement.error = why;
    return measurement;
}

QByteArray page(const std::vector<Measurement>& measurements, ReportSettings settings = {}, bool cutShort = false)
{
    QByteArray text;
    HtmlReport report(settings, [&](const QByteArray& bytes) { text += bytes; });
    for (const Measurement& measurement : measurements)
        report.Add(measurement);
    report.Finish(1.5, cutShort);
    return text;
}

ReportSettings settingsOf(int level, bool fit, bool stream)
{
    ReportSettings settings;
    settings.level = level;
    settings.fit = fit;
    settings.stream = stream;
    return settings;
}

QString summaryValue(const QByteArray& html, const QString& key)
{
    const QRegularExpression row("<tr data-key=\"" + key + "\"><th>[^<]*</th><td>([^<]*)</td></tr>");
    const QRegularExpressionMatch match = row.match(QString::fromUtf8(html));
    return match.hasMatch() ? match.captured(1) : "(no row)";
}

TEST(Report, SpreadOfKnownValues)
{
    const Spread five = SpreadOf({3, none, 1, 5, 2, 4});
    EXPECT_EQ(five.count, 5u);
    EXPECT_DOUBLE_EQ(five.median, 3);
    EXPECT_NEAR(five.sd, std::sqrt(2.5), 1e-12);
    EXPECT_NEAR(five.p5, 1.2, 1e-6);
    EXPECT_NEAR(five.p95, 4.8, 1e-6);
    const Spread even = SpreadOf({10, 20});
    EXPECT_DOUBLE_EQ(even.median, 15);
    EXPECT_NEAR(even.sd, std::sqrt(50), 1e-12);
    const Spread one = SpreadOf({7});
    EXPECT_EQ(one.sd, 0);
    EXPECT_EQ(one.p95, 7);
    EXPECT_EQ(SpreadOf({none}).count, 0u);
}

// Slopes 0, 1 and sqrt(3) are angles 0, 45 and 60 degrees; a failed and an uncomputed picture count
// but have no angle.
TEST(Report, SummaryCountsAndAngles)
{
    const QByteArray html = page({measured("a", 0), failed("b", "cannot read b"), measured("c", 1),
                                  measured("d", 99, false), measured("e", std::sqrt(3.0f))},
                                 settingsOf(40, false, false));
    const std::pair<const char*, QString> expected[] = {
        {"pictures", "5"}, {"measured", "4"}, {"failed", "1"}, {"level", "40"}, {"fit", "no"}, {"time", "1.500"}, {"angle_median", "45"}, {"angle_p5", "4.5"}};
    for (const auto& [key, value] : expected)
        EXPECT_EQ(summaryValue(html, key), value) << key;
    EXPECT_NEAR(summaryValue(html, "angle_p95").toDouble(), 58.5, 1e-5);
    EXPECT_NEAR(summaryValue(html, "angle_sd").toDouble(), 31.224989992, 1e-5);
    EXPECT_EQ(summaryValue(html, "fit_angle_median"), "(no row)");
    const QByteArray empty = page({}, settingsOf(0, true, false));
    for (const char* key : {"angle_median", "angle_sd", "fit_angle_p5", "fit_angle_p95"})
        EXPECT_EQ(summaryValue(empty, key), "\u2013") << key;
    EXPECT_EQ(summaryValue(empty, "pictures"), "0");
    EXPECT_EQ(empty.count("no measured result"), 4);
}

TEST(Report, DownsamplingKeepsEachColumnsExtremesWithinTheWidth)
{
    std::vector<ReportSample> samples;
    for (int i = 0; i < 100000; ++i)
        samples.push_back({double(i), float(std::sin(i * 0.001)), none, none, none});
    samples[31337].angle = 50;
    samples[77777].angle = -40;
    const SampleValue angle = [](const ReportSample& sample) { return sample.angle; };
    const std::vector<ColumnRange> ranges = ColumnRanges(samples, 0, 99999, PlotWidth, angle, angle);
    EXPECT_EQ(ranges.size(), std::size_t(PlotWidth));
    float lowest = 0, highest = 0;
    for (const ColumnRange& range : ranges) {
        EXPECT_LE(range.low, range.high);
        lowest = std::min(lowest, range.low);
        highest = std::max(highest, range.high);
    }
    EXPECT_EQ(highest, 50);
    EXPECT_EQ(lowest, -40);
    const QByteArray svg = LineChart({"chart-angle", "t", "x", "y"}, samples, {{"angle", angle, angle}});
    EXPECT_EQ(svg.count("class=\"series"), 1);
    EXPECT_LE(svg.count('L') + 1, 2 * PlotWidth);
    EXPECT_LT(svg.size(), 64 * 1024);
}

TEST(Report, NamesAndErrorsComeOutOnlyEscaped)
{
    const QString hostile = NameFromBytes("x</script><script>alert(1)</script>\"'\xff<!--.png");
    ReportSettings settings;
    settings.annotationDirectory = "annotated";
    const QByteArray html = page({measured(hostile, 0.3f), failed(hostile, "no <b>picture</b>")}, settings);
    EXPECT_EQ(html.count("<script>"), 2) << "the page's own and the one chunk of records";
    EXPECT_FALSE(html.contains("alert(1)</script>"));
    EXPECT_FALSE(html.contains("<b>"));
    EXPECT_FALSE(html.contains('\xff'));
    EXPECT_TRUE(html.contains("\"x\\u003c/script>\\u003cscript>alert(1)\\u003c/script>\\\"'\\udcff\\u003c!--.png\""));
    // The thumbnails' section names the picture in text, as the table shows it, and its angle.
    EXPECT_TRUE(html.contains("x&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;\\xFF&lt;!--.png: angle 16.699245\xC2\xB0, +0\xC2\xB0 from"));
}

TEST(Report, StreamChartsTheFrameNumber)
{
    std::vector<Measurement> frames;
    for (int frame = 5000; frame < 5100; ++frame) {
        frames.push_back(measured("-", float(frame % 7)));
        frames.back().frame = frame;
    }
    const QByteArray html = page(frames, settingsOf(0, false, true));
    EXPECT_EQ(summaryValue(html, "pictures"), "100");
    EXPECT_TRUE(html.contains("<tr><th data-column=\"frame\""));
    EXPECT_TRUE(html.contains(">5000</text>"));
    EXPECT_TRUE(html.contains(">5080</text>"));
    EXPECT_TRUE(html.contains("R([[5000,\"-\","));
}

TEST(Report, CutShortIsMarkedAndRecordsComeInChunks)
{
    std::vector<Measurement> many(1000, measured("p.png", 0.5f));
    const QByteArray whole = page(many);
    EXPECT_FALSE(whole.contains("id=\"cut-short\""));
    EXPECT_EQ(whole.count("<script>R(["), 4);
    EXPECT_TRUE(page(many, {}, true).contains("<p id=\"cut-short\">"));
    QByteArray unfinished;
    {
        HtmlReport report({}, [&](const QByteArray& bytes) { unfinished += bytes; });
        for (const Measurement& measurement : many)
            report.Add(measurement);
    }
    EXPECT_EQ(unfinished.count("<script>R(["), 3);
    EXPECT_TRUE(unfinished.endsWith("])</script>\n"));
    // More chunks than wait for the writing thread at a time all reach the page, in order.
    std::vector<Measurement> named(256 * 12, measured("", 0.5f));
    for (std::size_t i = 0; i < named.size(); ++i)
        named[i].file = QString::number(i);
    const QByteArray all = page(named);
    EXPECT_EQ(all.count("<script>R(["), 12);
    EXPECT_EQ(all.count("<rect class=\"bar\""), 50) << "the most bars a histogram has";
    EXPECT_LT(all.indexOf("[\"0\","), all.indexOf("[\"1500\","));
    EXPECT_LT(all.indexOf("[\"1500\","), all.indexOf("[\"3071\","));
}

// Of pictures at the same distance from the median, the one that came first comes first.
TEST(Report, TheFarthestPicturesFromTheMedianComeFirst)
{
    FarthestPictures far;
    const std::pair<float, const char*> unusual[] = {{-20, "below"}, {50, "highest"}, {-40, "lowest"}, {30, "above"}};
    for (int i = 0; i < 30; ++i) {
        far.offer(float(i % 10), QString::number(i));
        if (i % 7 == 3)
            far.offer(unusual[i / 7].first, unusual[i / 7].second);
    }
    QStringList names;
    for (const FarPicture& picture : far.farthestFrom(5))
        names << picture.file + ":" + QString::number(picture.deviation);
    EXPECT_EQ(names.join(" ").toStdString(), "highest:45 lowest:-45 below:-25 above:25 0:-5 10:-5 20:-5 1:-4");
}

// The charts of a run with the fit, drawn from known values, byte for byte: a change to their
// layout or their scales must be meant, and then this digest with it.
TEST(Report, ChartsAreDrawnAsBefore)
{
    std::vector<Measurement> runs;
    for (int i = 0; i < 12; ++i) {
        runs.push_back(measured(QString::number(i), float(std::sin(i * 0.3)), i % 7 != 3));
        if (i % 5) {
            runs.back().fit = FittedLine{};
            runs.back().fit->angle = i * 1.5 - 20;
            runs.back().fit->angleSd = 0.01 * i;
        }
    }
    runs.push_back(failed("x", "cannot read x"));
    // One picture is a point in the middle, drawn a dot long, and a histogram of one value; of two,
    // the first is at the left and the second at the right. A level fit is at 0 degrees, not -0.
    Measurement one = measured("1", 0.5f);
    one.fit = FittedLine{};
    one.fit->angle = -0.0;
    const std::pair<std::vector<Measurement>, const char*> pages[] = {
        {runs, "54718fd8a9efd985f73d034a0d3e9455b3ebcd165b61a6889531ee7f8932f84e"},
        {{one}, "4fc5211da90a73664d139e122fefcaec67273393d867e1517d17806eb2a6433b"},
        {{one, one}, "87247cb1b610bf5dbc4761bca723b6ac4c7aeccbb3dbed826362b176fbabc440"}};
    for (const auto& [measurements, digest] : pages) {
        const QByteArray html = page(measurements, settingsOf(50, true, false));
        QByteArray charts;
        for (qsizetype at = html.indexOf("<svg"); at >= 0; at = html.indexOf("<svg", at + 1))
            charts += html.mid(at, html.indexOf("</svg>", at) + 6 - at);
        EXPECT_EQ(QCryptographicHash::hash(charts, QCryptographicHash::Sha256).toHex().toStdString(), digest);
        EXPECT_EQ(summaryValue(html, "fit_angle_median"), measurements.size() < 3 ? "0" : "-11");
    }
}

TEST(ReportFile, PutsThePageInPlaceOnlyWhenFinishedAndNeverOverAnother)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("report.html");
    const auto entries = [&] { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString(); };
    {
        ReportFile left(path, false);
        left.Write("half");
    }
    EXPECT_EQ(entries(), "");
    ReportFile first(path, false);
    first.Write("first");
    ReportFile racing(path, false);
    racing.Write("second");
    EXPECT_EQ(first.Finish(), "");
    EXPECT_NE(racing.Finish(), "") << "the report that came first stays";
    EXPECT_NE(ReportFile(path, false).Error(), "");
    // The page gets the mode of any new file, which a private temporary file would not have.
    const mode_t umaskBefore = umask(027);
    ReportFile replacing(path, true);
    umask(umaskBefore);
    replacing.Write("third");
    EXPECT_EQ(replacing.Finish(), "");
    struct stat status {};
    EXPECT_TRUE(stat(path.toUtf8().constData(), &status) == 0 && (status.st_mode & 07777) == 0640);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "third");
    EXPECT_EQ(entries(), "report.html");
    EXPECT_EQ(ReportFile(folder.filePath("none/report.html"), false).Error().contains("none"), true);
}

}

namespace {

QByteArray fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

TEST(ReportCli, BatchWithAMissingFileGivesAPageAndStatusOne)
{
    ScratchDirectory scratch;
    WriteFile("line.bmp", BmpBytes(LinePicture({60, 30}, {2, 20}, {50, 5})));
    const CliRun run = RunCli({"--json", "--report", "run.html", "line.bmp", "missing.bmp"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.count('\n'), 2);
    const QByteArray html = fileText("run.html");
    EXPECT_EQ(summaryValue(html, "pictures"), "2");
    EXPECT_EQ(summaryValue(html, "failed"), "1");
    EXPECT_TRUE(html.contains("[\"missing.bmp\",null,"));
    const CliRun again = RunCli({"--report", "run.html", "line.bmp"});
    EXPECT_EQ(again.status, 2);
    EXPECT_TRUE(again.err.contains("'run.html' is there already")) << again.err.toStdString();
    EXPECT_EQ(fileText("run.html"), html);
    EXPECT_EQ(RunCli({"--overwrite", "--report", "run.html", "line.bmp"}).status, 0);
    EXPECT_EQ(summaryValue(fileText("run.html"), "pictures"), "1");
    const CliRun unwritable = RunCli({"--json", "--report", "no/such/folder.html", "line.bmp"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.out, "") << "refused before a picture is measured";
    // An annotation written into a device is not read back for its thumbnail: /dev/zero never ends.
    ASSERT_TRUE(QDir().mkdir("marked"));
    ASSERT_EQ(symlink("/dev/zero", "marked/line.png"), 0);
    const CliRun intoDevice = RunShell("timeout 20 \"$0\" --overwrite --annotate marked --report marked.html line.bmp");
    EXPECT_EQ(intoDevice.status, 0) << intoDevice.err.toStdString();
    EXPECT_TRUE(fileText("marked.html").contains("cannot be read"));
    EXPECT_TRUE(unwritable.err.contains("cannot write the report 'no/such/folder.html'")) << unwritable.err.toStdString();
}

// Frames come through a pipe that stays open, so the run waits for more when it is interrupted.
TEST(ReportCli, InterruptedStreamLeavesAPageMarkedCutShort)
{
    ScratchDirectory scratch;
    const CliRun run = RunShell(
        "frame() { printf 'P5\\n8 4\\n255\\n'; head -c 32 /dev/zero; }\n"
        "mkfifo frames; \"$0\" --json --report stream.html - <frames >out & pid=$!\n"
        "exec 3>frames; for i in 1 2 3; do frame >&3; done\n"
        "for i in $(seq 300); do [ \"$(wc -l <out)\" -ge 3 ] && break; sleep 0.1; done\n"
        "kill -INT $pid; wait $pid; echo $?; exec 3>&-");
    EXPECT_EQ(run.out, "130\n") << "the program ends as SIGINT ends it";
    const QByteArray html = fileText("stream.html");
    EXPECT_TRUE(html.contains("<p id=\"cut-short\">"));
    EXPECT_EQ(summaryValue(html, "pictures"), "3");
    EXPECT_EQ(QDir().entryList(QDir::Hidden | QDir::Files).filter(".stream.html").size(), 0);
}

}
