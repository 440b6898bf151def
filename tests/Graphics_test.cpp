#include "Graphics.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using Graphics::TBitmap;

TEST(Bitmap, AssignedCopyNeverWritesBackToItsSource)
{
    std::unique_ptr<TBitmap> source(NewBitmap(SolidImage(4, 3, 10, 20, 30)));
    TBitmap copy;
    copy.Assign(source.get());
    copy.ScanLine(1)[3] = 0xFF;
    EXPECT_EQ(source->Canvas->Pixels(1, 1), 0x1E140A);
    EXPECT_EQ(copy.Canvas->Pixels(1, 1), 0xFF140A);
    EXPECT_EQ(copy.ScanLine(0)[0], 30) << "blue comes first in memory";
    EXPECT_EQ(copy.Canvas->Pixels(4, 0), clInvalid);
    EXPECT_EQ(copy.Canvas->Pixels(0, -1), clInvalid);
}

// Small pictures and large ones (whose pixels are mapped apart from the allocator) alike.
TEST(Bitmap, UnsetPixelsKeepTheSizeAndNeverReachTheSharedSource)
{
    QImage palette(7, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(1, 2, 3)});
    palette.fill(0);
    for (const QImage& image : {SolidImage(5, 3, 10, 20, 30), SolidImage(1501, 1001, 10, 20, 30), palette, QImage()}) {
        std::unique_ptr<TBitmap> source(NewBitmap(image));
        TBitmap copy;
        copy.Assign(source.get());
        copy.ReplaceWithUnsetPixels(pf24bit);
        EXPECT_EQ(copy.PixelFormat(), pf24bit);
        EXPECT_EQ(copy.Image().size(), image.size());
        for (int y = 0; y < copy.Height(); ++y)
            std::memset(copy.ScanLine(y), 0xFF, std::size_t(3 * copy.Width()));
        EXPECT_EQ(source->Image(), image);

        // The pixels outlive the bitmap that made them while another still shares them.
        auto later = std::make_unique<TBitmap>();
        later->Assign(&copy);
        copy.SetImage(QImage());
        EXPECT_EQ(later->Canvas->Pixels(image.width() - 1, image.height() - 1), image.isNull() ? clInvalid : clWhite);
    }
}

}
