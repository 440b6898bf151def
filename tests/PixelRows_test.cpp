#include "PixelRows.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

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
            Row expected(in.size()), actual(in.size());
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
