#include "PictureFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <spng.h>

#include <cstdio>
#include <vector>

namespace {

// A 16-bit picture of 82 megapixels is within the limit, although Qt would decode it at 8 bytes
// a pixel, 656 MB.
TEST(HostileStress, ASixteenBitPngWithinTheLimitIsMeasured)
{
    ScratchDirectory dir;
    ASSERT_TRUE(QImage(10000, 8200, QImage::Format_RGBX64).save("deep.png"));
    const QImage loaded = LoadPictureFile("deep.png");
    EXPECT_EQ(loaded.size(), QSize(10000, 8200));
    EXPECT_EQ(loaded.depth(), 24);
}

// A fitted line takes a band of rows and a few numbers a column, never the picture: a
// gigapixel PNG (40000 x 25000, a line across it) is fitted within 64 MB.
TEST(HostileStress, AGigapixelPngIsFittedInLittleMemory)
{
    ScratchDirectory dir;
    const int width = 40000, height = 25000;
    {
        std::FILE* file = std::fopen("giga.png", "wb");
        ASSERT_NE(file, nullptr);
        spng_ctx* png = spng_ctx_new(SPNG_CTX_ENCODER);
        spng_ihdr header{std::uint32_t(width), std::uint32_t(height), 8, SPNG_COLOR_TYPE_GRAYSCALE, 0, 0, 0};
        spng_set_png_file(png, file);
        spng_set_ihdr(png, &header);
        spng_set_option(png, SPNG_FILTER_CHOICE, SPNG_DISABLE_FILTERING);
        spng_set_option(png, SPNG_IMG_COMPRESSION_LEVEL, 1);
        ASSERT_EQ(spng_encode_image(png, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE), 0);
        std::vector<unsigned char> row(width);
        for (int y = 0; y < height; ++y) {
            std::fill(row.begin(), row.end(), 20);
            const int centre = 3 * width / 10 + int(std::int64_t(y) * width / 2 / height);
            for (int x = centre - 2; x <= centre + 2; ++x)
                row[std::size_t(x)] = 220;
            const int status = spng_encode_row(png, row.data(), row.size());
            ASSERT_TRUE(status == 0 || (status == SPNG_EOI && y == height - 1)) << spng_strerror(status);
        }
        spng_ctx_free(png);
        std::fclose(file);
    }
    const CliRun run = RunShell("/usr/bin/time -o peak -f %M \"$0\" --fit --json giga.png && cat peak");
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("\"fit\":{\"angle\":-51.34")) << lines[0].toStdString();
    EXPECT_LT(lines[1].toLong() / 1024, 64) << "peak KB " << lines[1].toStdString();
}

}
