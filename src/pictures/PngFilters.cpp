#include "PngFilters.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

enum Filter : std::uint8_t {
    None,
    Sub,
    Up,
    Average,
    Paeth
};

#if defined(__SSE2__)

// Each pixel depends on the one before it through Sub, Average and Paeth, so those go a pixel at
// a time with its channels side by side in one register; Up has no such chain and goes sixteen
// bytes at a time.
struct Vectors {
    static __m128i load(const std::uint8_t* at)
    {
        std::int32_t bytes;
        std::memcpy(&bytes, at, sizeof bytes);
        return _mm_cvtsi32_si128(bytes);
    }

    static void store(std::uint8_t* at, __m128i pixel)
    {
        const std::int32_t bytes = _mm_cvtsi128_si32(pixel);
        std::memcpy(at, &bytes, sizeof bytes);
    }

    static void undoUp(const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row, std::size_t length)
    {
        for (std::size_t i = 0; i < length; i += 16) {
            const __m128i sum = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(filtered + i)),
                                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(prior + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), sum);
        }
    }

    static void undoSub(const std::uint8_t* filtered, std::uint8_t* row, std::size_t length, int step)
    {
        __m128i left = _mm_setzero_si128();
        for (std::size_t i = 0; i < length; i += step) {
            left = _mm_add_epi8(left, load(filtered + i));
            store(row + i, left);
        }
    }

    static void undoAverage(const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row, std::size_t length,
                            int step)
    {
        const __m128i ones = _mm_set1_epi8(1);
        __m128i left = _mm_setzero_si128();
        for (std::size_t i = 0; i < length; i += step) {
            const __m128i above = load(prior + i);
            // _mm_avg_epu8 rounds halves up; PNG's mean rounds down.
            const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(left, above), _mm_and_si128(_mm_xor_si128(left, above), ones));
            left = _mm_add_epi8(mean, load(filtered + i));
            store(row + i, left);
        }
    }

    static __m128i absolute(__m128i value)
    {
        return _mm_max_epi16(value, _mm_sub_epi16(_mm_setzero_si128(), value));
    }

    static __m128i choose(__m128i mask, __m128i whenSet, __m128i otherwise)
    {
        return _mm_or_si128(_mm_and_si128(mask, whenSet), _mm_andnot_si128(mask, otherwise));
    }

    // Channels are widened to 16 bits, where the predictor's sums cannot overflow.
    static void undoPaeth(const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row, std::size_t length,
                          int step)
    {
        const __m128i zero = _mm_setzero_si128();
        __m128i left = zero;
        __m128i aboveLeft = zero;
        for (std::size_t i = 0; i < length; i += step) {
            const __m128i above = _mm_unpacklo_epi8(load(prior + i), zero);
            const __m128i towardsLeft = _mm_sub_epi16(above, aboveLeft);
            const __m128i towardsAbove = _mm_sub_epi16(left, aboveLeft);
            const __m128i leftDistance = absolute(towardsLeft);
            const __m128i aboveDistance = absolute(towardsAbove);
            const __m128i cornerDistance = absolute(_mm_add_epi16(towardsLeft, towardsAbove));
            const __m128i nearest = _mm_min_epi16(cornerDistance, _mm_min_epi16(leftDistance, aboveDistance));
            // Ties go to the left, then to the one above.
            const __m128i predicted = choose(_mm_cmpeq_epi16(nearest, leftDistance), left,
                                             choose(_mm_cmpeq_epi16(nearest, aboveDistance), above, aboveLeft));
            const __m128i pixel = _mm_add_epi8(_mm_packus_epi16(predicted, predicted), load(filtered + i));
            store(row + i, pixel);
            left = _mm_unpacklo_epi8(pixel, zero);
            aboveLeft = above;
        }
    }
};

#endif

// Byte by byte: where no vector unit is known, and for the tests to hold the vectors to.
struct Plain {
    static void undoUp(const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row, std::size_t length)
    {
        for (std::size_t i = 0; i < length; ++i)
            row[i] = std::uint8_t(filtered[i] + prior[i]);
    }

    static void undoSub(const std::uint8_t* filtered, std::uint8_t* row, std::size_t length, int step)
    {
        for (std::size_t i = 0; i < length; ++i)
            row[i] = std::uint8_t(filtered[i] + (i >= std::size_t(step) ? row[i - step] : 0));
    }

    static void undoAverage(const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row, std::size_t length,
                            int step)
    {
        for (std::size_t i = 0; i < length; ++i)
            row[i] = std::uint8_t(filtered[i] + ((i >= std::size_t(step) ? row[i - step] : 0) + prior[i]) / 2);
    }

    static void undoPaeth(const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row, std::size_t length,
                          int step)
    {
        for (std::size_t i = 0; i < length; ++i) {
            const int left = i >= std::size_t(step) ? row[i - step] : 0;
            const int aboveLeft = i >= std::size_t(step) ? prior[i - step] : 0;
            const int above = prior[i];
            const int leftDistance = above > aboveLeft ? above - aboveLeft : aboveLeft - above;
            const int aboveDistance = left > aboveLeft ? left - aboveLeft : aboveLeft - left;
            const int sum = left + above - 2 * aboveLeft;
            const int cornerDistance = sum < 0 ? -sum : sum;
            const int predicted = leftDistance <= aboveDistance && leftDistance <= cornerDistance ? left
                : aboveDistance <= cornerDistance                                                 ? above
                                                                                                  : aboveLeft;
            row[i] = std::uint8_t(filtered[i] + predicted);
        }
    }
};

template <class Way>
bool undo(std::uint8_t filter, const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row,
          std::size_t length, int bytesPerPixel)
{
    switch (filter) {
    case None:
        std::memcpy(row, filtered, length);
        return true;
    case Sub:
        Way::undoSub(filtered, row, length, bytesPerPixel);
        return true;
    case Up:
        Way::undoUp(filtered, prior, row, length);
        return true;
    case Average:
        Way::undoAverage(filtered, prior, row, length, bytesPerPixel);
        return true;
    case Paeth:
        Way::undoPaeth(filtered, prior, row, length, bytesPerPixel);
        return true;
    default:
        return false;
    }
}

}

namespace PngFilters {

bool Undo(std::uint8_t filter, const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row,
          std::size_t length, int bytesPerPixel)
{
#if defined(__SSE2__)
    return undo<Vectors>(filter, filtered, prior, row, length, bytesPerPixel);
#else
    return undo<Plain>(filter, filtered, prior, row, length, bytesPerPixel);
#endif
}

bool UndoPlain(std::uint8_t filter, const std::uint8_t* filtered, const std::uint8_t* prior, std::uint8_t* row,
               std::size_t length, int bytesPerPixel)
{
    return undo<Plain>(filter, filtered, prior, row, length, bytesPerPixel);
}

}
