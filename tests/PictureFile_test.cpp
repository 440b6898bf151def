#include "PictureFile.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

std::string failureOf(const QString& path)
{
    try {
        LoadPictureFile(path.toStdString());
    } catch (const Exception& failure) {
        return failure.Message;
    }
    return "(loaded)";
}

void putU32(QByteArray& bytes, int at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> 8 * i & 0xFF);
}

// Damaged contents are covered file by file in the bad-picture and bitmap tests.
TEST(PictureFile, AFileThatCannotBeOpenedGivesItsNameAndReason)
{
    ScratchDirectory dir;
    QDir().mkdir("folder.bmp");
    EXPECT_EQ(failureOf("missing.bmp"), "Cannot open \"missing.bmp\": the file does not exist.");
    EXPECT_EQ(failureOf("folder.bmp"), "Cannot open \"folder.bmp\": it is a folder, not a picture file.");
}

void putU32BigEndian(QByteArray& bytes, std::uint32_t value)
{
    for (int i = 3; i >= 0; --i)
        bytes += char(value >> 8 * i & 0xFF);
}

std::uint32_t crc32(const QByteArray& bytes)
{
    std::uint32_t crc = ~0u;
    for (char byte : bytes) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void appendPngChunk(QByteArray& bytes, const QByteArray& kindAndData)
{
    putU32BigEndian(bytes, std::uint32_t(kindAndData.size() - 4));
    bytes += kindAndData;
    putU32BigEndian(bytes, crc32(kindAndData));
}

// The start of a PNG file that says how large its picture is: as far as a reader looks before
// the pixel data.
QByteArray pngHeader(int width, int height)
{
    QByteArray header("IHDR");
    putU32BigEndian(header, std::uint32_t(width));
    putU32BigEndian(header, std::uint32_t(height));
    header += QByteArray("\x08\x02\x00\x00\x00", 5);
    QByteArray bytes("\x89PNG\r\n\x1a\n", 8);
    appendPngChunk(bytes, header);
    appendPngChunk(bytes, "IDAT");
    return bytes;
}

// A bottom-up 24-bit bitmap file whose every byte follows from its place, written a row at a
// time so that the test holds no more than the loaded picture.
void writeLargeBitmap(const QString& path, int width, int height)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const int rowBytes = (3 * width + 3) / 4 * 4;
    QByteArray header(54, '\0');
    header[0] = 'B';
    header[1] = 'M';
    putU32(header, 10, 54);
    putU32(header, 14, 40);
    putU32(header, 18, std::uint32_t(width));
    putU32(header, 22, std::uint32_t(height));
    header[26] = 1;
    header[28] = 24;
    file.write(header);
    QByteArray row(rowBytes, '\0');
    for (int y = height - 1; y >= 0; --y) {
        for (int i = 0; i < 3 * width; ++i)
            row[i] = char(i * 7 + y * 3);
        file.write(row);
    }
}

TEST(PictureFile, ALargePhotographLoadsWhole)
{
    ScratchDirectory dir;
    const int width = 8000, height = 6000;
    writeLargeBitmap("large.bmp", width, height);
    const QImage loaded = LoadPictureFile("large.bmp");
    ASSERT_EQ(loaded.size(), QSize(width, height));
    ASSERT_EQ(loaded.format(), QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = loaded.constScanLine(y);
        for (int i = 0; i < 3 * width; ++i)
            if (row[i] != std::uint8_t(i * 7 + y * 3))
                FAIL() << "byte " << i << " of row " << y;
    }
}

// Refused from what the headers say, before any memory is taken for the pixels. The bitmap is
// full length (a sparse file), so that only the limit stands in its way.
TEST(PictureFile, PicturesOverTheLimitAreRefusedWithTheirSize)
{
    ScratchDirectory dir;
    QByteArray header = BmpBytes(SolidImage(4, 4));
    putU32(header, 18, 12248);
    putU32(header, 22, 12248);
    WriteFile("over.bmp", header.left(54));
    QFile file("over.bmp");
    ASSERT_TRUE(file.resize(54 + std::int64_t(36744) * 12248));
    WriteFile("over.png", pngHeader(20000, 20000));

    EXPECT_EQ(failureOf("over.bmp"), "Cannot read \"over.bmp\": the picture is 12248 x 12248 pixels, more than the 150000000 pixels this program handles.");
    EXPECT_EQ(failureOf("over.png"), "Cannot read \"over.png\": the picture is 20000 x 20000 pixels, more than the 150000000 pixels this program handles.");
}

TEST(PictureFile, UnreadableFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file; this case also runs as an ordinary user";
    ScratchDirectory dir;
    WriteFile("locked.bmp", BmpBytes(SolidImage(2, 2)));
    QFile::setPermissions("locked.bmp", QFileDevice::Permissions());
    EXPECT_EQ(failureOf("locked.bmp"), "Cannot open \"locked.bmp\": permission denied.");
}

}
