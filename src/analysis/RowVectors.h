#pragma once

// What the vector readings of pixel rows share: the processor's features and the AVX2 steps
// that gather bytes of three-byte pixels and find which are white. Only the readings' own sources include this.

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

}

#endif
