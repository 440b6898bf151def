// The streaming part of LineFit: each row is summed over its channels into a small ring of
// rows, and a pixel is a ridge pixel where it stands out above the pixels Reach away on both
// sides, along its row (for steep lines) and down its column, Reach rows back (for level ones).
// Runs of ridge pixels give one sub-pixel centre each; only the strongest few a row or column
// are kept.

#include "LineFit.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LINEFIT_X86 1
#define LINEFIT_AVX2 __attribute__((target("avx2")))
#endif

namespace {

bool HasAvx2()
{
#ifdef LINEFIT_X86
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
#else
    return false;
#endif
}

void keepStrongest(LineSample* kept, double across, float strength)
{
    int weakest = 0;
    for (int i = 1; i < LineFit::Kept; ++i)
        if (kept[i].strength < kept[weakest].strength)
            weakest = i;
    if (strength > kept[weakest].strength)
        kept[weakest] = {across, strength};
}

// The centre of the ridge whose run of ridge pixels is [first, last], of the values v(i) valid
// for i in [begin, end): intensity-weighted over a straight background through two pixels
// beyond each side. The window reaches well past the run, so that a thin line's partly covered
// pixels count with their true weight and its centre is not drawn to the pixel centres.
template <class Value>
double ridgeCentre(Value v, int begin, int end, int first, int last)
{
    const int grow = std::clamp((last - first + 1) / 2, 2, 4);
    const int lo = std::max(first - grow, begin), hi = std::min(last + grow, end - 1);
    double leftSum = 0, rightSum = 0;
    int leftCount = 0, rightCount = 0;
    for (int i = std::max(lo - 2, begin); i < lo; ++i, ++leftCount)
        leftSum += v(i);
    for (int i = hi + 1; i <= std::min(hi + 2, end - 1); ++i, ++rightCount)
        rightSum += v(i);
    double left = 0, right = 0;
    if (leftCount && rightCount) {
        left = leftSum / leftCount;
        right = rightSum / rightCount;
    } else if (leftCount || rightCount) {
        left = right = (leftSum + rightSum) / (leftCount + rightCount);
    } else {
        left = right = v(lo);
        for (int i = lo; i <= hi; ++i)
            left = right = std::min<double>(left, v(i));
    }
    const double leftAt = lo - 1.5, span = (hi + 1.5) - leftAt;
    double sum = 0, moment = 0;
    for (int i = lo; i <= hi; ++i) {
        const double w = v(i) - (left + (right - left) * (i - leftAt) / span);
        if (w > 0) {
            sum += w;
            moment += w * (i - first);
        }
    }
    return sum > 0 ? first + moment / sum : 0.5 * (first + last);
}

// Calls onRidge(i, weight) for each i in [0, count) where mid[i] stands more than `threshold`
// above both a[i] and b[i]; weight is by how much, summed over both sides. Both sides, not
// their mean: just inside the edge of a wide bright area one side is as bright, and that is no
// line.
template <class OnRidge>
void findRidgesPlain(const std::uint16_t* mid, const std::uint16_t* a, const std::uint16_t* b, int count, int threshold, OnRidge& onRidge)
{
    for (int i = 0; i < count; ++i) {
        const int da = mid[i] - a[i], db = mid[i] - b[i];
        if (std::min(da, db) > threshold)
            onRidge(i, da + db - 2 * threshold);
    }
}

#ifdef LINEFIT_X86
// Almost no pixel is a ridge, so sixteen are tested at once and the rare hits are looked at one
// by one.
template <class OnRidge>
LINEFIT_AVX2 void findRidgesAvx2(const std::uint16_t* mid, const std::uint16_t* a, const std::uint16_t* b, int count, int threshold, OnRidge& onRidge)
{
    const __m256i limit = _mm256_set1_epi16(static_cast<short>(threshold));
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid + i));
        const __m256i da = _mm256_sub_epi16(m, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i)));
        const __m256i db = _mm256_sub_epi16(m, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i)));
        auto hits = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpgt_epi16(_mm256_min_epi16(da, db), limit)));
        while (hits) {
            const int bit = __builtin_ctz(hits);
            hits &= ~(3u << bit);
            const int j = i + bit / 2;
            onRidge(j, 2 * mid[j] - a[j] - b[j] - 2 * threshold);
        }
    }
    auto tail = [&](int j, int weight) { onRidge(i + j, weight); };
    findRidgesPlain(mid + i, a + i, b + i, count - i, threshold, tail);
}
#endif

template <class OnRidge>
void findRidges(const std::uint16_t* mid, const std::uint16_t* a, const std::uint16_t* b, int count, int threshold, OnRidge onRidge)
{
    if (count <= 0)
        return;
#ifdef LINEFIT_X86
    if (HasAvx2()) {
        findRidgesAvx2(mid, a, b, count, threshold, onRidge);
        return;
    }
#endif
    findRidgesPlain(mid, a, b, count, threshold, onRidge);
}

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

#ifdef LINEFIT_X86
// Returns how many pixels from the start were summed; the rest are left to the plain loop.
LINEFIT_AVX2 int sumAvx2(const std::uint8_t* p, int bytesPerPixel, std::uint16_t* sums, int width)
{
    int x = 0;
    if (bytesPerPixel == 3) {
        // Each 16-byte half shuffles eight pixels of its own: the first five from one load, the
        // last three from one eight bytes on; the first two bytes of a pixel go as a pair.
        constexpr char n = -128;
        const __m256i pairA = _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 12, 13, n, n, n, n, n, n));
        const __m256i pairB = _mm256_broadcastsi128_si256(_mm_setr_epi8(n, n, n, n, n, n, n, n, n, n, 7, 8, 10, 11, 13, 14));
        const __m256i lastA = _mm256_broadcastsi128_si256(_mm_setr_epi8(2, n, 5, n, 8, n, 11, n, 14, n, n, n, n, n, n, n));
        const __m256i lastB = _mm256_broadcastsi128_si256(_mm_setr_epi8(n, n, n, n, n, n, n, n, n, n, 9, n, 12, n, 15, n));
        const __m256i ones = _mm256_set1_epi8(1);
        for (; x + 16 <= width; x += 16) {
            const std::uint8_t* q = p + 3 * static_cast<std::size_t>(x);
            const __m256i a = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(q + 24), reinterpret_cast<const __m128i*>(q));
            const __m256i b = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(q + 32), reinterpret_cast<const __m128i*>(q + 8));
            const __m256i pair = _mm256_or_si256(_mm256_shuffle_epi8(a, pairA), _mm256_shuffle_epi8(b, pairB));
            const __m256i last = _mm256_or_si256(_mm256_shuffle_epi8(a, lastA), _mm256_shuffle_epi8(b, lastB));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x), _mm256_add_epi16(_mm256_maddubs_epi16(pair, ones), last));
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
#endif

} // namespace

LineFit::LineFit(int width, int height, int level)
    : width_(std::max(width, 0)), height_(width > 0 ? std::max(height, 0) : 0),
      // The mean of three channels standing level/2 above the background on both sides.
      threshold_(std::max(24, (3 * std::clamp(level, 0, 255) + 1) / 2))
{
    if (height_ == 0)
        return;
    ring_.assign(static_cast<std::size_t>(RingRows) * width_, 0);
    open_.assign(width_, OpenRun{});
    columnSamples_.assign(static_cast<std::size_t>(width_) * Kept, LineSample{});
}

void LineFit::sumRow(const std::uint8_t* pixels, int bytesPerPixel, std::uint16_t* sums) const
{
    int done = 0;
#ifdef LINEFIT_X86
    if (HasAvx2())
        done = sumAvx2(pixels, bytesPerPixel, sums, width_);
#endif
    sumPlain(pixels, bytesPerPixel, sums, done, width_);
}

void LineFit::AddRow(const std::uint8_t* pixels, int bytesPerPixel)
{
    if (!pixels || finished_ || rows_ >= height_ || (bytesPerPixel != 1 && bytesPerPixel != 3 && bytesPerPixel != 4))
        return;
    const int row = rows_;
    std::uint16_t* sums = ringRow(row);
    sumRow(pixels, bytesPerPixel, sums);
    scanAcross(sums, row);
    ++rows_;
    const int mid = row - Reach;
    if (mid >= 0) {
        scanDown(mid, mid >= Reach ? ringRow(mid - Reach) : nullptr, sums);
        scannedDown_ = mid + 1;
    }
}

void LineFit::scanAcross(const std::uint16_t* sums, int row)
{
    rowSamples_.resize(static_cast<std::size_t>(row + 1) * Kept);
    LineSample* kept = rowSamples_.data() + static_cast<std::size_t>(row) * Kept;
    int first = 0, last = -1000, weight = 0;
    auto close = [&] {
        if (weight > 0)
            keepStrongest(kept, ridgeCentre([&](int i) { return sums[i]; }, 0, width_, first, last), static_cast<float>(weight));
    };
    auto ridge = [&](int x, int w) {
        if (x > last + 2) {
            close();
            first = x;
            weight = 0;
        }
        last = x;
        weight += w;
    };
    // Near the ends of the row only one side can be compared with.
    const int w = width_;
    const int leftEnd = std::min(Reach, w - Reach);
    findRidges(sums, sums + Reach, sums + Reach, leftEnd, threshold_, ridge);
    if (w - Reach > Reach)
        findRidges(sums + Reach, sums, sums + 2 * Reach, w - 2 * Reach, threshold_, [&](int i, int v) { ridge(i + Reach, v); });
    const int rightBegin = std::max(Reach, w - Reach);
    if (rightBegin < w)
        findRidges(sums + rightBegin, sums + rightBegin - Reach, sums + rightBegin - Reach, w - rightBegin, threshold_,
                   [&](int i, int v) { ridge(i + rightBegin, v); });
    close();
}

void LineFit::scanDown(int row, const std::uint16_t* above, const std::uint16_t* below)
{
    if (!above)
        above = below;
    if (!below)
        below = above;
    if (above)
        findRidges(ringRow(row), above, below, width_, threshold_, [&](int x, int w) { ridgeInColumn(x, row, w); });
    closeStaleRuns(row);
}

void LineFit::ridgeInColumn(int x, int row, int weight)
{
    OpenRun& run = open_[x];
    if (run.last >= row - 2) {
        run.last = row;
        run.weight += weight;
        return;
    }
    run = {row, row, weight};
    openColumns_.push_back(x);
}

// A run is closed as soon as it cannot grow, while its rows and their background are still in
// the ring.
void LineFit::closeStaleRuns(int row)
{
    for (std::size_t i = 0; i < openColumns_.size();) {
        const int x = openColumns_[i];
        if (open_[x].last < row - 1) {
            closeColumnRun(x);
            openColumns_[i] = openColumns_.back();
            openColumns_.pop_back();
        } else {
            ++i;
        }
    }
}

void LineFit::closeColumnRun(int x)
{
    OpenRun& run = open_[x];
    const int begin = std::max(0, rows_ - RingRows);
    const double centre = ridgeCentre([&](int y) { return ringRow(y)[x]; }, begin, rows_, run.first, run.last);
    keepStrongest(columnSamples_.data() + static_cast<std::size_t>(x) * Kept, centre, static_cast<float>(run.weight));
    run = OpenRun{};
}

std::optional<FittedLine> LineFit::Finish()
{
    if (finished_)
        return result_;
    finished_ = true;
    // The last rows have nothing below them; they are compared with the rows above only.
    for (int row = scannedDown_; row < rows_; ++row)
        scanDown(row, row >= Reach ? ringRow(row - Reach) : nullptr, row + Reach < rows_ ? ringRow(row + Reach) : nullptr);
    for (const int x : openColumns_)
        closeColumnRun(x);
    openColumns_.clear();

    std::vector<LinePoint> points;
    for (int x = 0; x < width_; ++x)
        for (int k = 0; k < Kept; ++k)
            if (const LineSample& s = columnSamples_[static_cast<std::size_t>(x) * Kept + k]; s.strength > 0)
                points.push_back({static_cast<double>(x), s.across, s.strength});
    std::optional<FittedLine> down = FitPoints(std::move(points));
    points.clear();
    // A line leaves about one centre in each row it crosses, so when the centres down the
    // columns found more than there are rows, the rows cannot find a better line.
    for (int y = 0; y < (down && down->samples > rows_ ? 0 : rows_); ++y)
        for (int k = 0; k < Kept; ++k)
            if (const LineSample& s = rowSamples_[static_cast<std::size_t>(y) * Kept + k]; s.strength > 0)
                points.push_back({s.across, static_cast<double>(y), s.strength});
    std::optional<FittedLine> across = FitPoints(std::move(points));
    // A line crosses more columns than rows when it is nearer level than upright, and then the
    // centres down the columns are the ones to trust; the count of inliers tells which.
    if (down && across)
        result_ = (down->samples > across->samples || (down->samples == across->samples && down->rms <= across->rms)) ? down : across;
    else
        result_ = down ? down : across;
    // What a fit hands on is written out as numbers, where a NaN or an infinity has no place.
    if (result_) {
        const FittedLine& f = *result_;
        const double values[] = {f.angle, f.slope.value_or(0), f.centreX, f.centreY, f.x1, f.y1, f.x2, f.y2, f.rms, f.angleSd};
        if (!std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); }))
            result_.reset();
    }
    return result_;
}
