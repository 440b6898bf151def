#include "Graphics.h"
#include "PictureFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

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
