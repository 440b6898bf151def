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

TEST(PictureFile, ATwentyFourBitBitmapLoadsPixelForPixel)
{
    ScratchDirectory dir;
    QImage image = SolidImage(5, 3, 7, 8, 9);
    SetWhite(image, 4, 2);
    WriteFile("a.bmp", BmpBytes(image));
    const QImage loaded = LoadPictureFile("a.bmp").convertToFormat(QImage::Format_BGR888);
    EXPECT_EQ(loaded, image);
}

TEST(PictureFile, EachBadFileGivesItsNameAndReason)
{
    ScratchDirectory dir;
    QDir().mkdir("folder.bmp");
    WriteFile("empty.bmp", {});
    WriteFile("text.bmp", "This is not a picture.\n");
    QByteArray cut = BmpBytes(SolidImage(40, 30, 1, 2, 3));
    cut.chop(100);
    WriteFile("cut.bmp", cut);
    QByteArray huge = BmpBytes(SolidImage(4, 4));
    putU32(huge, 18, 20000);
    putU32(huge, 22, 20000);
    WriteFile("huge.bmp", huge);
    QByteArray far = BmpBytes(SolidImage(4, 4));
    putU32(far, 10, 1u << 30);
    WriteFile("far.bmp", far);

    const std::pair<QString, std::string> cases[] = {
        {"missing.bmp", "Cannot open \"missing.bmp\": the file does not exist."},
        {"folder.bmp", "Cannot open \"folder.bmp\": it is a folder, not a picture file."},
        {"empty.bmp", "Cannot read \"empty.bmp\": the file is empty."},
        {"text.bmp", "Cannot read \"text.bmp\": it is not a picture in a format this program reads."},
        {"cut.bmp", "Cannot read \"cut.bmp\": the pixel data is cut short."},
        {"huge.bmp", "Cannot read \"huge.bmp\": the picture is 20000 x 20000 pixels, more than the 150000000 pixels this program handles."},
        {"far.bmp", "Cannot read \"far.bmp\": the pixel data starts past the end of the file."},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(failureOf(name), expected);
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
