#pragma once

#include <QByteArray>

#include <vector>

// What the charts need of one result; NaN where the result has no such value.
struct ReportSample {
    double x = 0;
    float angle = 0;
    float fitAngle = 0;
    float fitSd = 0;
    float rms = 0;
};

using SampleValue = float (*)(const ReportSample& sample);

// The lowest and highest value of the samples that fall in one pixel column of the plot.
struct ColumnRange {
    int column = 0;
    float low = 0;
    float high = 0;
};

// Each column's range, in column order, for samples whose x lies from xFirst to xLast spread over
// `columns` columns; columns with no value are left out. So a chart holds at most two points a
// column however many results it shows, and still shows every extreme.
std::vector<ColumnRange> ColumnRanges(const std::vector<ReportSample>& samples, double xFirst, double xLast,
                                      int columns, SampleValue low, SampleValue high);

// One thing drawn on a chart: a line through the values, or a band between two of them.
struct ChartSeries {
    QByteArray name;
    SampleValue low;
    SampleValue high;
    bool band = false;
};

struct ChartText {
    QByteArray id;
    QByteArray title;
    QByteArray xLabel;
    QByteArray yLabel;
};

// An SVG chart of the series over the samples' x; a text says so when there is nothing to draw.
QByteArray LineChart(const ChartText& text, const std::vector<ReportSample>& samples,
                     const std::vector<ChartSeries>& series);

// An SVG histogram of the values (NaN left out), its bars in one series named `series`.
QByteArray Histogram(const ChartText& text, const std::vector<float>& values, const QByteArray& series);

// The plot area's width in pixels, and so the most columns a chart draws.
constexpr int PlotWidth = 720;
