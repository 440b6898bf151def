#include "LineFit.h"
#include "MeasureCopy.h"
#include "PixelRows.h"
#include "RowScan.h"
#include "TestSupport.h"
#include "Uprocess.h"
#include "RidgeSteps.h"
#include "WhiteMask.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A picture as rows of bytesPerPixel-byte pixels, the way a decoder hands them over.
struct RowPicture {
    int width = 0, height = 0, bytesPerPixel = 3;
    Bytes bytes;

    std::uint8_t* pixel(int x, int y) { return bytes.data() + (std::size_t(y) * width + x) * bytesPerPixel; }
};

// The row-by-row scan and the measurement of a copy against the window's run on the same
// picture, held as the window holds it: three bytes a pixel, grey spread over all three.
void expectSameOutcome(RowPicture& picture, int level, const std::string& what)
{
    QImage image(picture.width, picture.height, QImage::Format_BGR888);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c)
                image.scanLine(y)[3 * x + c] = picture.pixel(x, y)[picture.bytesPerPixel == 1 ? 0 : c];
    std::unique_ptr<Graphics::TBitmap> bitmap(NewBitmap(image)), fast(NewBitmap(image));
    Process process;
    process.Binarize(bitmap.get(), level);
    ScanResult expected, actual, copied;
    const bool expectedComputed = process.FindSlope(bitmap.get(), &expected);
    const auto points = [](const ScanResult& r) { return std::vector<double>{double(r.FrX), double(r.FrY), double(r.ReX), double(r.ReY), r.Slope}; };

    RowScan scan(picture.width, level);
    for (int y = 0; y < picture.height; ++y)
        scan.addRow(picture.pixel(0, y), picture.bytesPerPixel);
    EXPECT_EQ(scan.rows(), picture.height) << what;
    EXPECT_EQ(scan.finish(&copied), expectedComputed) << what;
    EXPECT_EQ(points(copied), points(expected)) << what;

    // The measurement of a deep copy, as the window's thread runs it: the picture is only read.
    Graphics::TBitmap scanned;
    const LineMeasurement measured = MeasureCopy(*fast, MeasureSettings{level}, &scanned);
    actual = measured.result;
    const bool actualComputed = measured.computed;
    EXPECT_EQ(actualComputed, expectedComputed) << what;
    EXPECT_EQ(points(actual), points(expected)) << what;
    EXPECT_EQ(scanned.Image(), bitmap->Image()) << what;
    EXPECT_EQ(fast->Image(), image) << what;
}

// Dark pixels near the level, with a few bright ones whose share varies from picture to
// picture, so that the end points fall anywhere, on one side only, or nowhere.
TEST(RowScan, AgreesWithTheWholePictureOnRandomPictures)
{
    std::mt19937 random(1212);
    const int levels[] = {50, 50, 50, 0, 20, 49, 51, -1, -7, 254, 255, 300};
    for (int round = 0; round < 3000; ++round)
        for (int bytesPerPixel : {1, 3, 4}) {
            RowPicture picture{1 + int(random() % (random() % 4 == 0 ? 300 : 70)), 1 + int(random() % 30), bytesPerPixel, {}};
            picture.bytes.resize(std::size_t(picture.width) * picture.height * bytesPerPixel);
            const unsigned brightShare = 1 + random() % 400;
            for (std::uint8_t& byte : picture.bytes)
                byte = random() % 1000 < brightShare ? std::uint8_t(150 + random() % 106) : std::uint8_t(random() % 58);
            const int level = levels[random() % std::size(levels)];
            expectSameOutcome(picture, level, "round " + std::to_string(round) + ", " + std::to_string(bytesPerPixel) + " bytes, level " + std::to_string(level));
            if (HasFailure())
                return;
        }
}

TEST(RowScan, AgreesWithTheWholePictureOnEdgeCases)
{
    const struct {
        const char* name;
        int width, height;
        std::vector<std::pair<int, int>> white;
    } cases[] = {
        {"no white pixel", 90, 7, {}},
        {"white only in column 0", 130, 9, {{0, 2}, {0, 6}, {0, 4}}},
        {"one white column", 200, 8, {{150, 1}, {150, 5}}},
        {"one row", 300, 1, {{3, 0}, {250, 0}}},
        {"same row", 140, 6, {{10, 4}, {70, 2}, {129, 4}}},
        {"one pixel wide", 1, 12, {{0, 3}, {0, 9}}},
        {"one column from the right", 65, 4, {{64, 1}, {0, 3}}},
        {"thick line falling", 257, 40, {{0, 30}, {0, 31}, {1, 39}, {256, 1}, {256, 2}, {255, 0}}},
        {"rising", 128, 20, {{64, 19}, {63, 5}, {127, 0}, {126, 19}}},
    };
    for (const auto& edge : cases)
        for (int bytesPerPixel : {1, 3, 4}) {
            RowPicture picture{edge.width, edge.height, bytesPerPixel, Bytes(std::size_t(edge.width) * edge.height * bytesPerPixel, 40)};
            for (auto [x, y] : edge.white)
                std::fill_n(picture.pixel(x, y), bytesPerPixel, 0xFF);
            expectSameOutcome(picture, 50, std::string(edge.name) + ", " + std::to_string(bytesPerPixel) + " bytes");
        }
}

// Every reading this processor runs gives the plain one's words, at the thresholds where the
// answer turns.
TEST(RowScan, EveryWhiteMaskReadingGivesThePlainWords)
{
    std::mt19937 random(64);
    const auto& readings = WhiteMask::Readings();
    ASSERT_STREQ(readings.front().Name, "plain");
    // White past the block, which no reading may take in.
    Bytes block(4 * WhiteMask::BlockPixels + 64, 0xFF);
    for (int round = 0; round < 2000; ++round) {
        for (std::size_t i = 0; i < 4 * WhiteMask::BlockPixels; ++i)
            block[i] = random() % 3 == 0 ? std::uint8_t(random()) : std::uint8_t(45 + random() % 12);
        const int threshold = int(random() % 770);
        for (const auto& reading : readings) {
            ASSERT_EQ(reading.OneByte(block.data(), threshold), readings[0].OneByte(block.data(), threshold)) << reading.Name;
            ASSERT_EQ(reading.ThreeBytes(block.data(), threshold), readings[0].ThreeBytes(block.data(), threshold)) << reading.Name;
            ASSERT_EQ(reading.FourBytes(block.data(), threshold), readings[0].FourBytes(block.data(), threshold)) << reading.Name;
        }
    }
}

// So does every reading of the fit's two steps over every pixel, at every length of row, so that
// the ends vector instructions leave to the plain loops are covered too.
TEST(RowScan, EveryRidgeReadingGivesThePlainSumsAndRidges)
{
    std::mt19937 random(765);
    const auto& readings = RidgeSteps::Readings();
    ASSERT_STREQ(readings.front().Name, "plain");
    for (int width = 0; width <= 200; ++width) {
        Bytes pixels(4 * std::size_t(width));
        for (std::uint8_t& byte : pixels)
            byte = random() % 4 == 0 ? 0xFF : std::uint8_t(random() % 60);
        for (const int bytesPerPixel : {1, 3, 4}) {
            // Exactly the row, so that a reading past its end shows under AddressSanitizer.
            const Bytes row(pixels.begin(), pixels.begin() + std::ptrdiff_t(bytesPerPixel) * width);
            // Room past the row's sums, which no reading may write into.
            std::vector<std::uint16_t> expected(width + 32, 0x5A5A), sums;
            readings[0].SumRow(row.data(), bytesPerPixel, expected.data(), width);
            for (const auto& reading : readings) {
                sums.assign(width + 32, 0x5A5A);
                reading.SumRow(row.data(), bytesPerPixel, sums.data(), width);
                ASSERT_EQ(sums, expected) << reading.Name << ", width " << width << ", " << bytesPerPixel << " bytes";
            }
        }
        std::vector<std::uint16_t> rows[3];
        for (auto& row : rows)
            for (int x = 0; x < width; ++x)
                row.push_back(std::uint16_t(random() % 766));
        const int threshold = 24 + int(random() % 360);
        std::vector<std::int32_t> expected(width), hits(width);
        expected.resize(readings[0].FindRidges(rows[0].data(), rows[1].data(), rows[2].data(), width, threshold, expected.data()));
        for (const auto& reading : readings) {
            hits.resize(width);
            hits.resize(reading.FindRidges(rows[0].data(), rows[1].data(), rows[2].data(), width, threshold, hits.data()));
            ASSERT_EQ(hits, expected) << reading.Name << ", width " << width;
        }
    }
}

// Samples exactly on a line give it back with no spread, at the least count that may, in
// whichever order they come; an upright line has no slope and its ends go down. Fewer samples
// give nothing.
TEST(LineFitPoints, SamplesOnALineGiveItExactly)
{
    const auto on = [](int count, double slope, double step = 2) {
        std::vector<LinePoint> points;
        for (int i = 0; i < count; ++i)
            points.push_back({step * i, 1 + slope * 2 * i});
        return points;
    };
    const struct {
        std::vector<LinePoint> points;
        std::optional<double> slope;
        double angle;
    } cases[] = {{on(6, 0.5), 0.5, -26.565051177},
                 {on(6, -0.5), -0.5, 26.565051177},
                 {on(30, 0.25), 0.25, -14.036243468},
                 {on(8, 0.5, -2), -0.5, 26.565051177},
                 {on(7, 1.5, 0), std::nullopt, 90},
                 {on(7, -1.5, 0), std::nullopt, 90}};
    for (const auto& [points, slope, angle] : cases) {
        const std::optional<FittedLine> fit = LineFit::FitPoints(points);
        ASSERT_TRUE(fit) << angle;
        EXPECT_EQ(fit->slope.has_value(), slope.has_value());
        EXPECT_NEAR(fit->slope.value_or(0), slope.value_or(0), 1e-9);
        EXPECT_NEAR(fit->angle, angle, 1e-6);
        EXPECT_NEAR(fit->rms, 0, 1e-9);
        EXPECT_EQ(fit->samples, std::int64_t(points.size()));
        EXPECT_TRUE(slope ? fit->x1 < fit->x2 : std::abs(fit->x1 - fit->x2) < 1e-9 && fit->y1 < fit->y2) << angle;
        EXPECT_TRUE(std::isfinite(fit->angleSd)) << angle;
    }
    EXPECT_FALSE(LineFit::FitPoints(on(5, 0.5)));
}

using Row = std::vector<std::uint8_t>;

// Random bytes with many 0xFF among them, and sometimes whole white pixels.
Row randomRow(std::mt19937& random, int width)
{
    Row row(std::size_t(3 * width));
    for (std::uint8_t& byte : row)
        byte = random() % 4 == 0 ? 0xFF : std::uint8_t(random());
    for (int x = 0; x < width; ++x)
        if (random() % 9 == 0)
            row[std::size_t(3 * x)] = row[std::size_t(3 * x + 1)] = row[std::size_t(3 * x + 2)] = 0xFF;
    return row;
}

bool whiteAt(const Row& row, int x)
{
    return row[std::size_t(3 * x)] == 0xFF && row[std::size_t(3 * x + 1)] == 0xFF && row[std::size_t(3 * x + 2)] == 0xFF;
}

// Every reading this processor runs, on rows of every width up to a few vector blocks, at the
// thresholds where the answer turns: all white, around the smallest sums, the buttons' level,
// and all black.
TEST(PixelRows, EveryBinarizeReadingGivesThePlainBytes)
{
    std::mt19937 random(2026);
    const int thresholds[] = {0, 1, 2, 3, 4, 153, 154, 764, 765, 766, 768};
    const auto& readings = PixelRows::BinarizeReadings();
    ASSERT_STREQ(readings.front().Name, "plain");
    for (int width = 0; width <= 200; ++width)
        for (int threshold : thresholds) {
            const Row in = randomRow(random, width);
            // Room past the row, which no reading may write into.
            Row expected(in.size() + 96, 0x5A), actual(in.size() + 96);
            readings.front().Binarize(in.data(), expected.data(), width, threshold);
            for (const auto& reading : readings) {
                std::fill(actual.begin(), actual.end(), 0x5A);
                reading.Binarize(in.data(), actual.data(), width, threshold);
                ASSERT_EQ(actual, expected) << reading.Name << ", width " << width << ", threshold " << threshold;
            }
        }
}

// The block pre-filter must never hide a white pixel, wherever the searched range begins and
// ends against the blocks.
TEST(PixelRows, WhiteSearchesAgreeWithALiteralReading)
{
    std::mt19937 random(1207);
    for (int round = 0; round < 3000; ++round) {
        const int width = int(random() % 200);
        Row row = randomRow(random, width);
        if (round % 3 == 0)
            std::fill(row.begin(), row.end(), std::uint8_t(random() % 2 ? 0x00 : 0xFE));
        if (round % 3 == 0 && width > 0) {
            const std::size_t pixel = 3 * (random() % unsigned(width));
            row[pixel] = row[pixel + 1] = row[pixel + 2] = 0xFF;
        }
        const int end = width ? int(random() % unsigned(width + 1)) : 0;
        const int begin = end ? int(random() % unsigned(end + 1)) : 0;
        int first = 0, last = end - 1;
        while (first < end && !whiteAt(row, first))
            ++first;
        while (last >= begin && !whiteAt(row, last))
            --last;
        ASSERT_EQ(PixelRows::FirstWhite(row.data(), end), first < end ? first : -1) << "round " << round;
        ASSERT_EQ(PixelRows::LastWhite(row.data(), begin, end), last >= begin ? last : -1) << "round " << round;
    }
}

}
