#include "AnsiText.h"
#include "MeasureCopy.h"
#include "PictureFile.h"
#include "TestSupport.h"
#include "Umain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <random>

namespace {

QByteArray captionLines(const std::vector<std::string>& big5Captions)
{
    return AnsiToUnicode(big5Captions[0] + "\n" + big5Captions[1] + "\n" + big5Captions[2] + "\n").toUtf8();
}

// The captions of the measurement done here, without the program, on the file as the program
// loads it.
QByteArray measureDirectly(const QString& file, int level = DefaultLevel)
{
    Graphics::TBitmap picture;
    picture.SetImage(LoadPictureFile(file.toStdString()));
    const ResultCaptions captions = FormatCaptions(MeasureCopy(picture, MeasureSettings{level}).result);
    return captionLines({captions.Fr, captions.Re, captions.Slope});
}

// Form, Thread and slopemeter-cli show the same captions, and the window's picture stays as it was.
TEST(SlopemeterCli, CaptionsAreTheWindowsAfterEitherRun)
{
    QImage onlyColumnZero = SolidImage(30, 20);
    SetWhite(onlyColumnZero, 0, 12);
    QFile sample(SLOPEMETER_SAMPLE);
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    const QByteArray pictures[] = {
        BmpBytes(LinePicture({200, 100}, {3, 45}, {120, 7})),
        BmpBytes(LinePicture({120, 90}, {5, 8}, {114, 80})),
        BmpBytes(SolidImage(50, 40)),
        BmpBytes(onlyColumnZero),
        BmpBytes(SolidImage(1, 1, 255, 255, 255)),
        sample.readAll(),
    };
    for (const QByteArray& picture : pictures) {
        WindowUnderTest window(picture);
        window->Button2->Click();
        const std::vector<std::string> byForm = window.Captions();
        EXPECT_TRUE(window.ButtonsEnabled());
        const CliRun run = RunCli({"test.bmp"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, captionLines(byForm));
        EXPECT_EQ(run.err, "");
        window->lblFr->SetText("stale");
        ASSERT_TRUE(window.RunThread());
        EXPECT_EQ(window.Captions(), byForm);
        EXPECT_EQ(window->Image1->Picture->Bitmap->Image().convertToFormat(QImage::Format_BGR888),
                  QImage::fromData(picture).convertToFormat(QImage::Format_BGR888));
    }
    EXPECT_NE(FormProcess, nullptr);
    EXPECT_TRUE(RecordedMessages().empty());
    WindowUnderTest window(pictures[0]);
    EXPECT_EQ(RunCli({"test.bmp"}).out, "右邊座標:(  3: 45)\n左邊座標:(120:  7)\n斜率:0.32479\n");
    for (int level : {0, 19, 255})
        EXPECT_EQ(RunCli({"--level", QString::number(level), "test.bmp"}).out, measureDirectly("test.bmp", level)) << level;
}

TEST(SlopemeterCli, JsonLinesParseAndMatchTheMeasurement)
{
    ScratchDirectory dir;
    const QString awkwardName = QString::fromUtf8("斜 \"quoted\" back\\slash\ttab.bmp");
    WriteFile("line.bmp", BmpBytes(LinePicture({200, 100}, {3, 45}, {120, 7})));
    WriteFile("dark.bmp", BmpBytes(SolidImage(40, 30)));
    WriteFile("flat.bmp", BmpBytes(LinePicture({200, 100}, {5, 20}, {35, 20})));
    WriteFile(awkwardName, BmpBytes(LinePicture({200, 100}, {0, 90}, {199, 0})));
    const QStringList files = {"line.bmp", "missing.bmp", "dark.bmp", "flat.bmp", awkwardName};

    const CliRun run = RunCli(QStringList{"--json"} + files);
    EXPECT_EQ(run.status, 1);
    const QList<QByteArray> lines = run.out.split('\n');
    ASSERT_EQ(lines.size(), files.size() + 1);
    EXPECT_EQ(lines[0], R"({"file":"line.bmp","fr":[3,45],"re":[120,7],"slope":0.32478634,"angle":17.993088,"computed":true})");
    EXPECT_EQ(lines[1], R"({"file":"missing.bmp","error":"Cannot open \"missing.bmp\": the file does not exist."})");
    for (int i = 2; i < files.size(); ++i) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(lines[i], &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[i].toStdString();
        EXPECT_EQ(object["file"].toString(), files[i]);
        EXPECT_EQ(object["computed"].toBool(), i == 4) << "false where both points share a row or a column";
        EXPECT_EQ(object.contains("angle"), i == 4);
    }
    EXPECT_EQ(QJsonDocument::fromJson(lines[4]).object()["re"].toArray(), (QJsonArray{199, 0}));
}

// The first picture is by far the largest, so with several jobs it is finished last.
TEST(SlopemeterCli, ResultsComeInTheOrderGivenWhateverFinishesFirst)
{
    ScratchDirectory dir;
    QStringList files;
    QByteArray expected;
    for (int i = 0; i < 9; ++i) {
        const QString name = QString("p%1.bmp").arg(i);
        WriteFile(name, BmpBytes(LinePicture(i == 0 ? QSize(3000, 2000) : QSize(100 + i, 60), {i, 50}, {90, 10 + 3 * i})));
        files << name;
        expected += (i ? "\n" : "") + name.toUtf8() + "\n" + measureDirectly(name);
    }
    files.insert(5, "gone.bmp");
    for (const QString jobs : {"1", "4"}) {
        const CliRun run = RunCli(QStringList{"--jobs", jobs} + files);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, expected) << "jobs " << jobs.toStdString();
        EXPECT_EQ(run.err, "slopemeter-cli: Cannot open \"gone.bmp\": the file does not exist.\n");
    }
}

TEST(SlopemeterCli, ExitStatusSaysWhatWentWrong)
{
    ScratchDirectory dir;
    WriteFile("a.bmp", BmpBytes(LinePicture({200, 100}, {3, 45}, {120, 7})));
    EXPECT_EQ(RunCli({"a.bmp", "a.bmp"}).status, 0);
    const std::pair<QStringList, const char*> mistakes[] = {
        {{}, "no picture files given."},
        {{"--bogus", "a.bmp"}, "Unknown option 'bogus'."},
        {{"--level", "high", "a.bmp"}, "--level needs a whole number from 0 to 255, not 'high'."},
        {{"--level", "1e3", "a.bmp"}, "--level needs a whole number from 0 to 255, not '1e3'."},
        {{"-l", "256", "a.bmp"}, "--level needs a whole number from 0 to 255, not '256'."},
        {{"--level", "-1", "a.bmp"}, "--level needs a whole number from 0 to 255, not '-1'."},
        {{"a.bmp", "--level"}, "Missing value after '--level'."},
        {{"--jobs", "0", "a.bmp"}, "--jobs needs a whole number of 1 or more, not '0'."},
        {{"--jobs", "-2", "a.bmp"}, "--jobs needs a whole number of 1 or more, not '-2'."},
        {{"--annotate", "", "a.bmp"}, "--annotate needs a folder."},
        {{"--annotate", "m", "a.bmp", "a.png"}, "the annotations of 'a.bmp' and 'a.png' would both be 'm/a.png'."},
        {{"--memory", "0", "a.bmp"}, "--memory needs a size such as 4G, 800M or 100000000, not '0'."},
        {{"--memory", "4X", "a.bmp"}, "--memory needs a size such as 4G, 800M or 100000000, not '4X'."},
        {{"--memory", "9223372036854775808", "a.bmp"}, "--memory '9223372036854775808' is too large: the most is 9223372036854775807 bytes."},
        {{"--memory", "8589934592G", "a.bmp"}, "--memory '8589934592G' is too large: the most is 9223372036854775807 bytes."},
        {{"--json", "--csv", "a.bmp"}, "choose one of --json and --csv."},
        {{"--null", "a.bmp"}, "--null goes with --files-from."},
        {{"--files-from", ""}, "--files-from needs a list file, or '-' for standard input."},
        {{"-", "-"}, "standard input can be read only once: give '-' once, as FILE or as LIST."},
        {{"--files-from", "-", "-"}, "standard input can be read only once: give '-' once, as FILE or as LIST."},
        {{"--annotate", ".", "-"}, "--annotate draws on picture files, not on frames from standard input."},
        {{"--report", "", "a.bmp"}, "--report needs a file name."},
        {{"--report", "a.bmp", "a.bmp"}, "the report 'a.bmp' would replace 'a.bmp', which the run reads."},
        {{"--report", "r.html", "--files-from", "r.html"}, "the report 'r.html' would replace 'r.html', which the run reads."},
        {{"--annotate", "m", "--report", "m/a.png", "a.bmp"}, "the report 'm/a.png' and the annotation of 'a.bmp' would be the same file."},
    };
    for (const auto& [arguments, why] : mistakes) {
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "slopemeter-cli: " + QByteArray(why) + "\nTry 'slopemeter-cli --help' for more information.\n");
    }
    // Any size an int64 holds is a size; only past it is a size too large.
    EXPECT_EQ(RunCli({"--memory", "9223372036854775807", "a.bmp"}).status, 0);
    EXPECT_EQ(RunCli({"--memory", "8589934591G", "a.bmp"}).status, 0);
    EXPECT_EQ(RunCli({"--files-from", "/no/such/list"}).status, 2);
    EXPECT_EQ(RunCli({"--help"}).status, 0);
    EXPECT_EQ(RunCli({"--version"}).out, "slopemeter-cli " SLOPEMETER_VERSION "\n");
}

// Green crosses on the points found and a red line between them; nothing drawn where nothing
// was found. The drawing is never measured.
TEST(SlopemeterCli, AnnotationMarksTheFoundPoints)
{
    ScratchDirectory dir;
    const QImage line = LinePicture({160, 100}, {10, 70}, {150, 20}), dark = SolidImage(160, 100, 20, 30, 40);
    for (const QImage* input : {&line, &dark}) {
        WriteFile("picture.bmp", BmpBytes(*input));
        const CliRun run = RunCli({"--overwrite", "--annotate", "marked", "picture.bmp"});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, measureDirectly("picture.bmp"));
        const QImage marked = QImage("marked/picture.png").convertToFormat(QImage::Format_RGB32);
        if (input == &dark) {
            EXPECT_EQ(marked, dark.convertToFormat(QImage::Format_RGB32)) << "nothing found, nothing drawn";
            continue;
        }
        // Each arm of a cross is 6 pixels long and 1 wide.
        EXPECT_EQ(std::vector<QRgb>({marked.pixel(10, 70), marked.pixel(150, 20), marked.pixel(80, 45), marked.pixel(80, 20),
                                     marked.pixel(10, 64), marked.pixel(10, 76), marked.pixel(4, 70), marked.pixel(16, 70), marked.pixel(10, 63)}),
                  std::vector<QRgb>({qRgb(0, 255, 0), qRgb(0, 255, 0), qRgb(255, 0, 0), line.pixel(80, 20),
                                     qRgb(0, 255, 0), qRgb(0, 255, 0), qRgb(0, 255, 0), qRgb(0, 255, 0), line.pixel(10, 63)}));
    }
    // White only in column 0: the scan from the right finds nothing, not the corner.
    QImage column = SolidImage(30, 20);
    SetWhite(column, 0, 0);
    SetWhite(column, 0, 12);
    WriteFile("picture.bmp", BmpBytes(column));
    EXPECT_EQ(RunCli({"--overwrite", "--annotate", "marked", "picture.bmp"}).status, 0);
    EXPECT_EQ(QImage("marked/picture.png").pixel(0, 0), qRgb(255, 255, 255));
}

// Frames back to back on standard input give what the same pictures give as files, up to a
// stream's last byte; a stray byte after the last frame is a frame cut short, or no frame,
// but a line break.
TEST(SlopemeterCli, FramesOnStandardInputAreMeasuredAsFiles)
{
    ScratchDirectory dir;
    // An odd width: the bilevel frame's rows end in a part-filled byte, the bitmap's are padded.
    const QImage line = LinePicture({33, 12}, {1, 10}, {31, 2});
    // Two bytes a sample in the grey frame.
    QByteArray grey16 = "P5 33 12 65535\n", bits = "P4\n33 12\n";
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 33; ++x) {
            const int grey = qGray(line.pixel(x, y));
            grey16 += QByteArray(2, char(grey));
            if (x % 8 == 0)
                bits += '\0';
            bits.back() = char(bits.back() | (grey > 128 ? 0 : 0x80 >> x % 8));
        }
    // The PNG last, so that its end is the stream's.
    const QByteArray frames[] = {EncodedPicture(line, "ppm"), grey16, bits, BmpBytes(line), EncodedPicture(line, "png")};
    QByteArray stream, expected;
    for (const QByteArray& frame : frames) {
        const QString name = QString("f%1").arg(stream.size());
        WriteFile(name, frame);
        const QByteArray result = RunCli({"--json", name}).out;
        expected += result.mid(result.indexOf(",\"fr\""));
        stream += frame;
    }
    // At level 0 only black is black: the set bits of a bilevel frame are 0, not a shade above.
    WriteFile("bits", bits);
    EXPECT_EQ(RunShell("\"$0\" --level 0 - <bits").out, "- frame 0\n" + RunCli({"--level", "0", "bits"}).out);
    // The first bytes of a kind a stream carries are a frame cut short; other bytes no frame.
    const QByteArray cut = "the stream ends inside it, so the frame is cut short.",
                     none = "it is not a picture this program reads from a stream (binary PNM, BMP, PNG or JPEG).";
    const std::pair<QByteArray, QByteArray> ends[] = {
        {"", ""}, {"\n", ""}, {"P", cut}, {"\x89PNG\r\n\x1a", cut}, {"\xFF\xD8", cut}, {"X", none}, {"\xFF\xD9", none}, {"\x89PNG\r\n\x1b", none}};
    for (const auto& [end, error] : ends) {
        WriteFile("stream", stream + end);
        const CliRun run = RunShell("\"$0\" --json - <stream");
        EXPECT_EQ(run.status, error.isEmpty() ? 0 : 1) << end.toStdString();
        QByteArray measured;
        for (const QByteArray& result : run.out.split('\n').mid(0, 5))
            measured += result.mid(result.indexOf(",\"fr\"")) + "\n";
        EXPECT_EQ(measured, expected) << end.toStdString();
        EXPECT_TRUE(run.out.endsWith(error.isEmpty() ? "" : "{\"file\":\"-\",\"frame\":5,\"error\":\"Cannot read frame 5 of standard input: " + error + "\"}\n"))
            << run.out.toStdString();
    }
}

// A frame is found by walking its header, segments or chunks. Where the walk reaches the frame's
// end, a damaged frame is only that frame's failure and the next is measured; where the header
// gives no end, the stream is lost. A PNM header fails as a file as it fails as a frame.
TEST(SlopemeterCli, EachFrameHeaderFaultSaysWhyAndWhetherTheStreamGoesOn)
{
    ScratchDirectory dir;
    const QByteArray next = EncodedPicture(LinePicture({20, 10}, {1, 8}, {18, 2}), "png");
    const QByteArray bmpHeader = QByteArray("BM", 2) + QByteArray(12, '\0'), spaces(70000, ' ');
    const struct {
        QByteArray frame;
        const char* why;
        bool nextMeasured, asFile;
    } cases[] = {
        {bmpHeader, "the bitmap header gives the frame a length of 0 bytes.", false, false},
        {QByteArray(bmpHeader).replace(2, 4, "\x0E\0\0\0"), "the bitmap header gives the frame a length of 14 bytes.", false, false},
        {QByteArray(bmpHeader).replace(2, 4, "\xFF\xFF\xFF\xFF"), "the bitmap header gives the frame a length of 4294967295 bytes.", false, false},
        {QByteArray("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\x00", 9), "the JPEG frame has no marker where one must be.", false, false},
        {QByteArray("\xFF\xD8\xFF\xE0\x00\x01", 6), "a JPEG marker gives a length of 1 bytes.", false, false},
        // Fill bytes, standalone markers, and coded data with stuffing and restart markers.
        {QByteArray("\xFF\xD8\xFF\xFF\xD0\xFF\x01\xFF\xD9", 9), "the picture is damaged (JPEG datastream contains no image).", true, false},
        {QByteArray("\xFF\xD8\xFF\xDA\x00\x02\x11\xFF\x00\x33\xFF\xD3\x44\xFF\xD9", 15), "SOS before SOF", true, false},
        {QByteArray("\x89PNG\r\n\x1a\n\x80\x00\x00\x00IHDR", 16), "a PNG chunk gives a length of 2147483648 bytes.", false, false},
        {"P5 2 1 255x", "the PNM header does not end in a blank.", false, true},
        {"P5 99999999999 1 255\n", "the PNM header's width is too large.", false, true},
        {"P5 2 1 70000\n\0\0\0\0", "the PNM header's largest value 70000 is not between 1 and 65535.", false, true},
        {"P5" + spaces + "2 1 255\n\0\0", "the PNM header is too long.", false, true},
    };
    for (const auto& [frame, why, nextMeasured, asFile] : cases) {
        WriteFile("stream", frame + next);
        const CliRun run = RunShell("\"$0\" --json - <stream");
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.startsWith("slopemeter-cli: Cannot read frame 0 of standard input: ") && run.err.contains(why))
            << run.err.toStdString();
        EXPECT_EQ(run.out.count("\"frame\":1,\"fr\""), nextMeasured ? 1 : 0) << why;
        WriteFile("file", frame);
        if (asFile) {
            EXPECT_EQ(RunCli({"file"}).err, QByteArray("slopemeter-cli: Cannot read \"file\": ") + why + "\n");
        }
    }
    // A scan whose end marker is the stream's last two bytes ends a whole frame.
    WriteFile("stream", QByteArray("\xFF\xD8\xFF\xDA\x00\x02\xFF\xD9", 8));
    EXPECT_TRUE(RunShell("\"$0\" - <stream").err.contains("SOS before SOF"));
}

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
