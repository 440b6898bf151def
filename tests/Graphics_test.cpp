#include "Graphics.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using Graphics::TBitmap;

// Small pictures and large ones (whose pixels are mapped apart from the allocator) alike: a copy,
// its pixels written or replaced, never writes back to its source.
TEST(Bitmap, CopiesNeverReachTheSharedSource)
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

    QImage palette(7, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(1, 2, 3)});
    palette.fill(0);
    for (const QImage& image : {SolidImage(5, 3, 10, 20, 30), SolidImage(1501, 1001, 10, 20, 30), palette, QImage()}) {
        std::unique_ptr<TBitmap> shared(NewBitmap(image));
        TBitmap unset;
        unset.Assign(shared.get());
        unset.ReplaceWithUnsetPixels(pf24bit);
        EXPECT_EQ(unset.PixelFormat(), pf24bit);
        EXPECT_EQ(unset.Image().size(), image.size());
        for (int y = 0; y < unset.Height(); ++y)
            std::memset(unset.ScanLine(y), 0xFF, std::size_t(3 * unset.Width()));
        EXPECT_EQ(shared->Image(), image);

        // The pixels outlive the bitmap that made them while another still shares them.
        auto later = std::make_unique<TBitmap>();
        later->Assign(&unset);
        unset.SetImage(QImage());
        EXPECT_EQ(later->Canvas->Pixels(image.width() - 1, image.height() - 1), image.isNull() ? clInvalid : clWhite);
    }
}

}
