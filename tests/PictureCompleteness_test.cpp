#include "PictureCompleteness.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

#include <gtest/gtest.h>

namespace {

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
    // A thumbnail in an APP1 segment brings an end-of-image marker of its own.
    const QByteArray thumbnail = QByteArray("\xFF\xD8", 2) + QByteArray(20, 'x') + QByteArray("\xFF\xD9", 2);
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
