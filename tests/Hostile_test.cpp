#include "Forms.h"
#include "NameEscaping.h"
#include "PictureCompleteness.h"
#include "PictureFile.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "Umain.h"

#include <QFile>
#include <QImageWriter>
#include <QProcess>

#include <gtest/gtest.h>

#include <fstream>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(HostileInput, PicturesAreCutShortExactlyWhenTheirDataStopsEarly)
{
    // Both close their data properly, but hold 1 pixel of 64 and 2 bytes of 8.
    const QByteArray gif("GIF89a\x08\x00\x08\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF"
                         "\x2C\x00\x00\x00\x00\x08\x00\x08\x00\x00\x02\x02\x4C\x01\x00\x3B",
                         34);
    const QByteArray xbm("#define t_width 16\n#define t_height 4\nstatic char t_bits[] = {\n0xff, 0x00 };\n");
    for (const QByteArray& bytes : {gif, xbm}) {
        ASSERT_FALSE(QImage::fromData(bytes).isNull()) << bytes.left(6).toStdString();
        EXPECT_TRUE(PictureDataCutShort(bytes)) << bytes.left(6).toStdString();
    }
    // One that starts with the longest codes (12 bits, minimum code size 11) is whole.
    EXPECT_FALSE(PictureDataCutShort(QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF\x2C\x00\x00\x00"
                                                "\x00\x01\x00\x01\x00\x00\x0B\x05\x00\x08\x00\x01\x08\x00\x3B",
                                                38)));
}

// A run-length bitmap may end before it has set every pixel; those it leaves are colour 0 of
// its palette, never what the memory held before (which differed from one reading to the next;
// valgrind sees that, a plain build does not).
TEST(HostileInput, ARunLengthBitmapThatEndsEarlyLeavesColourZero)
{
    ScratchDirectory dir;
    QByteArray bmp(54, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    const QByteArray palette("\0\0\0\0\xFF\xFF\xFF\0", 8);
    // Two pixels of colour 1 at the start of the bottom row, then the end of the bitmap.
    const QByteArray pixels("\x02\x01\x00\x01", 4);
    for (auto [at, value] : {std::pair{2, 54 + 8 + 4}, {10, 54 + 8}, {14, 40}, {18, 300}, {22, 200}, {30, 1}, {34, 4}, {46, 2}})
        PutU32(bmp, at, std::uint32_t(value));
    PutU16(bmp, 26, 1);
    PutU16(bmp, 28, 8);
    const QImage image = DecodeWithQt(bmp + palette + pixels);
    ASSERT_FALSE(image.isNull());
    int bright = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            bright += qGray(image.pixel(x, y)) > 128;
    EXPECT_EQ(bright, 2);
    WriteFile("rle.bmp", bmp + palette + pixels);
    EXPECT_EQ(RunCli({"--json", "rle.bmp"}).out, "{\"file\":\"rle.bmp\",\"fr\":[0,199],\"re\":[1,199],\"slope\":0,\"computed\":false}\n");
}

// Refused from what the headers say, before any memory is taken for the pixels. The bitmap is
// full length (a sparse file), so that only the limit stands in its way.
TEST(HostileInput, PicturesOverTheLimitGetTheSizeMessage)
{
    ScratchDirectory dir;
    QByteArray bmp = BmpBytes(SolidImage(4, 4)).left(54);
    PutU32(bmp, 18, 12248);
    PutU32(bmp, 22, 12248);
    const struct {
        const char* name;
        QByteArray header;
        const char* size;
    } cases[] = {
        {"big.bmp", bmp, "12248 x 12248"},
        {"big.ppm", "P6\n20000 20000\n255\n", "20000 x 20000"},
        {"big.pgm", "P5\n20000 20000\n65535\n", "20000 x 20000"},
        {"big.xpm", "/* XPM */\nstatic char *x[] = {\n\"20000 20000 1 1\",\n\"a c #000000\",\n\"aaaa\",\n};\n", "20000 x 20000"},
        {"big.xbm", "#define x_width 20000\n#define x_height 20000\nstatic char x_bits[] = {\n0x00, 0x00 };\n", "20000 x 20000"},
        // An area that does not even fit in 64 bits.
        {"huge.xbm", "#define x_width 9223372036854775807\n#define x_height 23\nstatic char x_bits[] = {\n0x00 };\n", "9223372036854775807 x 23"},
    };
    for (const auto& [name, header, size] : cases) {
        WriteFile(name, header + QByteArray(100, '\0'));
        EXPECT_EQ(FailureOf(name), "Cannot read \"" + std::string(name) + "\": the picture is " + size + " pixels, more than the 150000000 pixels this program handles.");
    }
    ASSERT_TRUE(QFile("big.bmp").resize(54 + std::int64_t(36744) * 12248));
    EXPECT_EQ(FailureOf("big.bmp"), "Cannot read \"big.bmp\": the picture is 12248 x 12248 pixels, more than the 150000000 pixels this program handles.");
}

// Opening a pipe with no writer must not wait, and an endless device must not be read on: a
// window that waits on either never comes.
TEST(HostileWindow, AnEndlessDeviceOrWriterlessPipeAsTestBmpGivesOneMessageThenTheWindow)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/zero", "it is not a picture in a format this program reads."},
        {"/dev/urandom", "it is not a picture in a format this program reads."},
        {nullptr, "the file is empty."},
    };
    for (const auto& [device, why] : cases) {
        ScratchDirectory dir;
        ASSERT_EQ(device ? symlink(device, "test.bmp") : mkfifo("test.bmp", 0600), 0);
        RecordedMessages().clear();
        Application->CreateForm(&Form1);
        Form1->Show();
        EXPECT_EQ(RecordedMessages(), std::vector<std::string>{std::string("Cannot read \"test.bmp\": ") + why});
        EXPECT_TRUE(Form1->Widget()->isVisible());
        delete Form1;
        Form1 = nullptr;
    }
}

TEST(HostileWindow, AWorkerThatCannotStartGivesOneMessageAndTheWindowGoesOn)
{
    if (BuiltWithSanitizers)
        GTEST_SKIP() << "an address-space limit does not mix with sanitizers";
    EXPECT_EXIT({
        WindowUnderTest window(SolidImage(4, 4));
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        // Room for the message, not for a thread's stack.
        limit.rlim_cur = pages * 4096 + (2 << 20);
        setrlimit(RLIMIT_AS, &limit);
        window->Button1->Click();
        limit.rlim_cur = RLIM_INFINITY;
        setrlimit(RLIMIT_AS, &limit);
        std::fprintf(stderr, "%s\n", RecordedMessages().empty() ? "-" : RecordedMessages()[0].c_str());
        ExitNow(RecordedMessages().size() == 1 && TThread::InstanceCount() == 0 && window->Widget()->isVisible() ? 0 : 1);
    },
                ::testing::ExitedWithCode(0), "Thread creation error: Resource temporarily unavailable.");
}

// The most memory the program held while running with these arguments, in megabytes. The
// sanitizers' own memory would drown what is measured: their builds leave such checks out.
long peakMegabytes(const QString& arguments)
{
    return RunShell("/usr/bin/time -o peak -f %M \"$0\" " + arguments + " >/dev/null 2>&1; cat peak").out.toLong() / 1024;
}

void writeCopies(const QByteArray& bytes, const QString& name, int count)
{
    for (int i = 0; i < count; ++i)
        WriteFile(name.arg(i), bytes);
}

TEST(CliHostile, ThreadsThatCannotStartLeaveTheWorkToThoseThatDid)
{
    if (BuiltWithSanitizers)
        GTEST_SKIP() << "an address-space limit does not mix with sanitizers";
    ScratchDirectory dir;
    writeCopies(BmpBytes(SolidImage(64, 32)), "p%1.bmp", 8);
    // Each thread would take 256 MB of address space for its stack; few fit.
    const CliRun run = RunShell("ulimit -s 262144; ulimit -v 1000000; \"$0\" --json --jobs 8 p*.bmp");
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.count("\"computed\":false}\n"), 8);
}

// The pipe with a writer is read when its bytes come, however late, as is the line break after a
// frame on standard input.
TEST(CliHostile, EndlessDevicesAndWriterlessPipesAreRefusedAtOnceWhilePipesWithWritersWork)
{
    ScratchDirectory dir;
    WriteFile("p.bmp", BmpBytes(SolidImage(4, 4)));
    ASSERT_EQ(symlink("/dev/zero", "zero.bmp"), 0);
    const CliRun run = RunShell("mkfifo fifo.bmp; { cat p.bmp; sleep 0.3; echo; } | \"$0\" --json - zero.bmp fifo.bmp "
                                "<(sleep 0.3; cat p.bmp) 2>/dev/null");
    EXPECT_TRUE(run.out.startsWith("{\"file\":\"-\",\"frame\":0,\"fr\"")) << run.out.toStdString();
    EXPECT_EQ(run.out.count("\"error\""), 2);
    EXPECT_TRUE(run.out.contains("fd/63\",\"fr\"")) << run.out.toStdString();
    if (!BuiltWithSanitizers) {
        EXPECT_LT(peakMegabytes("zero.bmp"), 100);
    }
}

TEST(CliHostile, AnInterruptedRunLeavesOnlyWholeLines)
{
    ScratchDirectory dir;
    writeCopies(BmpBytes(SolidImage(64, 32)), "p%1.bmp", 3000);
    for (int signal : {SIGINT, SIGTERM}) {
        QProcess process;
        process.start("bash", {"-c", "exec \"$0\" --json --jobs 2 p*.bmp", SLOPEMETER_CLI_PATH});
        ASSERT_TRUE(process.waitForReadyRead(60'000));
        kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60'000));
        const QByteArray out = process.readAllStandardOutput();
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(process.exitCode(), signal);
        EXPECT_TRUE(out.endsWith("}\n")) << out.right(40).toStdString();
        EXPECT_EQ(out.count('\n'), out.count("{\"file\":\"p"));
    }
}

// Only shortest-form UTF-8 of a code point that is not a surrogate is taken as text; anything
// else that looks like it would come back as other bytes, and name another file.
TEST(NameEscaping, BytesThatAreNotUtf8ComeBackAsGiven)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        // The last code point of one byte, the first and last of each longer length, and those
        // either side of the surrogates.
        {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         "\"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\""},
        {"\xE0\x80\xAF", R"("\udce0\udc80\udcaf")"},
        {"\xF0\x80\x80\xAF", R"("\udcf0\udc80\udc80\udcaf")"},
        {"\xED\xA0\x80", R"("\udced\udca0\udc80")"},
        {"\xF4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},
        {"a\xE2\x82", R"("a\udce2\udc82")"},
        {"\xC0\xAF\x80\x80", R"("\udcc0\udcaf\udc80\udc80")"},
    };
    for (const auto& [bytes, json] : cases) {
        const QString name = NameFromBytes(bytes);
        EXPECT_EQ(BytesFromName(name), bytes) << json.toStdString();
        EXPECT_EQ(JsonString(name).toLower(), json);
    }
    // C1 controls move a terminal as C0 ones do; U+00A0 is text.
    EXPECT_EQ(TerminalText(QString::fromUtf8("\xC2\x80\xC2\x9F\xC2\xA0\x7F")), "\\u0080\\u009F\xC2\xA0\\x7F");
}

// Names are bytes: neither UTF-8 nor free of control characters.
TEST(CliHostile, NamesAreUsedAsGivenAndShownSafely)
{
    ScratchDirectory dir;
    WriteFile("p.bmp", BmpBytes(SolidImage(4, 4)));
    RunShell("for name in $'\\xff\\xfe.bmp' $'lat\\xe9.bmp' $'a\\e[2J.bmp'; do cp p.bmp \"$name\"; done");
    const CliRun json = RunShell("\"$0\" --json $'\\xff\\xfe.bmp' $'lat\\xe9.bmp' $'a\\e[2J.bmp' $'n\\n\\e[2J.bmp'");
    EXPECT_EQ(json.out.split('\n').size(), 5) << json.out.toStdString();
    EXPECT_TRUE(json.out.startsWith("{\"file\":\"\\udcff\\udcfe.bmp\",\"fr\""));
    EXPECT_TRUE(json.out.contains("\n{\"file\":\"lat\\udce9.bmp\",\"fr\""));
    EXPECT_TRUE(json.out.contains("\n{\"file\":\"a\\u001B[2J.bmp\",\"fr\""));
    EXPECT_EQ(json.err, "slopemeter-cli: Cannot open \"n\\x0A\\x1B[2J.bmp\": the file does not exist.\n");
    const CliRun captions = RunShell("\"$0\" $'a\\e[2J.bmp' $'lat\\xe9.bmp'");
    EXPECT_TRUE(captions.out.startsWith("a\\x1B[2J.bmp\n"));
    EXPECT_TRUE(captions.out.contains("\n\nlat\\xE9.bmp\n"));
}

// A closed output, a picture larger than the memory budget, annotations and a report that cannot
// be written; a budget also holds pictures back while others run.
TEST(CliHostile, EachFaultGivesItsStatusAndMessage)
{
    ScratchDirectory dir;
    WriteFile("p.bmp", BmpBytes(SolidImage(4, 4)));
    WriteFile("file", "");
    QDir().mkdir("marked");
    ASSERT_EQ(symlink("/dev/full", "marked/p.png"), 0);
    // One pixel on a screen of 4000 x 4000, which the GIF reader hands over whole.
    // A progressive JPEG, which its decoder holds whole, takes its share before it is decoded.
    QFile progressive("prog.jpg");
    progressive.open(QIODevice::WriteOnly);
    QImageWriter writer(&progressive, "jpg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(SolidImage(4000, 3000, 20, 30, 40)));
    progressive.close();
    writeCopies(QByteArray("GIF89a\xA0\x0F\xA0\x0F\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x4C\x01\x00\x3B", 35), "screen%1.gif", 4);
    const struct {
        const char* script;
        int status;
        QByteArray err;
    } cases[] = {
        {"exec >&-; \"$0\" p.bmp", 1, "slopemeter-cli: cannot write the results: standard output is closed.\n"},
        {"\"$0\" p.bmp >/dev/full", 1, "slopemeter-cli: cannot write the results: No space left on device.\n"},
        {"\"$0\" --memory 100M screen0.gif", 1, "slopemeter-cli: Cannot measure \"screen0.gif\": it needs about 168 MB of memory, more than the 100 MB that the run may use (--memory).\n"},
        {"\"$0\" --memory 100M prog.jpg", 1, "slopemeter-cli: Cannot measure \"prog.jpg\": it needs about 195 MB of memory, more than the 100 MB"},
        {"\"$0\" --annotate marked p.bmp", 2, "slopemeter-cli: 'marked/p.png' is there already; --overwrite lets the annotations replace such files.\n"},
        {"\"$0\" --json --overwrite --annotate marked p.bmp", 1, "slopemeter-cli: Cannot write \"marked/p.png\": No space left on device.\n"},
        {"\"$0\" --annotate file/marked p.bmp", 2, "slopemeter-cli: cannot make the folder 'file/marked' for the annotated pictures: Not a directory.\n"},
        // A list that runs on without a line end holds no names; those before it are measured.
        {"{ echo p.bmp; head -c 70000000 /dev/zero; } | \"$0\" --json --files-from - >out; s=$?; cat out >&2; exit $s", 1,
         "slopemeter-cli: Cannot read the list of pictures: line 2 is more than 67108864 bytes long, so it is no list of names.\n{\"file\":\"p.bmp\",\"fr\""},
        // A list that cannot be read is a fault, not the end of the names.
        {"timeout 20 \"$0\" --files-from .", 1, "slopemeter-cli: Cannot read the list of pictures: Is a directory.\n"},
        // A report that cannot be written whole is not put in place.
        {"trap '' XFSZ; ulimit -f 1; \"$0\" --report r.html p.bmp; ls r.html", 2, "slopemeter-cli: cannot write the report 'r.html': a write failed: File too large.\n"},
    };
    for (const auto& [script, status, err] : cases) {
        const CliRun run = RunShell(script);
        EXPECT_EQ(run.status, status) << script;
        EXPECT_TRUE(run.err.startsWith(err)) << run.err.toStdString();
    }
    if (!BuiltWithSanitizers) {
        EXPECT_LT(peakMegabytes("--jobs 4 --memory 200M screen*.gif"), 250);
        // A frame that the memory cannot hold ends the stream: what follows is of no known frame.
        const CliRun huge = RunShell("ulimit -v 400000; { printf 'P6 15000 10000 65535\\n'; head -c 400000000 /dev/zero; }"
                                     " | timeout 20 \"$0\" --jobs 1 --memory 100G -");
        EXPECT_EQ(huge.err, "slopemeter-cli: Cannot read frame 0 of standard input: not enough memory for it.\n");
    }
    struct stat full {};
    EXPECT_TRUE(stat("/dev/full", &full) == 0 && S_ISCHR(full.st_mode)) << "the device itself is left alone";
}

// A PNG or JPEG of a few bytes whose header claims width x height pixels.
QByteArray claimingPng(int width, int height)
{
    QByteArray png = EncodedPicture(SolidImage(8, 8), "png");
    png.replace(16, 8, BigEndian32(std::uint32_t(width)) + BigEndian32(std::uint32_t(height)));
    png.replace(29, 4, BigEndian32(PngCrc(png.mid(12, 17))));
    return png;
}

QByteArray claimingJpeg(int width, int height)
{
    QByteArray jpeg = EncodedPicture(SolidImage(8, 8), "jpg", 90);
    const int frame = int(jpeg.indexOf("\xFF\xC0"));
    const char size[] = {char(height >> 8), char(height), char(width >> 8), char(width)};
    jpeg.replace(frame + 5, 4, QByteArray(size, 4));
    return jpeg;
}

// The error after the picture's name, or "" for a picture measured.
QByteArray whyOf(const CliRun& run)
{
    const int at = int(run.err.indexOf("\": "));
    const int frameAt = int(run.err.indexOf("standard input: "));
    if (at < 0 && frameAt < 0)
        return run.status == 0 ? "" : run.err;
    const int start = frameAt >= 0 ? frameAt + 16 : at + 3;
    return run.err.mid(start, run.err.indexOf('\n', start) - start);
}

// Each limit --help and the README state, per kind, as a file and as a frame on standard input:
// a picture at the figure gets past it (to be measured, or found cut short), one a pixel past it
// is refused with the figure, and file and frame say the same.
TEST(CliHostile, EveryStatedLimitHoldsAtItsFigureAndNotOnePast)
{
    ScratchDirectory dir;
    const auto bmp = [](int width) {
        QByteArray bytes = BmpBytes(SolidImage(4, 1));
        PutU32(bytes, 18, std::uint32_t(width));
        const std::uint32_t rows = std::uint32_t(width * 3 + 3) / 4 * 4;
        PutU32(bytes, 34, rows);
        PutU32(bytes, 2, 54 + rows);
        return bytes.left(54) + QByteArray(int(rows), '\0');
    };
    // The memory limit is a picture's share, known from its header: at it, and a byte short. (A
    // frame of 8-bit PNM is measured as its rows come and takes none; one of 16 bits is held.)
    const QByteArray pnm = QByteArray("P6\n100 100\n65535\n") + QByteArray(60000, '\0');
    const std::int64_t share = 100 * 100 * 11 + pnm.size();
    const QString atShare = "--memory " + QString::number(share), pastShare = "--memory " + QString::number(share - 1);
    const struct {
        QByteArray at, past;
        QString atOptions, pastOptions;
        const char* refused;
    } limits[] = {
        {claimingPng(1'000'000, 4000), claimingPng(1'000'001, 4000), "", "", "more than the 1000000 pixels"},
        {claimingPng(1'000'000, 4000), claimingPng(1'000'000, 4001), "", "", "more than the 4000000000 pixels"},
        {claimingJpeg(65500, 61068), claimingJpeg(65500, 61069), "", "", "more than the 4000000000 pixels"},
        {claimingJpeg(65500, 100), claimingJpeg(65501, 100), "", "", "more than the 65500 pixels a side"},
        {bmp(1'000'000), bmp(1'000'001), "", "", "more than the 1000000 pixels"},
        {"P6\n15000 10000\n255\n", "P6\n15000 10001\n255\n", "", "", "more than the 150000000 pixels"},
        {claimingPng(15000, 10000), claimingPng(15000, 10001), "--annotate marks --overwrite", "--annotate marks --overwrite",
         "more than the 150000000 pixels"},
        {pnm, pnm, atShare, pastShare, "more than the 1 MB that the run may use"},
        // A plain bitmap read whole for its annotation holds its pixels 15 bytes each.
        {bmp(10000), bmp(10000), "--annotate marks --overwrite --memory 150000", "--annotate marks --overwrite --memory 149999",
         "more than the 1 MB that the run may use"},
    };
    for (const auto& limit : limits) {
        WriteFile("at", limit.at);
        WriteFile("past", limit.past);
        const bool annotated = limit.atOptions.contains("annotate");
        for (const QString& input : {QString("at"), QString("- < at")}) {
            const QByteArray why = whyOf(RunShell("\"$0\" " + limit.atOptions + " " + input));
            EXPECT_FALSE(why.contains("more than")) << limit.refused << ", " << input.toStdString() << ": " << why.toStdString();
        }
        const QString past = "\"$0\" " + limit.pastOptions + " ";
        const QByteArray fileWhy = whyOf(RunShell(past + "past"));
        EXPECT_TRUE(fileWhy.contains(limit.refused)) << limit.refused << ": " << fileWhy.toStdString();
        if (!annotated) {
            EXPECT_EQ(whyOf(RunShell(past + "- < past")), fileWhy) << limit.refused;
        }
    }
}

TEST(CliHostile, TheProgressLineMakesWayForResultsOnATerminal)
{
    ScratchDirectory dir;
    writeCopies(BmpBytes(SolidImage(4, 4)), "p%1.bmp", 6);
    const CliRun run = RunShell("script -qec \"$0 --jobs 1 p0.bmp p1.bmp p2.bmp p3.bmp p4.bmp p5.bmp\" /dev/null");
    const QByteArray firstResult = "p0.bmp\r\n";
    ASSERT_TRUE(run.out.contains(firstResult)) << run.out.toStdString();
    const QByteArray before = run.out.left(run.out.indexOf(firstResult));
    EXPECT_TRUE(!before.contains("pictures") || before.endsWith("\r\033[K")) << before.toStdString();
    EXPECT_TRUE(run.out.contains("\rmeasured 1 of 6 pictures")) << run.out.toStdString();
    // A run of three pictures or fewer has none.
    EXPECT_FALSE(RunShell("script -qec \"$0 p0.bmp p1.bmp p2.bmp\" /dev/null").out.contains("pictures"));
}

}
