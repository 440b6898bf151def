#include "Graphics.h"
#include "PictureFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

// One small picture of each kind a camera, an editor or an old program may write, made by
// fuzz/make_corpus.py (python3 fuzz/make_corpus.py tests/data/kinds).
QStringList pictureKinds()
{
    return QDir(SLOPEMETER_TEST_DATA "/kinds").entryList(QDir::Files, QDir::Name);
}

TEST(PictureKinds, EveryKindLoadsAndBecomesTheSameTwentyFourBitPicture)
{
    const QStringList kinds = pictureKinds();
    ASSERT_GE(kinds.size(), 20);
    for (const QString& kind : kinds) {
        const QString path = QStringLiteral(SLOPEMETER_TEST_DATA "/kinds/") + kind;
        SCOPED_TRACE(kind.toStdString());
        const QImage byQt = QImageReader(path).read();
        ASSERT_FALSE(byQt.isNull());
        Graphics::TBitmap bitmap;
        bitmap.SetImage(LoadPictureFile(path.toStdString()));
        bitmap.SetPixelFormat(pf24bit);
        ASSERT_EQ(bitmap.PixelFormat(), pf24bit);
        ASSERT_EQ(bitmap.Width(), byQt.width());
        ASSERT_EQ(bitmap.Height(), byQt.height());
        int differing = 0;
        for (int y = 0; y < byQt.height(); ++y)
            for (int x = 0; x < byQt.width(); ++x) {
                const QRgb rgb = byQt.pixel(x, y);
                const TColor expected = TColor(qRed(rgb)) | TColor(qGreen(rgb)) << 8 | TColor(qBlue(rgb)) << 16;
                differing += bitmap.Canvas->Pixels(x, y) != expected;
            }
        EXPECT_EQ(differing, 0);
    }
}

}
