#include "RowSink.h"

#include "PictureLimits.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SLOPEMETER_SSSE3 __attribute__((target("ssse3")))
#endif

namespace {

// Reorders whole blocks of pixels with one shuffle each, and stops where a block would read or
// write past the row; the plain loop does the rest.
#ifdef SLOPEMETER_SSSE3
SLOPEMETER_SSSE3 int blueFirstInBlocks(const std::uint8_t* pixels, int width, int bytesPerPixel, std::uint8_t* row)
{
    // Five grey or three-byte pixels, or four four-byte ones, a load.
    const int step = bytesPerPixel == 4 ? 4 : 5;
    const __m128i order = bytesPerPixel == 1 ? _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, -1)
        : bytesPerPixel == 3                 ? _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15)
                                             : _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int x = 0;
    const std::size_t readEnd = std::size_t(width) * bytesPerPixel, writeEnd = 3 * std::size_t(width);
    for (; std::size_t(x) * bytesPerPixel + 16 <= readEnd && 3 * std::size_t(x) + 16 <= writeEnd; x += step) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x * bytesPerPixel));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 3 * x), _mm_shuffle_epi8(block, order));
    }
    return x;
}
#endif

}

void RowSink::TakeDecodedRow(int y, const std::uint8_t* pixels, int width, int bytesPerPixel)
{
    std::uint8_t* row = RowBuffer(y, 3);
    int x = 0;
#ifdef SLOPEMETER_SSSE3
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3)
        x = blueFirstInBlocks(pixels, width, bytesPerPixel, row);
#endif
    // Grey is the one byte three times over.
    const int blue = bytesPerPixel == 1 ? 0 : 2, green = bytesPerPixel == 1 ? 0 : 1;
    for (; x < width; ++x) {
        const std::uint8_t* pixel = pixels + x * bytesPerPixel;
        row[3 * x] = pixel[blue];
        row[3 * x + 1] = pixel[green];
        row[3 * x + 2] = pixel[0];
    }
    RowDone(y, 3);
}

void RowSink::CheckHeldWhole(std::int64_t width, std::int64_t height, std::int64_t) const
{
    CheckPictureSize(width, height);
}
