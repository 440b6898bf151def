#include "ReportCharts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int chartWidth = 800;
constexpr int chartHeight = 270;
constexpr int plotLeft = 64;
constexpr int plotTop = 28;
constexpr int plotHeight = 200;
constexpr int wantedTicks = 5;

QByteArray coordinate(double value)
{
    return QByteArray::number(value, 'f', 1);
}

double niceStep(double raw, double least)
{
    if (!(raw > 0))
        return std::max(least, 1.0);
    const double power = std::pow(10, std::floor(std::log10(raw)));
    const double fraction = raw / power;
    const double nice = fraction < 1.5 ? 1 : fraction < 3 ? 2
        : fraction < 7                                    ? 5
                                                          : 10;
    return std::max(nice * power, least);
}

std::vector<double> ticksOver(double low, double high, double least)
{
    const double step = niceStep((high - low) / wantedTicks, least);
    std::vector<double> ticks;
    for (double tick = std::ceil(low / step) * step; tick <= high + step * 1e-9; tick += step)
        ticks.push_back(std::abs(tick) < step * 1e-9 ? 0 : std::round(tick / step) * step);
    return ticks;
}

QByteArray tickLabel(double value)
{
    return QByteArray::number(value, 'g', 8);
}

// Maps values from low to high onto the plot's pixels; `flip` for y, which grows downwards.
struct Scale {
    double low;
    double high;
    double start;
    double length;
    bool flip;

    double operator()(double value) const
    {
        const double share = high > low ? (value - low) / (high - low) : 0.5;
        return flip ? start + length - share * length : start + share * length;
    }
};

QByteArray axes(const ChartText& text, const Scale& x, const Scale& y, double xLeast, double yLeast)
{
    const double bottom = plotTop + plotHeight;
    QByteArray svg = "<g class=\"axis\"><line x1=\"" + coordinate(plotLeft) + "\" y1=\"" + coordinate(bottom)
        + "\" x2=\"" + coordinate(plotLeft + PlotWidth) + "\" y2=\"" + coordinate(bottom) + "\"/><line x1=\""
        + coordinate(plotLeft) + "\" y1=\"" + coordinate(plotTop) + "\" x2=\"" + coordinate(plotLeft) + "\" y2=\""
        + coordinate(bottom) + "\"/>";
    for (double tick : ticksOver(x.low, x.high, xLeast))
        svg += "<line class=\"tick\" x1=\"" + coordinate(x(tick)) + "\" y1=\"" + coordinate(bottom) + "\" x2=\""
            + coordinate(x(tick)) + "\" y2=\"" + coordinate(bottom + 5) + "\"/><text class=\"tick-label\" x=\""
            + coordinate(x(tick)) + "\" y=\"" + coordinate(bottom + 18) + "\" text-anchor=\"middle\">"
            + tickLabel(tick) + "</text>";
    for (double tick : ticksOver(y.low, y.high, yLeast))
        svg += "<line class=\"grid\" x1=\"" + coordinate(plotLeft) + "\" y1=\"" + coordinate(y(tick)) + "\" x2=\""
            + coordinate(plotLeft + PlotWidth) + "\" y2=\"" + coordinate(y(tick)) + "\"/><text class=\"tick-label\" x=\""
            + coordinate(plotLeft - 6) + "\" y=\"" + coordinate(y(tick) + 4) + "\" text-anchor=\"end\">"
            + tickLabel(tick) + "</text>";
    svg += "<text class=\"axis-label\" x=\"" + coordinate(plotLeft + PlotWidth / 2.0) + "\" y=\""
        + coordinate(chartHeight - 6) + "\" text-anchor=\"middle\">" + text.xLabel + "</text><text class=\"axis-label\" x=\""
        + coordinate(14) + "\" y=\"" + coordinate(plotTop + plotHeight / 2.0) + "\" text-anchor=\"middle\" transform=\"rotate(-90 14 "
        + coordinate(plotTop + plotHeight / 2.0) + ")\">" + text.yLabel + "</text></g>";
    return svg;
}

QByteArray chartStart(const ChartText& text)
{
    return "<svg class=\"chart\" id=\"" + text.id + "\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 "
        + QByteArray::number(chartWidth) + " " + QByteArray::number(chartHeight) + "\" width=\""
        + QByteArray::number(chartWidth) + "\" height=\"" + QByteArray::number(chartHeight) + "\" role=\"img\"><title>"
        + text.title + "</title><text class=\"chart-title\" x=\"" + coordinate(plotLeft) + "\" y=\"16\">" + text.title
        + "</text>";
}

QByteArray emptyChart(const ChartText& text)
{
    return chartStart(text) + "<text class=\"empty\" x=\"" + coordinate(plotLeft + PlotWidth / 2.0) + "\" y=\""
        + coordinate(plotTop + plotHeight / 2.0) + "\" text-anchor=\"middle\">no measured result</text></svg>";
}

double columnCentre(int column)
{
    return plotLeft + column + 0.5;
}

QByteArray linePath(const std::vector<ColumnRange>& ranges, const Scale& y)
{
    QByteArray d;
    for (const ColumnRange& range : ranges) {
        const QByteArray x = coordinate(columnCentre(range.column));
        d += (d.isEmpty() ? "M" : "L") + x + "," + coordinate(y(range.low));
        if (range.high != range.low)
            d += "L" + x + "," + coordinate(y(range.high));
    }
    // A single point would draw nothing; a dot's width of line shows it.
    if (ranges.size() == 1 && ranges.front().high == ranges.front().low)
        d += "h0.01";
    return d;
}

QByteArray bandPath(const std::vector<ColumnRange>& ranges, const Scale& y)
{
    QByteArray d;
    for (const ColumnRange& range : ranges)
        d += (d.isEmpty() ? "M" : "L") + coordinate(columnCentre(range.column) - 0.5) + "," + coordinate(y(range.high))
            + "L" + coordinate(columnCentre(range.column) + 0.5) + "," + coordinate(y(range.high));
    for (auto range = ranges.rbegin(); range != ranges.rend(); ++range)
        d += "L" + coordinate(columnCentre(range->column) + 0.5) + "," + coordinate(y(range->low)) + "L"
            + coordinate(columnCentre(range->column) - 0.5) + "," + coordinate(y(range->low));
    return d + "Z";
}

// A little room above and below the values, so that the extremes do not lie on the frame.
Scale valueScale(float lowest, float highest)
{
    double low = lowest;
    double high = highest;
    const double margin = high > low ? (high - low) * 0.05 : std::max(std::abs(high) * 0.05, 0.5);
    return {low - margin, high + margin, double(plotTop), double(plotHeight), true};
}

}

std::vector<ColumnRange> ColumnRanges(const std::vector<ReportSample>& samples, double xFirst, double xLast,
                                      int columns, SampleValue low, SampleValue high)
{
    std::vector<ColumnRange> ranges;
    const double span = xLast - xFirst;
    for (const ReportSample& sample : samples) {
        const float lowValue = low(sample);
        const float highValue = high(sample);
        if (std::isnan(lowValue) || std::isnan(highValue))
            continue;
        const int column = span > 0 ? std::clamp(int((sample.x - xFirst) / span * (columns - 1) + 0.5), 0, columns - 1)
                                    : columns / 2;
        // Samples come in x order, so a column's values are together.
        if (ranges.empty() || ranges.back().column != column)
            ranges.push_back({column, lowValue, highValue});
        else
            ranges.back() = {column, std::min(ranges.back().low, lowValue), std::max(ranges.back().high, highValue)};
    }
    return ranges;
}

QByteArray LineChart(const ChartText& text, const std::vector<ReportSample>& samples,
                     const std::vector<ChartSeries>& series)
{
    const double xFirst = samples.empty() ? 0 : samples.front().x;
    const double xLast = samples.empty() ? 0 : samples.back().x;
    std::vector<std::vector<ColumnRange>> drawn;
    float lowest = std::numeric_limits<float>::infinity();
    float highest = -lowest;
    for (const ChartSeries& one : series) {
        drawn.push_back(ColumnRanges(samples, xFirst, xLast, PlotWidth, one.low, one.high));
        for (const ColumnRange& range : drawn.back()) {
            lowest = std::min(lowest, range.low);
            highest = std::max(highest, range.high);
        }
    }
    if (lowest > highest)
        return emptyChart(text);
    const Scale x{xFirst, xLast, plotLeft + 0.5, PlotWidth - 1.0, false};
    const Scale y = valueScale(lowest, highest);
    QByteArray svg = chartStart(text) + axes(text, x, y, 1, 0);
    for (std::size_t i = 0; i < series.size(); ++i) {
        if (drawn[i].empty())
            continue;
        svg += "<path class=\"series" + QByteArray(series[i].band ? " band" : " line") + "\" data-series=\""
            + series[i].name + "\" d=\"" + (series[i].band ? bandPath(drawn[i], y) : linePath(drawn[i], y)) + "\"/>";
    }
    return svg + "</svg>";
}

QByteArray Histogram(const ChartText& text, const std::vector<float>& values, const QByteArray& series)
{
    float lowest = std::numeric_limits<float>::infinity();
    float highest = -lowest;
    std::size_t count = 0;
    for (float value : values) {
        if (std::isnan(value))
            continue;
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
        ++count;
    }
    if (count == 0)
        return emptyChart(text);
    double low = lowest;
    double high = highest;
    if (!(high > low)) {
        low -= 0.5;
        high += 0.5;
    }
    const int bins = std::clamp(int(std::ceil(std::sqrt(double(count)))), 5, 50);
    const double width = (high - low) / bins;
    std::vector<std::size_t> counts(std::size_t(bins), 0);
    for (float value : values)
        if (!std::isnan(value))
            ++counts[std::size_t(std::clamp(int((value - low) / width), 0, bins - 1))];
    const std::size_t most = *std::max_element(counts.begin(), counts.end());
    const Scale x{low, high, double(plotLeft), double(PlotWidth), false};
    const Scale y{0, double(most), double(plotTop), double(plotHeight), true};
    QByteArray svg = chartStart(text) + axes(text, x, y, 0, 1) + "<g class=\"series\" data-series=\"" + series + "\">";
    for (int bin = 0; bin < bins; ++bin) {
        const double from = low + bin * width;
        svg += "<rect class=\"bar\" x=\"" + coordinate(x(from)) + "\" y=\"" + coordinate(y(double(counts[bin])))
            + "\" width=\"" + coordinate(x(from + width) - x(from)) + "\" height=\""
            + coordinate(y(0) - y(double(counts[bin]))) + "\"><title>" + tickLabel(from) + " to "
            + tickLabel(from + width) + ": " + QByteArray::number(qulonglong(counts[bin])) + "</title></rect>";
    }
    return svg + "</g></svg>";
}
