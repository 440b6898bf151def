#include "LineFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

enum class Kind { Clean,
                  Noisy,
                  Red,
                  Blurred,
                  Specks,
                  Uneven,
                  Short };

struct Scene {
    Kind kind = Kind::Clean;
    double angle = 0; // degrees, counter-clockwise on screen
    int width = 640, height = 480;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgr;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0; // the true ends, x1 <= x2
};

constexpr double Radian = std::numbers::pi / 180;

// Each pixel is lit by its perpendicular distance from an exact line (a segment for the short
// kind) with a Gaussian profile, so the true angle is the drawn one whatever the pixel grid.
Picture render(const Scene& scene, unsigned seed = 7)
{
    Picture p{scene.width, scene.height, std::vector<std::uint8_t>(3u * scene.width * scene.height)};
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, scene.kind == Kind::Noisy || scene.kind == Kind::Uneven ? 8 : 0);
    const double dx = std::cos(scene.angle * Radian), dy = -std::sin(scene.angle * Radian);
    const double cx = 0.5 * scene.width + 3.3, cy = 0.5 * scene.height - 2.7;
    const double sigma = scene.kind == Kind::Blurred ? 4.5 : 1.2;
    double reach = 4 * std::hypot(scene.width, scene.height);
    if (scene.kind == Kind::Short)
        reach = 0.3 * std::min(scene.width, scene.height);
    for (int y = 0; y < scene.height; ++y)
        for (int x = 0; x < scene.width; ++x) {
            const double along = std::clamp((x - cx) * dx + (y - cy) * dy, -reach, reach);
            const double d = std::hypot(x - (cx + along * dx), y - (cy + along * dy));
            const double r = std::hypot(x - 0.5 * scene.width, y - 0.5 * scene.height) / std::hypot(0.5 * scene.width, 0.5 * scene.height);
            const double background = scene.kind == Kind::Uneven ? 25 + 140 * r * r : 25;
            const double line = 170 * std::exp(-d * d / (2 * sigma * sigma));
            for (int c = 0; c < 3; ++c) {
                const double lit = scene.kind == Kind::Red && c != 2 ? 0 : line;
                p.bgr[3u * (y * scene.width + x) + c] = static_cast<std::uint8_t>(std::clamp(std::lround(background + lit + noise(random)), 0L, 255L));
            }
        }
    if (scene.kind == Kind::Specks) {
        std::uniform_int_distribution<int> px(2, scene.width - 3), py(2, scene.height - 3), size(0, 2);
        for (int i = 0; i < 150; ++i) {
            const int x0 = px(random), y0 = py(random), s = size(random);
            for (int y = y0 - s; y <= y0 + s; ++y)
                for (int x = x0 - s; x <= x0 + s; ++x)
                    for (int c = 0; c < 3; ++c)
                        p.bgr[3u * (y * scene.width + x) + c] = 255;
        }
    }
    // Where the drawn segment leaves the picture does not matter for the ends: only a short line's.
    p.x1 = cx - reach * dx, p.y1 = cy - reach * dy, p.x2 = cx + reach * dx, p.y2 = cy + reach * dy;
    return p;
}

// The picture as rows of `bytesPerPixel`: 3 as drawn or with the colours swapped, 4 with an
// alpha, 1 as the grey of the first channel.
std::optional<FittedLine> fit(const Picture& p, int bytesPerPixel = 3, bool swapped = false, int level = 50)
{
    LineFit fit(p.width, p.height, level);
    std::vector<std::uint8_t> row(4u * std::max(p.width, 1));
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* from = p.bgr.data() + 3u * y * p.width;
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < bytesPerPixel; ++c)
                row[bytesPerPixel * x + c] = c == 3 ? 99 : from[3 * x + (bytesPerPixel == 1 ? 0 : swapped ? 2 - c
                                                                                                          : c)];
        fit.AddRow(row.data(), bytesPerPixel);
    }
    return fit.Finish();
}

double angleError(double found, double truth)
{
    return std::abs(std::fmod(found - truth + 810, 180) - 90);
}

TEST(LineFit, FindsEachKindOfLineAtEachAngle)
{
    const struct {
        Kind kind;
        std::string name;
        std::vector<double> angles;
    } cases[] = {
        {Kind::Clean, "clean", {0, 5, 30, 45, 60, 85, 90, -30, -89.5}},
        {Kind::Noisy, "noisy", {0.7, -12, 52, 89}},
        {Kind::Red, "red", {3, -47}},
        {Kind::Blurred, "blurred", {-2, 38, 71}},
        {Kind::Specks, "specks", {1.5, -65}},
        {Kind::Uneven, "uneven", {-4, 33, 80}},
        {Kind::Short, "short", {8, -50}},
    };
    for (const auto& c : cases)
        for (const double angle : c.angles) {
            SCOPED_TRACE(c.name + " at " + std::to_string(angle));
            const Picture p = render({c.kind, angle});
            const std::optional<FittedLine> found = fit(p);
            ASSERT_TRUE(found);
            EXPECT_LT(angleError(found->angle, angle), 0.05);
            EXPECT_LT(found->rms, 0.5);
            EXPECT_GT(found->samples, 100);
            EXPECT_TRUE(std::isfinite(found->angleSd) && found->angleSd > 0 && found->angleSd < 0.05);
            if (c.kind == Kind::Short) {
                EXPECT_NEAR(found->x1, p.x1, 3);
                EXPECT_NEAR(found->y1, p.y1, 3);
                EXPECT_NEAR(found->x2, p.x2, 3);
                EXPECT_NEAR(found->y2, p.y2, 3);
            }
            // Rising to the right is positive; an upright line has no slope.
            EXPECT_EQ(found->slope.has_value(), std::abs(angle) != 90);
            if (found->slope) {
                EXPECT_NEAR(*found->slope, -std::tan(angle * Radian), 0.02 * std::max(1.0, *found->slope * *found->slope));
            }
            EXPECT_TRUE(found->x1 < found->x2 || (!found->slope && found->y1 < found->y2));
            // The channels' order and the row's layout do not change the result, nor grey rows
            // of a grey picture.
            for (const auto& [bytes, swapped] : {std::pair{3, true}, std::pair{4, false}, std::pair{c.kind == Kind::Clean ? 1 : 3, false}}) {
                const std::optional<FittedLine> other = fit(p, bytes, swapped);
                ASSERT_TRUE(other);
                EXPECT_EQ(other->angle, found->angle);
                EXPECT_EQ(other->samples, found->samples);
            }
        }
}

TEST(LineFit, BadPicturesGiveNothingOrAFiniteLine)
{
    const struct {
        std::string name;
        int width, height, rows;
        int value; // every pixel, or -1 for one lit pixel on black
    } cases[] = {
        {"no rows", 640, 480, 0, 0},
        {"black", 640, 480, 480, 0},
        {"white", 640, 480, 480, 255},
        {"one pixel", 1, 1, 1, 255},
        {"one row", 500, 1, 1, -1},
        {"one column", 1, 500, 500, -1},
        {"a dot", 64, 64, 64, -1},
        {"cut short", 640, 480, 3, 0},
        {"no size", 0, 0, 5, 0},
        {"negative size", -4, -9, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LineFit fit(c.width, c.height, 50);
        const std::uint8_t base = c.value < 0 ? 0 : c.value;
        std::vector<std::uint8_t> row(3u * std::max(c.width, 1), base);
        for (int y = 0; y < c.rows; ++y) {
            row[0] = c.value < 0 && y == c.rows / 2 ? 255 : base;
            fit.AddRow(row.data(), 3);
        }
        const std::optional<FittedLine> found = fit.Finish();
        if (found) {
            for (const double v : {found->angle, found->x1, found->y2, found->rms, found->angleSd, found->slope.value_or(0)})
                EXPECT_TRUE(std::isfinite(v));
        }
        EXPECT_FALSE(found && (c.value == 0 || c.value == 255));
    }
}

// A reader that hands over more rows than the picture has (a stream that runs on), or rows after
// the answer, changes nothing: they are not counted and the same line comes back.
TEST(LineFit, RowsPastTheHeightOrAfterTheAnswerAreIgnored)
{
    const Picture p = render({Kind::Clean, 1, 200, 120});
    const std::optional<FittedLine> exact = fit(p);
    ASSERT_TRUE(exact);
    LineFit more(p.width, p.height, 50);
    const std::vector<std::uint8_t> bright(3u * p.width, 255);
    for (int y = 0; y < p.height; ++y)
        more.AddRow(p.bgr.data() + 3u * y * p.width, 3);
    for (int y = 0; y < 20; ++y)
        more.AddRow(bright.data(), 3);
    EXPECT_EQ(more.Rows(), p.height);
    const std::optional<FittedLine> found = more.Finish();
    ASSERT_TRUE(found);
    more.AddRow(bright.data(), 3);
    EXPECT_EQ(more.Rows(), p.height);
    for (const std::optional<FittedLine>& again : {found, more.Finish()}) {
        EXPECT_EQ(again->angle, exact->angle);
        EXPECT_EQ(again->samples, exact->samples);
    }
}

TEST(LineFit, SpecksOnTheLinesOwnColumnsDoNotMoveIt)
{
    Picture p = render({Kind::Clean, 2});
    const std::optional<FittedLine> plain = fit(p);
    ASSERT_TRUE(plain);
    // Bright specks and a blob every few columns, some above the line, some below, some on it.
    for (int x = 4; x < p.width - 4; x += 7)
        for (const int offset : {-20, 9, 1}) {
            const int y = static_cast<int>(std::lround(plain->centreY - (x - plain->centreX) * std::tan(2 * Radian))) + offset;
            for (int dy = 0; dy < (offset == 9 ? 3 : 1); ++dy)
                for (int c = 0; c < 3; ++c)
                    p.bgr[3u * ((y + dy) * p.width + x) + c] = 255;
        }
    const std::optional<FittedLine> specked = fit(p);
    ASSERT_TRUE(specked);
    EXPECT_LT(angleError(specked->angle, 2), 0.01);
    EXPECT_NEAR(specked->centreY + (specked->centreX - plain->centreX) * std::tan(2 * Radian), plain->centreY, 0.05);
}

// A picture of 64 columns whose rows are each one grey.
std::optional<FittedLine> fitRows(int height, const std::function<int(int)>& grey, int level = 50)
{
    LineFit fit(64, height, level);
    std::vector<std::uint8_t> row(64 * 3);
    for (int y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), static_cast<std::uint8_t>(grey(y)));
        fit.AddRow(row.data(), 3);
    }
    return fit.Finish();
}

TEST(LineFit, OfTwoParallelLinesTheBrighterIsFound)
{
    for (const bool brighterBelow : {false, true}) {
        const std::optional<FittedLine> found = fitRows(48, [&](int y) {
            return y == 10 ? (brighterBelow ? 200 : 220) : y == 30 ? (brighterBelow ? 220 : 200)
                                                                   : 20;
        });
        ASSERT_TRUE(found);
        EXPECT_NEAR(found->centreY, brighterBelow ? 30 : 10, 0.01);
        EXPECT_EQ(found->angle, 0);
    }
    // Even at level 0 a line must stand more than 8 greys above its background, or noise would be one.
    for (const int grey : {28, 29}) {
        const auto line = [&](int y) { return y == 20 ? grey : 20; };
        EXPECT_EQ(fitRows(48, line, 0).has_value(), grey == 29) << grey;
    }
}

// A line whose profile touches the picture's first or last row is found where it is: the rows
// beyond the edge are none, not the row at the edge.
TEST(LineFit, LinesAtTheEdgesOfShortPicturesAreFoundWhereTheyAre)
{
    for (const int height : {24, 40})
        for (const int at : {1, 2, height / 2, height - 3, height - 2}) {
            const std::optional<FittedLine> found = fitRows(height, [&](int y) { return y == at ? 220 : std::abs(y - at) == 1 ? 120
                                                                                                                              : 20; });
            ASSERT_TRUE(found) << height << " rows, line at " << at;
            EXPECT_NEAR(found->centreY, at, 1e-9) << height << " rows, line at " << at;
            EXPECT_EQ(found->angle, 0);
        }
}

// What each kind of picture gave, to the last bit: the tolerances above let a change to the
// method through that moves the answers a little; this does not, so such a change is seen and
// then meant.
TEST(LineFit, EachKindGivesExactlyWhatItGaveBefore)
{
    const struct {
        Kind kind;
        double drawn, angle, centreY, angleSd;
        std::int64_t samples;
        int width = 640, height = 480;
    } cases[] = {
        {Kind::Clean, 33, 33.000012535983217, 239.77117312486246, 0.00022973922586639153, 640},
        {Kind::Noisy, -12, -12.001147840501854, 236.41775452939874, 0.0008171467810703444, 640},
        {Kind::Red, 3, 2.9999757120833181, 237.49913795587568, 0.0003123996335336081, 640},
        {Kind::Blurred, 71, 70.999918834500534, 239.73858030776901, 0.0011048796055816543, 480},
        {Kind::Specks, 1.5, 1.4999659810588337, 237.48947086626518, 0.00035586353456374488, 606},
        {Kind::Uneven, -4, -4.0006684255861691, 237.10247479666302, 0.00086697963211187221, 640},
        {Kind::Short, -50, -50.000309251787961, 237.30943172080163, 0.00074276676098830846, 220},
        // Too few samples for 20 blocks of them, and just enough for 3.
        {Kind::Noisy, 20, 19.991929364099658, 28.7310980404459, 0.024068436170632916, 70, 70, 60},
        {Kind::Noisy, 10, 9.8515281333529838, 17.960662052001478, 0.28252890044573115, 14, 14, 40},
    };
    for (const auto& c : cases) {
        const std::optional<FittedLine> found = fit(render({c.kind, c.drawn, c.width, c.height}));
        ASSERT_TRUE(found) << c.drawn;
        EXPECT_EQ(found->angle, c.angle) << c.drawn;
        EXPECT_EQ(found->centreY, c.centreY) << c.drawn;
        EXPECT_EQ(found->angleSd, c.angleSd) << c.drawn;
        EXPECT_EQ(found->samples, c.samples) << c.drawn;
    }
}

}
