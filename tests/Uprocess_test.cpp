#include "AnsiText.h"
#include "TestSupport.h"
#include "Uprocess.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <memory>

namespace {

using Graphics::TBitmap;

// 1 for a white pixel, 0 for a black one; anything else fails the test.
std::vector<int> whiteness(const TBitmap& bitmap)
{
    std::vector<int> result;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            const TColor colour = bitmap.Canvas->Pixels(x, y);
            EXPECT_TRUE(colour == clWhite || colour == clBlack) << x << "," << y;
            result.push_back(colour == clWhite);
        }
    return result;
}

// The end points, and the slope's bits.
std::vector<std::int64_t> points(const ScanResult& r)
{
    return {r.FrX, r.FrY, r.ReX, r.ReY, std::bit_cast<std::int32_t>(r.Slope)};
}

// A dark picture with the given pixels white, or with its first row in the given colours.
std::unique_ptr<TBitmap> picture(int width, int height, const std::vector<QPoint>& white,
                                 const std::vector<QColor>& row = {})
{
    QImage image = SolidImage(width, height, 30, 30, 30);
    for (QPoint p : white)
        SetWhite(image, p.x(), p.y());
    for (int x = 0; x < int(row.size()); ++x)
        image.setPixelColor(x, 0, row[std::size_t(x)]);
    return std::unique_ptr<TBitmap>(NewBitmap(image));
}

TEST(Binarize, WhiteExactlyWhenTheIntegerMeanIsAboveTheLevel)
{
    const std::vector<QColor> row = {{0, 0, 0}, {0, 0, 2}, {0, 0, 3}, {50, 50, 53}, {255, 0, 0}, {0, 0, 152}, {0, 0, 153}, {254, 254, 254}, {255, 255, 255}};
    const std::pair<int, std::vector<int>> cases[] = {
        {INT_MIN, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {-1, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {0, {0, 0, 1, 1, 1, 1, 1, 1, 1}},
        {DefaultLevel, {0, 0, 0, 1, 1, 0, 1, 1, 1}},
        {254, {0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {255, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {INT_MAX, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& [level, expected] : cases) {
        auto bitmap = picture(int(row.size()), 1, {}, row);
        Process().Binarize(bitmap.get(), level);
        EXPECT_EQ(whiteness(*bitmap), expected) << "level " << level;
    }
}

TEST(Binarize, APaletteBitmapBecomesATwentyFourBitOneOfTheSameSize)
{
    QImage palette(5, 3, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(10, 20, 30), qRgb(200, 90, 0), qRgb(255, 255, 255)});
    palette.fill(0);
    palette.setPixel(1, 0, 1);
    palette.setPixel(4, 2, 2);
    std::unique_ptr<TBitmap> bitmap(NewBitmap(palette));
    Process().Binarize(bitmap.get(), DefaultLevel);
    EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
    EXPECT_EQ(whiteness(*bitmap), (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

// Only pure white counts.
TEST(FindSlope, EndPointsSlopeAndTheCasesWithoutASlope)
{
    const QColor nearWhite(255, 255, 254), alsoNearWhite(254, 255, 255);
    struct Case {
        const char* what;
        std::unique_ptr<TBitmap> bitmap;
        ScanResult expected;
        bool computed;
    };
    Case cases[] = {
        {"rising, thick ends", picture(10, 8, {{1, 5}, {1, 6}, {1, 7}, {2, 5}, {8, 0}, {8, 1}, {8, 2}, {7, 3}}), {1, 7, 8, 2, float(5.0 / 7.0)}, true},
        {"falling", picture(10, 8, {{8, 5}, {8, 6}, {8, 7}, {1, 0}, {1, 1}, {1, 2}}), {1, 2, 8, 7, float(5.0 / 7.0)}, true},
        {"no white pixel", picture(6, 3, {}, {nearWhite, Qt::black, alsoNearWhite}), {0, 0, 0, 0, 0}, false},
        {"white only in column 0", picture(9, 4, {{0, 1}, {0, 3}}), {0, 3, 0, 0, 0}, false},
        {"a single white column", picture(9, 4, {{5, 0}, {5, 2}}), {5, 2, 5, 2, 0}, false},
        {"both ends on one row", picture(9, 4, {{1, 2}, {7, 2}}), {1, 2, 7, 2, 0}, false},
        {"one pixel wide", picture(1, 4, {{0, 2}}), {0, 2, 0, 0, 0}, false},
        {"empty", std::make_unique<TBitmap>(), {0, 0, 0, 0, 0}, false},
    };
    for (Case& c : cases) {
        ScanResult result;
        EXPECT_EQ(Process().FindSlope(c.bitmap.get(), &result), c.computed) << c.what;
        EXPECT_EQ(points(result), points(c.expected)) << c.what;
    }
    // What is not found is left as it was.
    ScanResult result{3, 4, 3, 6, 7.5f};
    EXPECT_FALSE(Process().FindSlope(picture(6, 3, {}).get(), &result));
    EXPECT_EQ(points(result), points({3, 4, 3, 6, 7.5f}));
}

TEST(Captions, BytesAreTheBig5PrefixAndThePrintfText)
{
    const ResultCaptions small = FormatCaptions({3, 45, 120, 7, 0.32479f});
    EXPECT_EQ(small.Fr + small.Re + small.Slope, "\xA5\x6B\xC3\xE4\xAE\x79\xBC\xD0:(  3: 45)"
                                                 "\xA5\xAA\xC3\xE4\xAE\x79\xBC\xD0:(120:  7)\xB1\xD7\xB2\x76:0.32479");
    const ResultCaptions wide = FormatCaptions({1024, 12, INT_MIN, INT_MAX, 3.0e38f});
    EXPECT_EQ(wide.Fr + wide.Re, FrCaptionPrefix + "(1024: 12)" + ReCaptionPrefix + "(-2147483648:2147483647)");
    EXPECT_EQ(wide.Slope.size(), 5 + 39 + 6u) << "a wide value is printed whole";
    // Both decoders read the captions alike, and show a byte that is no Big5 as a replacement
    // character instead of ending the text there.
    const std::string all = small.Fr + small.Re + small.Slope, broken = FrCaptionPrefix + "\xFF(1";
    EXPECT_EQ(AnsiToUnicodeWithIconv(all), AnsiToUnicode(all));
    EXPECT_EQ(AnsiToUnicodeWithIconv(broken), QString::fromUtf8("右邊座標:\uFFFD(1"));
}

}
