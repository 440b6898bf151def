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
}

// Small pictures and large ones (whose pixels are mapped apart from the allocator) alike.
TEST(Bitmap, UnsetPixelsKeepTheSizeAndNeverReachTheSharedSource)
{
    QImage palette(7, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(1, 2, 3)});
    palette.fill(0);
    for (const QImage& image : {SolidImage(5, 3, 10, 20, 30), SolidImage(1501, 1001, 10, 20, 30), palette}) {
        std::unique_ptr<TBitmap> source(NewBitmap(image));
        TBitmap copy;
        copy.Assign(source.get());
        copy.ReplaceWithUnsetPixels(pf24bit);
        EXPECT_EQ(copy.PixelFormat(), pf24bit);
        EXPECT_EQ(copy.Width(), image.width());
        EXPECT_EQ(copy.Height(), image.height());
        EXPECT_EQ(copy.Image().bytesPerLine(), QImage(image.size(), QImage::Format_BGR888).bytesPerLine());
        for (int y = 0; y < copy.Height(); ++y)
            std::memset(copy.ScanLine(y), 0xFF, std::size_t(3 * copy.Width()));
        EXPECT_EQ(source->Image(), image);

        // The pixels outlive the bitmap that made them while another still shares them.
        auto later = std::make_unique<TBitmap>();
        later->Assign(&copy);
        copy.SetImage(QImage());
        EXPECT_EQ(later->Canvas->Pixels(image.width() - 1, image.height() - 1), clWhite);
    }

    TBitmap empty;
    empty.ReplaceWithUnsetPixels(pf24bit);
    EXPECT_EQ(empty.PixelFormat(), pf24bit);
    EXPECT_EQ(empty.Width(), 0);
}

TEST(Bitmap, CanvasGivesRedInTheLowByteAndInvalidOutside)
{
    QImage image = SolidImage(2, 2, 0x11, 0x22, 0x33);
    std::unique_ptr<TBitmap> bitmap(NewBitmap(image));
    EXPECT_EQ(bitmap->ScanLine(0)[0], 0x33) << "blue comes first in memory";
    EXPECT_EQ(bitmap->Canvas->Pixels(0, 0), 0x332211);
    EXPECT_EQ(bitmap->Canvas->Pixels(2, 0), clInvalid);
    EXPECT_EQ(bitmap->Canvas->Pixels(0, -1), clInvalid);
}

TEST(Bitmap, TwentyFourBitsConvertsEveryStoredFormatToBlueGreenRed)
{
    QImage palette(3, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
    palette.fill(0);
    palette.setPixel(2, 1, 1);
    QImage mono(9, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    mono.setPixel(8, 0, 1);
    QImage argb(1, 1, QImage::Format_ARGB32);
    argb.fill(qRgba(1, 2, 3, 255));
    QImage rgb16(1, 1, QImage::Format_RGB16);
    rgb16.fill(qRgb(255, 255, 255));

    struct Case { QImage image; TPixelFormat before; int x, y; TColor expected; };
    const Case cases[] = {
        {palette, pf8bit, 2, 1, 0xFF0000},
        {palette, pf8bit, 0, 0, 0x0000FF},
        {mono, pf1bit, 8, 0, 0xFFFFFF},
        {argb, pf32bit, 0, 0, 0x030201},
        {rgb16, pf16bit, 0, 0, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TBitmap> bitmap(NewBitmap(c.image));
        EXPECT_EQ(bitmap->PixelFormat(), c.before);
        bitmap->SetPixelFormat(pf24bit);
        EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
        EXPECT_EQ(bitmap->Width(), c.image.width());
        EXPECT_EQ(bitmap->Height(), c.image.height());
        EXPECT_EQ(bitmap->Canvas->Pixels(c.x, c.y), c.expected);
    }
}

TEST(Bitmap, TwentyFourBitsTwiceChangesNothing)
{
    std::unique_ptr<TBitmap> bitmap(NewBitmap(SolidImage(5, 5, 1, 2, 3)));
    const std::uint8_t* before = static_cast<const TBitmap&>(*bitmap).ScanLine(0);
    bitmap->SetPixelFormat(pf24bit);
    EXPECT_EQ(static_cast<const TBitmap&>(*bitmap).ScanLine(0), before);

    TBitmap empty;
    empty.SetPixelFormat(pf24bit);
    EXPECT_EQ(empty.PixelFormat(), pf24bit);
    EXPECT_EQ(empty.Width(), 0);
    EXPECT_EQ(empty.Height(), 0);
}

}
