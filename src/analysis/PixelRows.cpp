#include "PixelRows.h"

#include "RowVectors.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// A pixel is white only when all three bytes are 255.
inline bool isWhite(const std::uint8_t* pixel)
{
    return pixel[0] == 0xFF && pixel[1] == 0xFF && pixel[2] == 0xFF;
}

// Pixels are looked at in blocks; a block with no 0xFF byte at all cannot hold a white pixel.
// The largest byte of the block tells, in a few vector instructions on any processor the
// compiler knows.
constexpr int blockPixels = 32;
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));

inline bool mayHoldWhite(const std::uint8_t* bytes)
{
    Bytes16 largest;
    std::memcpy(&largest, bytes, sizeof largest);
#pragma GCC unroll 6
    for (int i = 16; i < 3 * blockPixels; i += 16) {
        Bytes16 chunk;
        std::memcpy(&chunk, bytes + i, sizeof chunk);
        largest = chunk > largest ? chunk : largest;
    }
    const Bytes16 full = Bytes16(largest == 0xFF);
    std::uint64_t halves[2];
    std::memcpy(halves, &full, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

void binarizePlainly(const std::uint8_t* in, std::uint8_t* out, int width, int threshold)
{
    for (int c = 0; c < width; ++c) {
        const int sum = in[3 * c] + in[3 * c + 1] + in[3 * c + 2];
        const std::uint8_t value = sum >= threshold ? 0xFF : 0x00;
        out[3 * c] = value;
        out[3 * c + 1] = value;
        out[3 * c + 2] = value;
    }
}

#ifdef SLOPEMETER_X86

// The vector readings sum each pixel's three bytes in a 16-bit lane (whiteBytesOf32 for AVX2);
// after the comparison, each pixel's answer is spread back over its three bytes. Sums are at most 765, so 16-bit lanes compare
// them exactly against threshold - 1. A row's last pixels are done again with the block that
// ends the row: the same bytes land twice.
using namespace RowVectors;

AVX2 inline void storeHalves(std::uint8_t* low, std::uint8_t* high, __m256i bytes)
{
    _mm256_storeu2_m128i(reinterpret_cast<__m128i*>(high), reinterpret_cast<__m128i*>(low), bytes);
}

AVX2 void binarizeWithAvx2(const std::uint8_t* in, std::uint8_t* out, int width, int threshold)
{
    if (width < 32) {
        binarizePlainly(in, out, width, threshold);
        return;
    }
    const __m256i below = _mm256_set1_epi16(short(threshold - 1));
    const __m256i spread0 = inBothHalves(_mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5));
    const __m256i spread1 = inBothHalves(_mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10));
    const __m256i spread2 = inBothHalves(_mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15));
    for (int next = 0; next < width; next += 32) {
        const int x = std::min(next, width - 32);
        const std::uint8_t* p = in + 3 * x;
        const __m256i white = whiteBytesOf32(p, below);
        std::uint8_t* q = out + 3 * x;
        storeHalves(q, q + 48, _mm256_shuffle_epi8(white, spread0));
        storeHalves(q + 16, q + 64, _mm256_shuffle_epi8(white, spread1));
        storeHalves(q + 32, q + 80, _mm256_shuffle_epi8(white, spread2));
    }
}

// With AVX-512 byte permutes reaching across two whole registers, 64 pixels (192 bytes) go at
// once, their sums as the white mask takes them; each pixel's answer is then spread to its
// three bytes.
constexpr Pattern64 spreadPattern(int firstByte)
{
    Pattern64 pattern{};
    for (int i = 0; i < 64; ++i)
        pattern[std::size_t(i)] = std::uint8_t((firstByte + i) / 3);
    return pattern;
}

alignas(64) constexpr Pattern64 spreadFirst = spreadPattern(0);
alignas(64) constexpr Pattern64 spreadSecond = spreadPattern(64);
alignas(64) constexpr Pattern64 spreadThird = spreadPattern(128);

AVX512 void binarizeWithAvx512(const std::uint8_t* in, std::uint8_t* out, int width, int threshold)
{
    if (width < 64) {
        binarizeWithAvx2(in, out, width, threshold);
        return;
    }
    const __m512i below = _mm512_set1_epi16(short(threshold - 1));
    const __mmask64 allBytes = ~0ull;
    const __m512i spread0 = loadPattern(spreadFirst), spread1 = loadPattern(spreadSecond), spread2 = loadPattern(spreadThird);
    for (int next = 0; next < width; next += 64) {
        const int x = std::min(next, width - 64);
        __m512i sumsLow, sumsHigh;
        threeByteSumsOf64(in + 3 * x, sumsLow, sumsHigh);
        const __mmask64 whiteLow = _mm512_cmpgt_epi16_mask(sumsLow, below);
        const __mmask64 whiteHigh = _mm512_cmpgt_epi16_mask(sumsHigh, below);
        const __m512i white = _mm512_movm_epi8(whiteHigh << 32 | whiteLow);
        // The zero-masking form with every byte kept: GCC 12 warns about the plain form's
        // undefined pass-through register.
        std::uint8_t* q = out + 3 * x;
        _mm512_storeu_si512(q, _mm512_maskz_permutexvar_epi8(allBytes, spread0, white));
        _mm512_storeu_si512(q + 64, _mm512_maskz_permutexvar_epi8(allBytes, spread1, white));
        _mm512_storeu_si512(q + 128, _mm512_maskz_permutexvar_epi8(allBytes, spread2, white));
    }
}

std::vector<PixelRows::BinarizeReading> readingsOfThisProcessor()
{
    std::vector<PixelRows::BinarizeReading> readings = {{"plain", binarizePlainly}};
    if (HasAvx2())
        readings.push_back({"AVX2", binarizeWithAvx2});
    if (HasAvx512())
        readings.push_back({"AVX-512", binarizeWithAvx512});
    return readings;
}

#else

std::vector<PixelRows::BinarizeReading> readingsOfThisProcessor()
{
    return {{"plain", binarizePlainly}};
}

#endif

}

namespace PixelRows {

const std::vector<BinarizeReading>& BinarizeReadings()
{
    static const std::vector<BinarizeReading> readings = readingsOfThisProcessor();
    return readings;
}

void Binarize(const std::uint8_t* in, std::uint8_t* out, int width, int threshold)
{
    static const auto fastest = BinarizeReadings().back().Binarize;
    fastest(in, out, width, threshold);
}

int FirstWhite(const std::uint8_t* row, int end)
{
    int x = 0;
    for (; x + blockPixels <= end; x += blockPixels) {
        if (!mayHoldWhite(row + 3 * x))
            continue;
        for (int i = x; i < x + blockPixels; ++i)
            if (isWhite(row + 3 * i))
                return i;
    }
    for (; x < end; ++x)
        if (isWhite(row + 3 * x))
            return x;
    return -1;
}

int LastWhite(const std::uint8_t* row, int begin, int end)
{
    int x = end;
    for (; x - blockPixels >= begin; x -= blockPixels) {
        if (!mayHoldWhite(row + 3 * (x - blockPixels)))
            continue;
        for (int i = x - 1; i >= x - blockPixels; --i)
            if (isWhite(row + 3 * i))
                return i;
    }
    for (--x; x >= begin; --x)
        if (isWhite(row + 3 * x))
            return x;
    return -1;
}

}
