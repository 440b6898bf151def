#pragma once

// What the vector readings of pixel rows share: the processor's features, the AVX2 steps that
// gather bytes of three-byte pixels and find which are white, and the AVX-512 sums of them.
// Only the readings' own sources include this.

#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SLOPEMETER_X86 1
#endif

#ifdef SLOPEMETER_X86

#define AVX2 __attribute__((target("avx2")))
#define AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))

namespace RowVectors {

// A shuffle index that gives a zero byte.
constexpr char none = -128;

inline bool HasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

inline bool HasAvx512()
{
    return HasAvx2() && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
}

AVX2 inline __m256i inBothHalves(__m128i pattern)
{
    return _mm256_broadcastsi128_si256(pattern);
}

AVX2 inline __m256i gather(__m256i first, __m256i firstPattern, __m256i second, __m256i secondPattern)
{
    return _mm256_or_si256(_mm256_shuffle_epi8(first, firstPattern), _mm256_shuffle_epi8(second, secondPattern));
}

// AVX2 shuffles bytes only within each 16-byte half of a register, so each half works on a
// 48-byte stretch of 16 pixels of its own.
AVX2 inline __m256i loadHalves(const std::uint8_t* low, const std::uint8_t* high)
{
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(high), reinterpret_cast<const __m128i*>(low));
}


// Whether each of 32 three-byte pixels from p is white, its three bytes' sum above `below`
// (16-bit lanes), as one byte of all ones or all zeros a pixel, in pixel order. Pixels 0-15 are
// read in the low halves, 16-31 in the high ones; blue and green are gathered into a pair and red
// into a 16-bit lane, so that one multiply-add and one add give the sums.
AVX2 inline __m256i whiteBytesOf32(const std::uint8_t* p, __m256i below)
{
    const __m256i ones = _mm256_set1_epi8(1);
    const __m256i blueGreenLow0 = inBothHalves(_mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 12, 13, 15, none, none, none, none, none));
    const __m256i blueGreenLow1 = inBothHalves(_mm_setr_epi8(none, none, none, none, none, none, none, none, none, none, none, 0, 2, 3, 5, 6));
    const __m256i redLow0 = inBothHalves(_mm_setr_epi8(2, none, 5, none, 8, none, 11, none, 14, none, none, none, none, none, none, none));
    const __m256i redLow1 = inBothHalves(_mm_setr_epi8(none, none, none, none, none, none, none, none, none, none, 1, none, 4, none, 7, none));
    const __m256i blueGreenHigh1 = inBothHalves(_mm_setr_epi8(8, 9, 11, 12, 14, 15, none, none, none, none, none, none, none, none, none, none));
    const __m256i blueGreenHigh2 = inBothHalves(_mm_setr_epi8(none, none, none, none, none, none, 1, 2, 4, 5, 7, 8, 10, 11, 13, 14));
    const __m256i redHigh1 = inBothHalves(_mm_setr_epi8(10, none, 13, none, none, none, none, none, none, none, none, none, none, none, none, none));
    const __m256i redHigh2 = inBothHalves(_mm_setr_epi8(none, none, none, none, 0, none, 3, none, 6, none, 9, none, 12, none, 15, none));
    const __m256i bytes0 = loadHalves(p, p + 48);
    const __m256i bytes1 = loadHalves(p + 16, p + 64);
    const __m256i bytes2 = loadHalves(p + 32, p + 80);
    const __m256i sumsLow = _mm256_add_epi16(
        _mm256_maddubs_epi16(gather(bytes0, blueGreenLow0, bytes1, blueGreenLow1), ones),
        gather(bytes0, redLow0, bytes1, redLow1));
    const __m256i sumsHigh = _mm256_add_epi16(
        _mm256_maddubs_epi16(gather(bytes1, blueGreenHigh1, bytes2, blueGreenHigh2), ones),
        gather(bytes1, redHigh1, bytes2, redHigh2));
    return _mm256_packs_epi16(_mm256_cmpgt_epi16(sumsLow, below), _mm256_cmpgt_epi16(sumsHigh, below));
}

// Three-byte pixels: byte permutes across two registers gather each pixel's first two bytes
// into a pair and its third into a 16-bit lane, so one multiply-add and one add give the sums of
// 32 pixels. Sums are at most 765, so 16-bit lanes hold them exactly.
using Pattern64 = std::array<std::uint8_t, 64>;

constexpr Pattern64 pairPattern(int firstPixel, int firstByte, int byteInPixel)
{
    Pattern64 pattern{};
    for (int p = 0; p < 32; ++p) {
        pattern[std::size_t(2 * p)] = std::uint8_t(3 * (firstPixel + p) + byteInPixel - firstByte);
        pattern[std::size_t(2 * p + 1)] = std::uint8_t(3 * (firstPixel + p) + (byteInPixel == 0 ? 1 : 0) - firstByte);
    }
    return pattern;
}

alignas(64) inline constexpr Pattern64 pairsOfFirstHalf = pairPattern(0, 0, 0);
alignas(64) inline constexpr Pattern64 thirdsOfFirstHalf = pairPattern(0, 0, 2);
alignas(64) inline constexpr Pattern64 pairsOfSecondHalf = pairPattern(32, 64, 0);
alignas(64) inline constexpr Pattern64 thirdsOfSecondHalf = pairPattern(32, 64, 2);

AVX512 inline __m512i loadPattern(const Pattern64& pattern)
{
    return _mm512_load_si512(pattern.data());
}

// The sums of the three bytes of each of the 64 pixels (192 bytes) from p, pixels 0-31 in low and
// 32-63 in high, one 16-bit lane a pixel.
AVX512 inline void threeByteSumsOf64(const std::uint8_t* p, __m512i& low, __m512i& high)
{
    const __m512i ones = _mm512_set1_epi8(1);
    const __mmask64 lowBytes = 0x5555555555555555ull;
    const __m512i bytes0 = _mm512_loadu_si512(p);
    const __m512i bytes1 = _mm512_loadu_si512(p + 64);
    const __m512i bytes2 = _mm512_loadu_si512(p + 128);
    low = _mm512_add_epi16(_mm512_maddubs_epi16(_mm512_permutex2var_epi8(bytes0, loadPattern(pairsOfFirstHalf), bytes1), ones),
                           _mm512_maskz_permutex2var_epi8(lowBytes, bytes0, loadPattern(thirdsOfFirstHalf), bytes1));
    high = _mm512_add_epi16(_mm512_maddubs_epi16(_mm512_permutex2var_epi8(bytes1, loadPattern(pairsOfSecondHalf), bytes2), ones),
                            _mm512_maskz_permutex2var_epi8(lowBytes, bytes1, loadPattern(thirdsOfSecondHalf), bytes2));
}

}

#endif
