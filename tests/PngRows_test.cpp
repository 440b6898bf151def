#include "PictureFile.h"
#include "PictureSink.h"
#include "PngFilters.h"
#include "PngRows.h"
#include "TestSupport.h"

#include <QImageReader>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include <sys/resource.h>

namespace {

// PNGs made here, byte by byte, so that every filter type, chunking and compression level
// our reader must undo can be chosen; Qt's reader (libpng) is the judge of what they hold.
struct RawPicture {
    int width = 0, height = 0, bytesPerPixel = 3;
    QByteArray pixels;

    const std::uint8_t* row(int y) const { return reinterpret_cast<const std::uint8_t*>(pixels.constData()) + y * width * bytesPerPixel; }
};

int paeth(int left, int above, int aboveLeft)
{
    const int guess = left + above - aboveLeft;
    const int toLeft = std::abs(guess - left), toAbove = std::abs(guess - above), toCorner = std::abs(guess - aboveLeft);
    return toLeft <= toAbove && toLeft <= toCorner ? left : toAbove <= toCorner ? above
                                                                                : aboveLeft;
}

// The rows with a filter-type byte in front of each, filtered as a PNG writer filters them.
QByteArray filteredRows(const RawPicture& picture, const std::vector<int>& filters)
{
    QByteArray out;
    const int length = picture.width * picture.bytesPerPixel, step = picture.bytesPerPixel;
    const std::vector<std::uint8_t> zeros(length);
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t *row = picture.row(y), *above = y ? picture.row(y - 1) : zeros.data();
        out += char(filters[y]);
        for (int i = 0; i < length; ++i) {
            const int left = i >= step ? row[i - step] : 0, aboveLeft = i >= step ? above[i - step] : 0;
            const int predicted[] = {0, left, above[i], (left + above[i]) / 2, paeth(left, above[i], aboveLeft)};
            out += char(row[i] - predicted[filters[y]]);
        }
    }
    return out;
}

std::vector<int> randomFilters(std::mt19937& random, int rows, int types = 5)
{
    std::vector<int> filters(rows);
    for (int& filter : filters)
        filter = int(random() % types);
    return filters;
}

QByteArray zlibStream(const QByteArray& data, int level)
{
    return qCompress(data, level).mid(4); // qCompress puts the length in front
}

QByteArray chunk(const char* type, const QByteArray& data)
{
    const QByteArray typed = QByteArray(type, 4) + data;
    return BigEndian32(std::uint32_t(data.size())) + typed + BigEndian32(PngCrc(typed));
}

// The signature and the header.
QByteArray head(int width, int height, int bytesPerPixel)
{
    const char colourType[] = {0, 0, 4, 2, 6}, fields[] = {8, colourType[bytesPerPixel], 0, 0, 0};
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", BigEndian32(width) + BigEndian32(height) + QByteArray(fields, 5));
}

QByteArray pngFile(const RawPicture& picture, const QByteArray& stream, const QByteArray& beforeData = {})
{
    return head(picture.width, picture.height, picture.bytesPerPixel) + beforeData + chunk("IDAT", stream) + chunk("IEND", {});
}

QByteArray withLastByteFlipped(QByteArray bytes)
{
    bytes[bytes.size() - 1] = char(bytes.back() ^ 1);
    return bytes;
}

// Values where the filters' sums wrap and the Paeth predictor's distances tie, among others.
RawPicture randomPicture(std::mt19937& random, int width, int height, int bytesPerPixel)
{
    RawPicture picture{width, height, bytesPerPixel, QByteArray(width * height * bytesPerPixel, 0)};
    const int awkward[] = {0, 1, 2, 127, 128, 129, 254, 255};
    for (char& byte : picture.pixels)
        byte = char(random() % 3 ? awkward[random() % 8] : random() % 256);
    return picture;
}

// A whole picture that also notes how many threads the process has when the first row comes.
class WatchingSink : public PictureSink {
public:
    void TakeDecodedRow(int y, const std::uint8_t* pixels, int width, int bytesPerPixel) override
    {
        if (y == 0)
            threadsAtFirstRow = ThreadsInProcess();
        PictureSink::TakeDecodedRow(y, pixels, width, bytesPerPixel);
    }
    int threadsAtFirstRow = 0;
};

// Decodes the file with our reader, which must take it, and compares it with Qt's reading.
void expectDecodedAsByQt(const QByteArray& bytes, int* threads = nullptr)
{
    WriteFile("picture.png", bytes);
    const QImage byQt = QImageReader("picture.png").read().convertToFormat(QImage::Format_BGR888);
    ASSERT_FALSE(byQt.isNull());
    std::FILE* stream = std::fopen("picture.png", "rb");
    WatchingSink sink;
    ASSERT_TRUE(PngRows::Decode(stream, bytes.size(), sink));
    std::fclose(stream);
    if (threads)
        *threads = sink.threadsAtFirstRow;
    ASSERT_EQ(sink.TakePicture(), byQt);
}

struct Damaged {
    const char* name;
    QByteArray bytes;
    const char* reason;
};

void expectRefused(const std::vector<Damaged>& cases)
{
    for (const auto& bad : cases) {
        WriteFile(QString(bad.name) + ".png", bad.bytes);
        const std::string failure = FailureOf(std::string(bad.name) + ".png");
        EXPECT_NE(failure.find(bad.reason), std::string::npos) << bad.name << ": " << failure;
        EXPECT_NE(failure.find(std::string(bad.name) + ".png"), std::string::npos) << failure;
    }
}

TEST(PngRows, EveryFilterLevelAndChunkingDecodesAsQtsReaderDecodes)
{
    ScratchDirectory dir;
    std::mt19937 random(31);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Narrow rows first, then one longer than the band rows are inflated in.
        const int width = round < 20 ? round + 1 : round == 20 ? 90'000
                                                               : 1 + int(random() % 90);
        const int bytesPerPixel[] = {1, 3, 4};
        const RawPicture picture = randomPicture(random, width, 1 + int(random() % 12), bytesPerPixel[random() % 3]);
        const QByteArray stream = zlibStream(filteredRows(picture, randomFilters(random, picture.height)), int(random() % 10));
        // The data in up to four IDAT chunks, some of them empty, after chunks a reader passes over.
        QByteArray file = head(picture.width, picture.height, picture.bytesPerPixel);
        if (random() % 2)
            file += chunk("tEXt", "Comment\0made here");
        if (picture.bytesPerPixel > 1 && random() % 2)
            file += chunk("PLTE", QByteArray(12, '\x40'));
        int at = 0;
        for (int piece = int(random() % 4); piece > 0; --piece) {
            const int length = int(random() % (stream.size() - at + 1));
            file += chunk("IDAT", stream.mid(at, length));
            at += length;
        }
        expectDecodedAsByQt(file + chunk("IDAT", stream.mid(at)) + chunk("IEND", {}));
        if (HasFatalFailure())
            return;
    }
}

// The vector code against the byte-by-byte code, on rows of every length up to a few blocks.
TEST(PngFilters, VectorsUndoAsPlainBytesDo)
{
    std::mt19937 random(17);
    const auto randomRow = [&](std::size_t length) {
        std::vector<std::uint8_t> row(length + PngFilters::Slack);
        for (auto& byte : row)
            byte = std::uint8_t(random() % 4 ? random() % 256 : random() % 2 * 255);
        return row;
    };
    for (int bytesPerPixel : {1, 3, 4})
        for (std::size_t pixels = 1; pixels <= 40; ++pixels)
            for (std::uint8_t filter = 0; filter <= 5; ++filter) {
                const std::size_t length = pixels * bytesPerPixel;
                const std::vector<std::uint8_t> filtered = randomRow(length), prior = randomRow(length);
                std::vector<std::uint8_t> byVectors(length + PngFilters::Slack), byBytes(length + PngFilters::Slack);
                const bool undone = PngFilters::Undo(filter, filtered.data(), prior.data(), byVectors.data(), length, bytesPerPixel);
                ASSERT_EQ(undone, PngFilters::UndoPlain(filter, filtered.data(), prior.data(), byBytes.data(), length, bytesPerPixel));
                ASSERT_EQ(undone, filter < 5);
                byVectors.resize(length);
                byBytes.resize(length);
                ASSERT_EQ(byVectors, byBytes) << "filter " << int(filter) << ", " << bytesPerPixel << " bytes a pixel, " << pixels << " pixels";
            }
}

TEST(PngRows, DamagedDataIsRefusedWithItsReason)
{
    ScratchDirectory dir;
    std::mt19937 random(8);
    const RawPicture picture = randomPicture(random, 40, 30, 3);
    const QByteArray rows = filteredRows(picture, std::vector<int>(picture.height, 4));
    const QByteArray stream = zlibStream(rows, 6), sound = pngFile(picture, stream);
    const int data = int(sound.indexOf("IDAT")) + 4;

    // Damage inside the data may show first as a bad filter or bad compressed data, so the CRC
    // itself is damaged.
    QByteArray flipped = sound, badFilter = rows, tooLong = sound;
    flipped[data + stream.size()] = char(flipped[data + stream.size()] ^ 0x10);
    badFilter[(3 * picture.width + 1) * 7] = 5;
    tooLong.replace(data - 8, 4, BigEndian32(0x80000000));
    const QByteArray header = head(picture.width, picture.height, 3);

    // A header claiming rows of 6 GB: refused for its size before anything the size of a row is
    // taken, which would raise the process's peak memory.
    WriteFile("huge.png", head(0x7FFFFFFF, 1, 3) + chunk("IDAT", stream) + chunk("IEND", {}));
    const auto peakKilobytes = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long peakBefore = peakKilobytes();
    EXPECT_NE(FailureOf("huge.png").find("2147483647 x 1 pixels"), std::string::npos) << FailureOf("huge.png");
    EXPECT_LT(peakKilobytes() - peakBefore, 1 << 20);

    expectRefused({
        {"flipped", flipped, "IDAT chunk CRC mismatch"},
        {"filter", pngFile(picture, zlibStream(badFilter, 6)), "invalid filter type"},
        {"checksum", pngFile(picture, withLastByteFlipped(stream)), "checksum does not match"},
        {"few-rows", pngFile(picture, zlibStream(rows.left(rows.size() - 10), 6)), "ends before the last row"},
        {"no-checksum", pngFile(picture, stream.left(stream.size() - 4)), "cut short"},
        {"cut", sound.left(data + 200), "cut short"},
        // A zlib header, then a block of the type deflate reserves.
        {"garbage", pngFile(picture, QByteArray("\x78\x9c", 2) + QByteArray(64, '\xff')), "invalid compressed data"},
        {"critical", header + chunk("ABCD", "x") + chunk("IDAT", stream) + chunk("IEND", {}), "unknown critical chunk ABCD"},
        {"no-data", header + chunk("IEND", {}), "no IDAT chunk"},
        {"header-crc", withLastByteFlipped(header) + chunk("IDAT", stream) + chunk("IEND", {}), "invalid chunk checksum"},
        {"too-long", tooLong, "longer than PNG allows"},
        // More rows than deflate could make of the file's length, grey with alpha (libspng's).
        {"grey-alpha", head(1000, 50, 2) + chunk("IDAT", zlibStream(QByteArray(2001, '\0'), 9)) + chunk("IEND", {}), "cut short"},
    });

    // What other readers pass over is passed over: data after the last row, and a damaged
    // chunk that holds nothing the picture needs.
    expectDecodedAsByQt(pngFile(picture, zlibStream(rows + QByteArray(50, '\0'), 6)));
    expectDecodedAsByQt(pngFile(picture, stream, withLastByteFlipped(chunk("tEXt", "Comment\0x"))));
}

// Large pictures are inflated in a thread of their own; whichever side fails, the failure is
// the one the file earns, and neither side is left waiting.
TEST(PngInTwoThreads, LargePicturesDecodeAndFailAsInOne)
{
    ScratchDirectory dir;
    std::mt19937 random(5);
    const RawPicture picture = randomPicture(random, 2400, 2400, 3);
    const QByteArray rows = filteredRows(picture, randomFilters(random, picture.height));
    const QByteArray stream = zlibStream(rows, 1), sound = pngFile(picture, stream);
    // Qt's conversion starts threads of its own for a large picture; they stay a while.
    WriteFile("sound.png", sound);
    EXPECT_FALSE(QImageReader("sound.png").read().convertToFormat(QImage::Format_BGR888).isNull());
    const int before = ThreadsInProcess();
    int threads = 0;
    expectDecodedAsByQt(sound, &threads);
    EXPECT_EQ(threads, before + 1);

    const auto withFilter = [&](int row) {
        QByteArray bad = rows;
        bad[(3 * picture.width + 1) * row] = 9;
        return pngFile(picture, zlibStream(bad, 1));
    };
    expectRefused({
        {"early-filter", withFilter(3), "invalid filter type"},
        {"late-filter", withFilter(picture.height - 1), "invalid filter type"},
        {"cut", sound.left(sound.size() * 3 / 5), "cut short"},
        {"checksum", pngFile(picture, withLastByteFlipped(stream)), "checksum does not match"},
    });
    EXPECT_EQ(ThreadsInProcess(), before);
}

}
