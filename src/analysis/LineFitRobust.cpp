// The robust part of LineFit: from line-centre samples, some of which are specks, noise or a
// second line, to the one line and how sure it is.

#include "LineFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr int MinSamples = 6;
// How far from a trial line a sample may lie and still vote for it, pixels.
constexpr double VoteDistance = 1.5;
// The least scale of the residuals the weights assume: pictures without noise still have
// residuals of a few hundredths of a pixel from the pixel grid.
constexpr double LeastScale = 0.03;
constexpr double Tukey = 4.685;
constexpr int MinTrials = 16;
constexpr int MaxTrials = 300;

struct Line {
    double cx, cy; // a point on it
    double dx, dy; // unit direction
    double distance(const LinePoint& p) const { return (p.y - cy) * dx - (p.x - cx) * dy; }
    double along(const LinePoint& p) const { return (p.x - cx) * dx + (p.y - cy) * dy; }
};

// Sums of a weighted set of points, relative to a fixed origin so that large coordinates lose
// no precision.
struct Moments {
    double w = 0, x = 0, y = 0, xx = 0, xy = 0, yy = 0;
    void add(double px, double py, double weight)
    {
        w += weight;
        x += weight * px;
        y += weight * py;
        xx += weight * px * px;
        xy += weight * px * py;
        yy += weight * py * py;
    }
    Moments operator-(const Moments& o) const { return {w - o.w, x - o.x, y - o.y, xx - o.xx, xy - o.xy, yy - o.yy}; }
    // The direction of least perpendicular spread, as an angle in picture coordinates.
    double direction() const
    {
        const double mx = x / w, my = y / w;
        return 0.5 * std::atan2(2 * (xy / w - mx * my), (xx / w - mx * mx) - (yy / w - my * my));
    }
};

// The line of least perpendicular spread through the points, each weighted by weightOf(i).
template <class WeightOf>
Line fitWeighted(const std::vector<LinePoint>& points, WeightOf weightOf, double ox, double oy)
{
    Moments m;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (const double w = weightOf(i); w > 0)
            m.add(points[i].x - ox, points[i].y - oy, w);
    const double phi = m.direction();
    return {ox + m.x / m.w, oy + m.y / m.w, std::cos(phi), std::sin(phi)};
}

// The k-th smallest of the values in [0, limit) among `values`, exactly, where a sort or a
// selection over all of them would cost most of the fit: they are counted into bins, and only
// those in the bin that holds the k-th are looked at one by one.
class BinnedSelection {
public:
    explicit BinnedSelection(double limit)
        : limit_(limit) {}

    void clear()
    {
        counts_.fill(0);
        total_ = 0;
    }
    void add(double value)
    {
        if (value < limit_) {
            ++counts_[bin(value)];
            ++total_;
        }
    }
    std::size_t size() const { return total_; }
    // values: every value offered to add since clear, in any order; and perhaps others.
    template <class Values>
    double kthSmallest(std::size_t k, Values values)
    {
        std::size_t before = 0, b = 0;
        while (before + counts_[b] <= k)
            before += counts_[b++];
        inBin_.clear();
        values([&](double value) {
            if (value < limit_ && bin(value) == b)
                inBin_.push_back(value);
        });
        std::nth_element(inBin_.begin(), inBin_.begin() + std::ptrdiff_t(k - before), inBin_.end());
        return inBin_[k - before];
    }

private:
    static constexpr std::size_t Bins = 512;
    std::size_t bin(double value) const { return std::min(Bins - 1, static_cast<std::size_t>(value * (double(Bins) / limit_))); }

    double limit_;
    std::array<std::size_t, Bins> counts_{};
    std::size_t total_ = 0;
    std::vector<double> inBin_;
};

double wrapHalfTurn(double a)
{
    while (a > std::numbers::pi / 2)
        a -= std::numbers::pi;
    while (a <= -std::numbers::pi / 2)
        a += std::numbers::pi;
    return a;
}

// The trial line through two samples that most samples lie near, by random pairs.
std::optional<Line> vote(const std::vector<LinePoint>& points)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, points.size() - 1);
    // Counting votes on a fixed random share is enough to tell the line from the rest.
    std::vector<std::size_t> voters;
    const std::size_t voterCount = std::min<std::size_t>(points.size(), 1500);
    if (voterCount == points.size()) {
        voters.resize(points.size());
        for (std::size_t i = 0; i < voters.size(); ++i)
            voters[i] = i;
    } else {
        for (std::size_t i = 0; i < voterCount; ++i)
            voters.push_back(pick(random));
    }
    std::optional<Line> best;
    double bestVotes = 0;
    int bestCount = 0;
    // Enough pairs that both samples of one lie on the best line found so far, with all but a
    // millionth's certainty: a clean line needs a handful, a line among many specks the most.
    int trials = MaxTrials;
    for (int trial = 0; trial < trials; ++trial) {
        const LinePoint& a = points[pick(random)];
        const LinePoint& b = points[pick(random)];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        if (!(length >= 3))
            continue;
        const Line line{a.x, a.y, (b.x - a.x) / length, (b.y - a.y) / length};
        double votes = 0;
        int count = 0;
        for (const std::size_t i : voters)
            if (std::abs(line.distance(points[i])) < VoteDistance) {
                votes += points[i].strength;
                ++count;
            }
        if (votes > bestVotes) {
            bestVotes = votes;
            bestCount = count;
            best = line;
            const double share = double(count) / double(voters.size());
            if (share >= 1)
                trials = std::min(trials, MinTrials);
            else
                trials = std::clamp(int(std::ceil(std::log(1e-6) / std::log1p(-share * share))), MinTrials, MaxTrials);
        }
    }
    if (bestCount < 3)
        return std::nullopt;
    return best;
}

} // namespace

std::optional<FittedLine> LineFit::FitPoints(std::vector<LinePoint> points)
{
    if (points.size() < MinSamples)
        return std::nullopt;
    std::optional<Line> voted = vote(points);
    if (!voted)
        return std::nullopt;
    const double ox = points.front().x, oy = points.front().y;
    Line line = *voted;
    for (int pass = 0; pass < 2; ++pass)
        line = fitWeighted(
            points, [&, line](std::size_t i) { return double(std::abs(line.distance(points[i])) < VoteDistance); }, ox, oy);
    // Then iteratively reweighted: Tukey's weights on the residuals, their scale from the median
    // of those near the line, so that far specks do not widen it.
    std::vector<double> residuals(points.size());
    BinnedSelection near(2 * VoteDistance);
    double cut = 0;
    for (int pass = 0; pass < 12; ++pass) {
        near.clear();
        for (std::size_t i = 0; i < points.size(); ++i) {
            residuals[i] = line.distance(points[i]);
            near.add(std::abs(residuals[i]));
        }
        if (near.size() < MinSamples)
            return std::nullopt;
        const double median = near.kthSmallest(near.size() / 2, [&](auto take) {
            for (const double r : residuals)
                take(std::abs(r));
        });
        cut = Tukey * std::max(LeastScale, 1.4826 * median);
        const Line next = fitWeighted(
            points, [&](std::size_t i) {
                const double u = residuals[i] / cut;
                return std::abs(u) < 1 ? (1 - u * u) * (1 - u * u) : 0;
            },
            ox, oy);
        const bool settled = std::abs(next.dx * line.dy - next.dy * line.dx) < 1e-12 && std::abs(line.distance({next.cx, next.cy})) < 1e-9;
        line = next;
        if (settled)
            break;
    }

    // The inliers, ordered along the line for their ends and for the error by blocks.
    std::vector<std::pair<double, double>> inliers; // along, across
    for (std::size_t i = 0; i < points.size(); ++i)
        if (std::abs(line.distance(points[i])) < cut)
            inliers.emplace_back(line.along(points[i]), line.distance(points[i]));
    const std::size_t n = inliers.size();
    if (n < MinSamples)
        return std::nullopt;
    // Samples come column by column (or row by row), so they are mostly in order already.
    if (!std::is_sorted(inliers.begin(), inliers.end()))
        std::sort(inliers.begin(), inliers.end());
    const double from = inliers.front().first, to = inliers.back().first;
    // Noise that happens to line up is sparse; a line leaves a sample in most columns or rows it
    // crosses.
    const double crossed = std::max(std::abs(line.dx), std::abs(line.dy)) * (to - from) + 1;
    if (n < 0.3 * crossed)
        return std::nullopt;

    double squares = 0, spread = 0, middle = 0;
    for (const auto& [along, across] : inliers)
        middle += along / n;
    for (const auto& [along, across] : inliers) {
        squares += across * across;
        spread += (along - middle) * (along - middle);
    }
    const double rms = std::sqrt(squares / n);
    // The error from scatter alone, then by leaving out one block of neighbouring samples at a
    // time, which also sees errors that neighbours share (blur, compression blocks); the larger.
    double sd = std::sqrt(squares / double(n - 2) / std::max(spread, 1e-12));
    const int blocks = static_cast<int>(std::min<std::size_t>(20, n / 4));
    if (blocks >= 3) {
        std::vector<Moments> parts(blocks);
        Moments all;
        for (std::size_t i = 0; i < n; ++i) {
            parts[i * blocks / n].add(inliers[i].first, inliers[i].second, 1);
            all.add(inliers[i].first, inliers[i].second, 1);
        }
        std::vector<double> left(blocks);
        double mean = 0;
        for (int b = 0; b < blocks; ++b)
            mean += left[b] = wrapHalfTurn((all - parts[b]).direction());
        mean /= blocks;
        double jack = 0;
        for (const double a : left)
            jack += (a - mean) * (a - mean);
        sd = std::max(sd, std::sqrt(jack * (blocks - 1) / blocks));
    }
    // What the pixel grid leaves after all: a few thousandths of a pixel over the length.
    sd = std::hypot(sd, 0.003 / std::max(to - from, 1.0));

    FittedLine fit;
    // The direction that points right, so that the angle falls in (-90, 90), or is 90 upright.
    const double dx = std::abs(line.dx), dy = line.dx < 0 ? -line.dy : line.dy;
    const bool upright = dx < 1e-12;
    if (upright) {
        fit.angle = 90;
    } else {
        fit.angle = -std::atan2(dy, dx) * 180 / std::numbers::pi;
        fit.slope = dy / dx;
    }
    fit.centreX = line.cx;
    fit.centreY = line.cy;
    fit.x1 = line.cx + from * line.dx;
    fit.y1 = line.cy + from * line.dy;
    fit.x2 = line.cx + to * line.dx;
    fit.y2 = line.cy + to * line.dy;
    if (fit.x1 > fit.x2 || (upright && fit.y1 > fit.y2)) {
        std::swap(fit.x1, fit.x2);
        std::swap(fit.y1, fit.y2);
    }
    fit.rms = rms;
    fit.angleSd = sd * 180 / std::numbers::pi;
    fit.samples = static_cast<std::int64_t>(n);
    for (const double v : {fit.angle, fit.centreX, fit.centreY, fit.x1, fit.y1, fit.x2, fit.y2, fit.rms, fit.angleSd, fit.slope.value_or(0)})
        if (!std::isfinite(v))
            return std::nullopt;
    return fit;
}
