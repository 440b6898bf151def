#include "RidgeSteps.h"

#include "RowVectors.h"

#include <algorithm>

namespace {

void sumPlain(const std::uint8_t* p, int bytesPerPixel, std::uint16_t* sums, int begin, int end)
{
    if (bytesPerPixel == 1) {
        for (int x = begin; x < end; ++x)
            sums[x] = static_cast<std::uint16_t>(3 * p[x]);
        return;
    }
    for (int x = begin; x < end; ++x) {
        const std::uint8_t* q = p + static_cast<std::size_t>(x) * bytesPerPixel;
        sums[x] = static_cast<std::uint16_t>(q[0] + q[1] + q[2]);
    }
}

// Both sides, not their mean: just inside the edge of a wide bright area one side is as bright,
// and that is no line.
int findPlain(const std::uint16_t* mid, const std::uint16_t* a, const std::uint16_t* b, int count, int threshold, std::int32_t* hits)
{
    int found = 0;
    for (int i = 0; i < count; ++i)
        if (std::min(mid[i] - a[i], mid[i] - b[i]) > threshold)
            hits[found++] = i;
    return found;
}

#ifdef SLOPEMETER_X86

using namespace RowVectors;

// Returns how many pixels from `begin` on were summed; the rest are left to the plain loop.
AVX2 int sumAvx2(const std::uint8_t* p, int bytesPerPixel, std::uint16_t* sums, int begin, int width)
{
    int x = begin;
    if (bytesPerPixel == 3) {
        // Each 16-byte half shuffles eight pixels of its own: the first five from one load, the
        // last three from one eight bytes on; the first two bytes of a pixel go as a pair.
        const __m256i pairA = inBothHalves(_mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 12, 13, none, none, none, none, none, none));
        const __m256i pairB = inBothHalves(_mm_setr_epi8(none, none, none, none, none, none, none, none, none, none, 7, 8, 10, 11, 13, 14));
        const __m256i lastA = inBothHalves(_mm_setr_epi8(2, none, 5, none, 8, none, 11, none, 14, none, none, none, none, none, none, none));
        const __m256i lastB = inBothHalves(_mm_setr_epi8(none, none, none, none, none, none, none, none, none, none, 9, none, 12, none, 15, none));
        const __m256i ones = _mm256_set1_epi8(1);
        for (; x + 16 <= width; x += 16) {
            const std::uint8_t* q = p + 3 * static_cast<std::size_t>(x);
            const __m256i a = loadHalves(q, q + 24);
            const __m256i b = loadHalves(q + 8, q + 32);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x),
                                _mm256_add_epi16(_mm256_maddubs_epi16(gather(a, pairA, b, pairB), ones), gather(a, lastA, b, lastB)));
        }
    } else if (bytesPerPixel == 4) {
        const __m256i colours = _mm256_set1_epi32(0x00010101);
        const __m256i ones = _mm256_set1_epi16(1);
        for (; x + 16 <= width; x += 16) {
            const std::uint8_t* q = p + 4 * static_cast<std::size_t>(x);
            const __m256i low = _mm256_madd_epi16(_mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q)), colours), ones);
            const __m256i high = _mm256_madd_epi16(_mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32)), colours), ones);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x), _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8));
        }
    } else {
        for (; x + 16 <= width; x += 16) {
            const __m256i g = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x), _mm256_add_epi16(_mm256_add_epi16(g, g), g));
        }
    }
    return x;
}

AVX2 void sumWithAvx2(const std::uint8_t* p, int bytesPerPixel, std::uint16_t* sums, int width)
{
    sumPlain(p, bytesPerPixel, sums, sumAvx2(p, bytesPerPixel, sums, 0, width), width);
}

AVX512 void sumWithAvx512(const std::uint8_t* p, int bytesPerPixel, std::uint16_t* sums, int width)
{
    int x = 0;
    if (bytesPerPixel == 3) {
        for (; x + 64 <= width; x += 64) {
            __m512i low, high;
            threeByteSumsOf64(p + 3 * static_cast<std::size_t>(x), low, high);
            _mm512_storeu_si512(sums + x, low);
            _mm512_storeu_si512(sums + x + 32, high);
        }
    } else if (bytesPerPixel == 1) {
        for (; x + 32 <= width; x += 32) {
            const __m512i g = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x)));
            _mm512_storeu_si512(sums + x, _mm512_add_epi16(_mm512_add_epi16(g, g), g));
        }
    }
    sumPlain(p, bytesPerPixel, sums, sumAvx2(p, bytesPerPixel, sums, x, width), width);
}

// Almost no pixel is a ridge, so sixteen are tested at once and the rare hits are looked at one
// by one. Sums are at most 765, so their differences fit 16-bit lanes.
AVX2 int findAvx2(const std::uint16_t* mid, const std::uint16_t* a, const std::uint16_t* b, int count, int threshold, std::int32_t* hits)
{
    const __m256i limit = _mm256_set1_epi16(static_cast<short>(threshold));
    int i = 0, found = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid + i));
        const __m256i da = _mm256_sub_epi16(m, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i)));
        const __m256i db = _mm256_sub_epi16(m, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i)));
        for (auto bits = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpgt_epi16(_mm256_min_epi16(da, db), limit))); bits;
             bits &= ~(3u << __builtin_ctz(bits)))
            hits[found++] = i + __builtin_ctz(bits) / 2;
    }
    // The compiler leaves the upper halves of the registers dirty here, and every scalar
    // instruction after would pay for it.
    _mm256_zeroupper();
    const int tail = findPlain(mid + i, a + i, b + i, count - i, threshold, hits + found);
    for (int k = found; k < found + tail; ++k)
        hits[k] += i;
    return found + tail;
}

AVX512 int findAvx512(const std::uint16_t* mid, const std::uint16_t* a, const std::uint16_t* b, int count, int threshold, std::int32_t* hits)
{
    const __m512i limit = _mm512_set1_epi16(static_cast<short>(threshold));
    int i = 0, found = 0;
    for (; i + 32 <= count; i += 32) {
        const __m512i m = _mm512_loadu_si512(mid + i);
        const __m512i least = _mm512_min_epi16(_mm512_sub_epi16(m, _mm512_loadu_si512(a + i)), _mm512_sub_epi16(m, _mm512_loadu_si512(b + i)));
        for (std::uint32_t bits = _mm512_cmpgt_epi16_mask(least, limit); bits; bits &= bits - 1)
            hits[found++] = i + __builtin_ctz(bits);
    }
    _mm256_zeroupper();
    const int tail = findAvx2(mid + i, a + i, b + i, count - i, threshold, hits + found);
    for (int k = found; k < found + tail; ++k)
        hits[k] += i;
    return found + tail;
}

#endif

void sumWithPlain(const std::uint8_t* p, int bytesPerPixel, std::uint16_t* sums, int width)
{
    sumPlain(p, bytesPerPixel, sums, 0, width);
}

std::vector<RidgeSteps::Reading> readingsOfThisProcessor()
{
    std::vector<RidgeSteps::Reading> readings = {{"plain", sumWithPlain, findPlain}};
#ifdef SLOPEMETER_X86
    if (HasAvx2())
        readings.push_back({"AVX2", sumWithAvx2, findAvx2});
    if (HasAvx512())
        readings.push_back({"AVX-512", sumWithAvx512, findAvx512});
#endif
    return readings;
}

}

namespace RidgeSteps {

const std::vector<Reading>& Readings()
{
    static const std::vector<Reading> readings = readingsOfThisProcessor();
    return readings;
}

}
