#pragma once

// What the vector readings of pixel rows share: the processor's features and the AVX2 steps
// that gather bytes of three-byte pixels. Only the readings' own sources include this.

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

}

#endif
