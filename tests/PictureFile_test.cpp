#include "Graphics.h"
#include "PictureCompleteness.h"
#include "PictureFile.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include <unistd.h>

namespace {

// Damaged contents are covered file by file in the bad-picture and bitmap tests.
TEST(PictureFile, AFileThatCannotBeOpenedGivesItsNameAndReason)
{
    ScratchDirectory dir;
    QDir().mkdir("folder.bmp");
    EXPECT_EQ(FailureOf("missing.bmp"), "Cannot open \"missing.bmp\": the file does not exist.");
    EXPECT_EQ(FailureOf("folder.bmp"), "Cannot open \"folder.bmp\": it is a folder, not a picture file.");
}

// Over a thousand rows, read by the plain 24-bit reader in more than one go; an odd width pads
// every row.
TEST(PictureFile, ALargePictureLoadsWhole)
{
    ScratchDirectory dir;
    QImage picture(3001, 2000, QImage::Format_BGR888);
    for (int y = 0; y < picture.height(); ++y)
        for (int i = 0; i < 3 * picture.width(); ++i)
            picture.scanLine(y)[i] = std::uint8_t(i * 7 + y * 3);
    WriteFile("large.bmp", BmpBytes(picture));
    EXPECT_TRUE(LoadPictureFile("large.bmp") == picture);
}

TEST(PictureFile, UnreadableFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file; this case also runs as an ordinary user";
    ScratchDirectory dir;
    WriteFile("locked.bmp", BmpBytes(SolidImage(2, 2)));
    QFile::setPermissions("locked.bmp", QFileDevice::Permissions());
    EXPECT_EQ(FailureOf("locked.bmp"), "Cannot open \"locked.bmp\": permission denied.");
}

// One small picture of each kind a camera, an editor or an old program may write; the fuzzer
// starts from the same files. The kinds the PNG reader leaves to libspng load only if it gives
// them back unread.
TEST(PictureKinds, EveryKindLoadsAndBecomesTheSameTwentyFourBitPicture)
{
    const QStringList kinds = QDir(SLOPEMETER_TEST_DATA "/kinds").entryList(QDir::Files, QDir::Name);
    ASSERT_GE(kinds.size(), 20);
    for (const QString& kind : kinds) {
        const QString path = QStringLiteral(SLOPEMETER_TEST_DATA "/kinds/") + kind;
        SCOPED_TRACE(kind.toStdString());
        const QImage byQt = QImageReader(path).read();
        ASSERT_FALSE(byQt.isNull());
        Graphics::TBitmap bitmap;
        bitmap.SetImage(LoadPictureFile(path.toStdString()));
        bitmap.SetPixelFormat(pf24bit);
        EXPECT_EQ(bitmap.Image(), byQt.convertToFormat(QImage::Format_BGR888));
    }
}

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
    // The colours used, as the header says, and a pixel that names the first colour past them.
    QByteArray pastPalette = palette;
    PutU32(pastPalette, 46, 2);
    pastPalette[qsizetype(qFromLittleEndian<quint32>(palette.constData() + 10))] = 2;

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
        {pastPalette, "a pixel names colour 2 of a palette of 2 colours."},
    };
    for (const auto& [bytes, reason] : cases) {
        WriteFile("bad.bmp", bytes);
        EXPECT_EQ(FailureOf("bad.bmp"), "Cannot read \"bad.bmp\": " + reason);
    }
}

// Absolute runs name each pixel's colour, two to a byte at 4 bits (the high half first), padded
// to whole words; every colour a pixel names must be in the palette, and the half byte past the
// run's last pixel names none.
TEST(BmpFile, RunLengthAbsoluteRunsAreCheckedAgainstThePalette)
{
    ScratchDirectory dir;
    const auto runLength = [](int bits, int width, const QByteArray& pixels) {
        QByteArray bmp(54, '\0');
        bmp[0] = 'B';
        bmp[1] = 'M';
        for (auto [at, value] : {std::pair{2, 62 + int(pixels.size())}, {10, 62}, {14, 40}, {18, width}, {22, 1}, {30, bits == 8 ? 1 : 2}, {34, int(pixels.size())}, {46, 2}})
            PutU32(bmp, at, std::uint32_t(value));
        PutU16(bmp, 26, 1);
        PutU16(bmp, 28, std::uint16_t(bits));
        return bmp + QByteArray("\0\0\0\0\xFF\xFF\xFF\0", 8) + pixels + QByteArray("\0\1", 2);
    };
    const std::string past = "a pixel names colour 2 of a palette of 2 colours.";
    const struct {
        QByteArray bytes;
        std::string failure;
    } cases[] = {
        {runLength(8, 3, QByteArray("\0\3\1\0\1\0", 6)), ""},
        // A skip down to just past the last row, closing data that has no end-of-bitmap command.
        {runLength(8, 3, QByteArray("\1\1\0\2", 4)), ""},
        {runLength(8, 3, QByteArray("\0\3\1\0\2\0", 6)), past},
        {runLength(4, 5, QByteArray("\0\5\x10\x01\x12\0", 6)), ""},
        {runLength(4, 5, QByteArray("\0\5\x10\x01\x21\0", 6)), past},
        {runLength(4, 5, QByteArray("\0\5\x10\x21\x10\0", 6)), past},
        {runLength(4, 5, QByteArray("\0\5\x10\x01", 4)), "the run-length pixel data is cut short."},
    };
    for (const auto& [bytes, failure] : cases) {
        WriteFile("rle.bmp", bytes);
        EXPECT_EQ(FailureOf("rle.bmp"), failure.empty() ? "(loaded)" : "Cannot read \"rle.bmp\": " + failure);
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

QByteArray written(const QImage& image, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image)) << format;
    return bytes;
}

QByteArray dataFile(const char* name)
{
    QFile file(QString(SLOPEMETER_TEST_DATA) + "/" + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// The shortest prefix whose picture is whole, searched from the full length down.
qsizetype shortestWholePrefix(const QByteArray& bytes)
{
    qsizetype length = bytes.size();
    while (length > 1 && !PictureDataCutShort(bytes.left(length - 1)))
        --length;
    return length;
}

// Where a format may lose its last bytes and still hold the whole picture, the test says how many.
TEST(PictureCompleteness, EveryCutThroughThePictureIsNoticed)
{
    // Shorter prefixes do not show their format yet; the readers refuse them as no picture.
    const qsizetype recognisable = 32;
    const QImage picture = LinePicture({64, 32}, {3, 25}, {60, 5});
    const struct {
        const char* name;
        QByteArray bytes;
        qsizetype spareTail;
    } cases[] = {
        {"baseline JPEG", written(picture, "jpeg"), 0},
        {"progressive JPEG", written(picture, "jpeg", true), 0},
        {"PNG", written(picture, "png"), 0},
        {"XBM", written(picture.convertToFormat(QImage::Format_Mono), "xbm"), 2},
        {"GIF", dataFile("line.gif"), 1},
    };
    for (const auto& [name, bytes, spareTail] : cases) {
        ASSERT_FALSE(bytes.isEmpty()) << name;
        EXPECT_FALSE(PictureDataCutShort(bytes)) << name;
        EXPECT_EQ(shortestWholePrefix(bytes), bytes.size() - spareTail) << name;
        EXPECT_EQ(QImage::fromData(bytes.left(bytes.size() - spareTail)), QImage::fromData(bytes)) << name;
        for (qsizetype length = recognisable; length < bytes.size() - spareTail; ++length)
            ASSERT_TRUE(PictureDataCutShort(bytes.left(length))) << name << " cut to " << length;
    }
}

TEST(PictureCompleteness, WholePicturesWithMoreAroundThemAreNotCut)
{
    QByteArray jpeg = written(LinePicture({64, 32}, {3, 25}, {60, 5}), "jpeg");
    // A thumbnail in an APP1 segment brings an end-of-image marker of its own; the segment is
    // longer than 255 bytes, so that both bytes of its length count.
    const QByteArray thumbnail = QByteArray("\xFF\xD8", 2) + QByteArray(300, 'x') + QByteArray("\xFF\xD9", 2);
    const qsizetype length = 2 + thumbnail.size();
    jpeg.insert(2, QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + thumbnail);
    EXPECT_FALSE(PictureDataCutShort(jpeg));
    EXPECT_TRUE(PictureDataCutShort(jpeg.left(jpeg.size() - 100)));
    EXPECT_FALSE(PictureDataCutShort(jpeg + "trailing bytes a camera added"));

    // Only the first frame is read, so only it needs to be whole.
    const QByteArray frames = dataFile("two-frames.gif");
    const qsizetype whole = shortestWholePrefix(frames);
    EXPECT_LT(whole, frames.size() - 20);
    EXPECT_EQ(QImage::fromData(frames.left(whole)), QImage::fromData(frames));
}

}
