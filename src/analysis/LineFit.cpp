// The streaming part of LineFit: each row is summed over its channels into a small ring of
// rows, and a pixel is a ridge pixel where it stands out above the pixels Reach away on both
// sides, along its row (for steep lines) and down its column, Reach rows back (for level ones).
// Runs of ridge pixels give one sub-pixel centre each; only the strongest few a row or column
// are kept.

#include "LineFit.h"

#include "RidgeSteps.h"

#include <algorithm>
#include <cmath>

namespace {

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
// above both a[i] and b[i]; weight is by how much, summed over both sides.
template <class OnRidge>
void findRidges(const std::uint16_t* mid, const std::uint16_t* a, const std::uint16_t* b, int count, int threshold, std::int32_t* hits,
                OnRidge onRidge)
{
    if (count <= 0)
        return;
    const int found = RidgeSteps::Fastest().FindRidges(mid, a, b, count, threshold, hits);
    for (int k = 0; k < found; ++k) {
        const int i = hits[k];
        onRidge(i, 2 * mid[i] - a[i] - b[i] - 2 * threshold);
    }
}

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
    hits_.assign(width_, 0);
    // Grown a row at a time, the samples would be moved to a larger block again and again.
    rowSamples_.reserve(static_cast<std::size_t>(std::min(height_, 4096)) * Kept);
    columnSamples_.assign(static_cast<std::size_t>(width_) * Kept, LineSample{});
}

void LineFit::AddRow(const std::uint8_t* pixels, int bytesPerPixel)
{
    if (!pixels || finished_ || rows_ >= height_ || (bytesPerPixel != 1 && bytesPerPixel != 3 && bytesPerPixel != 4))
        return;
    const int row = rows_;
    std::uint16_t* sums = ringRow(row);
    RidgeSteps::Fastest().SumRow(pixels, bytesPerPixel, sums, width_);
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
    findRidges(sums, sums + Reach, sums + Reach, leftEnd, threshold_, hits_.data(), ridge);
    if (w - Reach > Reach)
        findRidges(sums + Reach, sums, sums + 2 * Reach, w - 2 * Reach, threshold_, hits_.data(), [&](int i, int v) { ridge(i + Reach, v); });
    const int rightBegin = std::max(Reach, w - Reach);
    if (rightBegin < w)
        findRidges(sums + rightBegin, sums + rightBegin - Reach, sums + rightBegin - Reach, w - rightBegin, threshold_, hits_.data(),
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
        findRidges(ringRow(row), above, below, width_, threshold_, hits_.data(), [&](int x, int w) { ridgeInColumn(x, row, w); });
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
