#include "PlainRun.h"
#include "Uprocess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <random>

namespace {

using Graphics::TBitmap;

struct Rgb { int r, g, b; };

std::unique_ptr<TBitmap> rowOf(const std::vector<Rgb>& pixels)
{
    QImage image(int(pixels.size()), 1, QImage::Format_BGR888);
    for (int x = 0; x < int(pixels.size()); ++x)
        image.setPixelColor(x, 0, QColor(pixels[x].r, pixels[x].g, pixels[x].b));
    return std::unique_ptr<TBitmap>(NewBitmap(image));
}

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

std::unique_ptr<TBitmap> picture(int width, int height, const std::vector<std::pair<int, int>>& white)
{
    QImage image = SolidImage(width, height, 30, 30, 30);
    for (auto [x, y] : white)
        SetWhite(image, x, y);
    return std::unique_ptr<TBitmap>(NewBitmap(image));
}

ScanResult scan(TBitmap& bitmap, bool* computed = nullptr)
{
    ScanResult result;
    const bool found = Process().FindSlope(&bitmap, &result);
    if (computed)
        *computed = found;
    return result;
}

#define EXPECT_POINTS(result, frX, frY, reX, reY)                                                   \
    do {                                                                                            \
        EXPECT_EQ((result).FrX, frX);                                                               \
        EXPECT_EQ((result).FrY, frY);                                                               \
        EXPECT_EQ((result).ReX, reX);                                                               \
        EXPECT_EQ((result).ReY, reY);                                                               \
    } while (0)

TEST(Binarize, WhiteExactlyWhenTheIntegerMeanIsAboveTheLevel)
{
    auto bitmap = rowOf({{50, 50, 50}, {50, 50, 53}, {255, 0, 0}, {0, 0, 152}, {0, 0, 153}, {51, 51, 51}});
    Process().Binarize(bitmap.get(), 50);
    EXPECT_EQ(whiteness(*bitmap), (std::vector<int>{0, 1, 1, 0, 1, 1}));
}

TEST(Binarize, TheLevelIsASignedWholeNumber)
{
    const std::vector<Rgb> row = {{0, 0, 0}, {0, 0, 2}, {0, 0, 3}, {254, 254, 254}, {255, 255, 255}};
    const std::pair<int, std::vector<int>> cases[] = {
        {INT_MIN, {1, 1, 1, 1, 1}},
        {-1, {1, 1, 1, 1, 1}},
        {0, {0, 0, 1, 1, 1}},
        {254, {0, 0, 0, 0, 1}},
        {255, {0, 0, 0, 0, 0}},
        {INT_MAX, {0, 0, 0, 0, 0}},
    };
    for (const auto& [level, expected] : cases) {
        auto bitmap = rowOf(row);
        Process().Binarize(bitmap.get(), level);
        EXPECT_EQ(whiteness(*bitmap), expected) << "level " << level;
    }
}

TEST(Binarize, ABlackAndWhitePictureComesOutUnchanged)
{
    auto bitmap = picture(7, 5, {{0, 0}, {6, 4}, {3, 2}});
    Process().Binarize(bitmap.get(), 50);
    const QImage once = bitmap->Image().copy();
    Process().Binarize(bitmap.get(), 50);
    EXPECT_EQ(bitmap->Image(), once);
}

TEST(FindSlope, EndPointsAreTheBottomMostWhiteOfTheOutermostWhiteColumns)
{
    bool computed = false;
    // Rising to the right, three pixels thick at each end.
    auto rising = picture(10, 8, {{1, 5}, {1, 6}, {1, 7}, {2, 5}, {8, 0}, {8, 1}, {8, 2}, {7, 3}});
    ScanResult result = scan(*rising, &computed);
    EXPECT_POINTS(result, 1, 7, 8, 2);
    EXPECT_TRUE(computed);
    EXPECT_EQ(result.Slope, float(5.0 / 7.0));

    // The same line mirrored falls to the right and gives the same positive slope.
    auto falling = picture(10, 8, {{8, 5}, {8, 6}, {8, 7}, {1, 0}, {1, 1}, {1, 2}});
    result = scan(*falling, &computed);
    EXPECT_POINTS(result, 1, 2, 8, 7);
    EXPECT_EQ(result.Slope, float(5.0 / 7.0));
}

TEST(FindSlope, NoSlopeCasesLeaveItAtZero)
{
    struct Case {
        const char* what;
        std::unique_ptr<TBitmap> bitmap;
        int frX, frY, reX, reY;
    };
    Case cases[] = {
        {"no white pixel", picture(9, 4, {}), 0, 0, 0, 0},
        {"white only in column 0", picture(9, 4, {{0, 1}, {0, 3}}), 0, 3, 0, 0},
        {"a single white column", picture(9, 4, {{5, 0}, {5, 2}}), 5, 2, 5, 2},
        {"both ends on one row", picture(9, 4, {{1, 2}, {7, 2}}), 1, 2, 7, 2},
        {"one pixel wide", picture(1, 4, {{0, 2}}), 0, 2, 0, 0},
        {"empty", std::make_unique<TBitmap>(), 0, 0, 0, 0},
    };
    for (Case& c : cases) {
        bool computed = true;
        const ScanResult result = scan(*c.bitmap, &computed);
        EXPECT_POINTS(result, c.frX, c.frY, c.reX, c.reY);
        EXPECT_FALSE(computed) << c.what;
        EXPECT_EQ(result.Slope, 0.0f) << c.what;
    }
}

TEST(FindSlope, OnlyPureWhiteCountsAndTheRecordIsNeverCleared)
{
    QImage image = SolidImage(6, 3);
    image.setPixelColor(0, 0, QColor(255, 255, 254));
    image.setPixelColor(5, 2, QColor(254, 255, 255));
    std::unique_ptr<TBitmap> bitmap(NewBitmap(image));
    ScanResult result;
    result.Slope = 7.5f;
    result.FrX = 3;
    EXPECT_FALSE(Process().FindSlope(bitmap.get(), &result));
    EXPECT_EQ(result.FrX, 3);
    EXPECT_EQ(result.Slope, 7.5f);
}

// The whole run against a literal reading of it. Pictures up to 130 pixels wide also reach the
// vector readings of Binarize, which work on 32 and 64 pixels at a time, and the scan's third
// block of columns; a quarter of them hold about one white pixel, wherever it falls.
TEST(FindSlope, TheRunAgreesWithALiteralReadingOnRandomPictures)
{
    std::mt19937 random(1206);
    const int levels[] = {-1, 0, 50, 254, 255};
    for (int round = 0; round < 1500; ++round) {
        const int width = int(random() % (round < 1000 ? 65 : 131)), height = int(random() % 65);
        // White in 1 of density pixels.
        const unsigned density = round % 4 == 2 ? 1u + unsigned(width * height) : 1u + random() % 200;
        QImage image = SolidImage(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned pick = random();
                if (pick % density == 0)
                    SetWhite(image, x, y);
                else if (pick % 7 == 0)
                    image.setPixelColor(x, y, QColor(int(pick >> 8 & 255), int(pick >> 16 & 255), 255));
            }
        std::unique_ptr<TBitmap> fast(NewBitmap(image));
        std::unique_ptr<TBitmap> plain(NewBitmap(image));
        if (round % 2) {
            const int level = levels[round / 2 % 5];
            Process().Binarize(fast.get(), level);
            BinarizePlainly(*plain, level);
            ASSERT_EQ(fast->Image(), plain->Image()) << "round " << round;
        }
        ScanResult expected, actual;
        const bool expectedComputed = FindSlopePlainly(*plain, &expected);
        const bool actualComputed = Process().FindSlope(fast.get(), &actual);
        ASSERT_EQ(actualComputed, expectedComputed) << "round " << round;
        ASSERT_EQ(actual.FrX, expected.FrX) << "round " << round;
        ASSERT_EQ(actual.FrY, expected.FrY) << "round " << round;
        ASSERT_EQ(actual.ReX, expected.ReX) << "round " << round;
        ASSERT_EQ(actual.ReY, expected.ReY) << "round " << round;
        ASSERT_EQ(actual.Slope, expected.Slope) << "round " << round;
    }
}

TEST(Captions, BytesAreTheBig5PrefixAndThePrintfText)
{
    ScanResult result;
    result.FrX = 3;
    result.FrY = 45;
    result.ReX = 120;
    result.ReY = 7;
    result.Slope = 0.32479f;
    ResultCaptions captions = FormatCaptions(result);
    EXPECT_EQ(Hex(captions.Fr), Hex("\xA5\x6B\xC3\xE4\xAE\x79\xBC\xD0:(  3: 45)"));
    EXPECT_EQ(Hex(captions.Re), Hex("\xA5\xAA\xC3\xE4\xAE\x79\xBC\xD0:(120:  7)"));
    EXPECT_EQ(Hex(captions.Slope), Hex("\xB1\xD7\xB2\x76:0.32479"));

    result.FrX = 1024;
    result.FrY = 12;
    result.ReX = INT_MIN;
    result.ReY = INT_MAX;
    result.Slope = 12.5f;
    captions = FormatCaptions(result);
    EXPECT_EQ(captions.Fr.substr(9), "(1024: 12)");
    EXPECT_EQ(captions.Re.substr(9), "(-2147483648:2147483647)");
    EXPECT_EQ(captions.Slope.substr(5), "12.50000");

    result.Slope = 3.0e38f;
    EXPECT_EQ(FormatCaptions(result).Slope.size(), 5 + 39 + 6u) << "a wide value is printed whole";
}

}
