#include "WhiteMask.h"

#include "RowVectors.h"

#include <algorithm>

namespace {

// The answers are gathered first and packed into bits after, which lets the compiler use vector
// instructions for the first loop.
template <int bytesPerPixel> std::uint64_t plainBlock(const std::uint8_t* pixels, int threshold)
{
    std::uint8_t white[WhiteMask::BlockPixels];
    for (int i = 0; i < WhiteMask::BlockPixels; ++i)
        white[i] = WhiteMask::IsWhite(pixels + bytesPerPixel * i, bytesPerPixel, threshold);
    std::uint64_t mask = 0;
    for (int i = 0; i < WhiteMask::BlockPixels; ++i)
        mask |= std::uint64_t(white[i]) << i;
    return mask;
}

#ifdef SLOPEMETER_X86

using namespace RowVectors;

AVX2 std::uint32_t thirtyTwoWithAvx2(const std::uint8_t* p, __m256i below)
{
    return std::uint32_t(_mm256_movemask_epi8(whiteBytesOf32(p, below)));
}

AVX2 std::uint64_t threeBytesWithAvx2(const std::uint8_t* pixels, int threshold)
{
    const __m256i below = _mm256_set1_epi16(short(threshold - 1));
    return std::uint64_t(thirtyTwoWithAvx2(pixels + 96, below)) << 32 | thirtyTwoWithAvx2(pixels, below);
}

AVX2 std::uint64_t fourBytesWithAvx2(const std::uint8_t* pixels, int threshold)
{
    const __m256i weights = _mm256_set1_epi32(0x00010101);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i below = _mm256_set1_epi32(threshold - 1);
    std::uint64_t mask = 0;
    for (int eighth = 0; eighth < 8; ++eighth) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 32 * eighth));
        const __m256i sums = _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones);
        const int white = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(sums, below)));
        mask |= std::uint64_t(std::uint32_t(white)) << (8 * eighth);
    }
    return mask;
}

AVX2 std::uint64_t oneByteWithAvx2(const std::uint8_t* pixels, int threshold)
{
    const int least = (threshold + 2) / 3;
    if (least > 0xFF)
        return 0;
    const __m256i floor = _mm256_set1_epi8(char(least));
    std::uint64_t mask = 0;
    for (int half = 0; half < 2; ++half) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 32 * half));
        const __m256i white = _mm256_cmpeq_epi8(_mm256_max_epu8(bytes, floor), bytes);
        mask |= std::uint64_t(std::uint32_t(_mm256_movemask_epi8(white))) << (32 * half);
    }
    return mask;
}

AVX512 std::uint64_t threeBytesWithAvx512(const std::uint8_t* pixels, int threshold)
{
    const __m512i below = _mm512_set1_epi16(short(threshold - 1));
    __m512i sumsLow, sumsHigh;
    threeByteSumsOf64(pixels, sumsLow, sumsHigh);
    const std::uint64_t low = _mm512_cmpgt_epi16_mask(sumsLow, below);
    const std::uint64_t high = _mm512_cmpgt_epi16_mask(sumsHigh, below);
    return high << 32 | low;
}

// Four-byte pixels: a multiply-add with weights 1, 1, 1, 0 and a second one that joins the
// pairs give each pixel's sum in a 32-bit lane.
AVX512 std::uint64_t fourBytesWithAvx512(const std::uint8_t* pixels, int threshold)
{
    const __m512i weights = _mm512_set1_epi32(0x00010101);
    const __m512i ones = _mm512_set1_epi16(1);
    const __m512i below = _mm512_set1_epi32(threshold - 1);
    std::uint64_t mask = 0;
    for (int quarter = 0; quarter < 4; ++quarter) {
        const __m512i bytes = _mm512_loadu_si512(pixels + 64 * quarter);
        const __m512i sums = _mm512_madd_epi16(_mm512_maddubs_epi16(bytes, weights), ones);
        mask |= std::uint64_t(_mm512_cmpgt_epi32_mask(sums, below)) << (16 * quarter);
    }
    return mask;
}

// Grey: three times the byte reaches the threshold exactly when the byte reaches a third of it,
// rounded up.
AVX512 std::uint64_t oneByteWithAvx512(const std::uint8_t* pixels, int threshold)
{
    const int least = (threshold + 2) / 3;
    if (least > 0xFF)
        return 0;
    return _mm512_cmpge_epu8_mask(_mm512_loadu_si512(pixels), _mm512_set1_epi8(char(least)));
}

#endif

std::vector<WhiteMask::Reading> readingsOfThisProcessor()
{
    std::vector<WhiteMask::Reading> readings = {{"plain", plainBlock<1>, plainBlock<3>, plainBlock<4>}};
#ifdef SLOPEMETER_X86
    if (HasAvx2())
        readings.push_back({"AVX2", oneByteWithAvx2, threeBytesWithAvx2, fourBytesWithAvx2});
    if (HasAvx512())
        readings.push_back({"AVX-512", oneByteWithAvx512, threeBytesWithAvx512, fourBytesWithAvx512});
#endif
    return readings;
}

}

namespace WhiteMask {

const std::vector<Reading>& Readings()
{
    static const std::vector<Reading> readings = readingsOfThisProcessor();
    return readings;
}

Block FastestFor(int bytesPerPixel)
{
    static const Reading fastest = Readings().back();
    return bytesPerPixel == 1 ? fastest.OneByte : bytesPerPixel == 4 ? fastest.FourBytes
                                                                     : fastest.ThreeBytes;
}

}
