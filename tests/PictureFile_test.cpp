#include "Graphics.h"
#include "PictureFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImageReader>

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

}
