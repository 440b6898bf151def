#include "PictureFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

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

}
