#include "HtmlReport.h"

#include "Measurement.h"
#include "NumberText.h"
#include "ReportAssets.h"
#include "ReportCharts.h"
#include "ReportPictures.h"
#include "ReportRecords.h"
#include "ReportStatistics.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr float noValue = std::numeric_limits<float>::quiet_NaN();

QByteArray columnsOf(const ReportSettings& settings)
{
    QByteArray header = "<thead><tr>";
    const auto column = [&](const char* key, const char* label) {
        header += QByteArray("<th data-column=\"") + key + "\" title=\"Sort by " + label + "\">" + label + "</th>";
    };
    if (settings.stream)
        column("frame", "frame");
    column("file", "file");
    for (const char* key : {"fr_x", "fr_y", "re_x", "re_y", "slope", "angle", "computed", "error"})
        column(key, key);
    if (settings.fit)
        for (const char* key : {"fit_angle", "fit_slope", "fit_rms", "fit_angle_sd", "fit_samples"})
            column(key, key);
    return header + "</tr></thead>";
}

const QByteArray noneText = "\xE2\x80\x93";

QByteArray summaryRow(const char* key, const QByteArray& label, const QByteArray& value)
{
    return QByteArray("<tr data-key=\"") + key + "\"><th>" + label + "</th><td>" + value + "</td></tr>";
}

QByteArray spreadRows(const char* prefix, const QByteArray& what, const Spread& spread)
{
    const auto value = [&](double number) { return spread.count == 0 ? noneText : fitText(number); };
    const QByteArray key = prefix;
    return summaryRow(key + "_median", what + ": median (\xC2\xB0)", value(spread.median))
        + summaryRow(key + "_sd", what + ": standard deviation (\xC2\xB0)", value(spread.sd))
        + summaryRow(key + "_p5", what + ": 5th percentile (\xC2\xB0)", value(spread.p5))
        + summaryRow(key + "_p95", what + ": 95th percentile (\xC2\xB0)", value(spread.p95));
}

float angleOf(const ReportSample& sample)
{
    return sample.angle;
}

float fitAngleOf(const ReportSample& sample)
{
    return sample.fitAngle;
}

float fitLowOf(const ReportSample& sample)
{
    return sample.fitAngle - sample.fitSd;
}

float fitHighOf(const ReportSample& sample)
{
    return sample.fitAngle + sample.fitSd;
}

float rmsOf(const ReportSample& sample)
{
    return sample.rms;
}

}

struct HtmlReport::State {
    ReportSettings settings;
    Write write;
    std::vector<ReportSample> samples;
    std::vector<Measurement> chunk;
    std::int64_t results = 0;
    std::int64_t measured = 0;
    std::int64_t failed = 0;
    FarthestPictures farthest;
    bool finished = false;
    // Last, so that it ends, its chunks written, before what it uses.
    std::optional<ChunkWriter> writer;

    void flushChunk()
    {
        if (chunk.empty())
            return;
        writer->hand(std::move(chunk));
        chunk = {};
        chunk.reserve(RecordsPerChunk);
    }

    std::vector<float> values(SampleValue value) const
    {
        std::vector<float> taken;
        taken.reserve(samples.size());
        for (const ReportSample& sample : samples)
            taken.push_back(value(sample));
        return taken;
    }

    QByteArray summary(double elapsedSeconds) const;
    QByteArray charts() const;
};

HtmlReport::HtmlReport(ReportSettings settings, Write write)
    : state_(std::make_unique<State>())
{
    state_->settings = std::move(settings);
    state_->write = std::move(write);
    state_->write(
        QByteArray("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
                   "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data:; "
                   "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n"
                   "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                   "<title>slopemeter report</title>\n<style>")
        + ReportStyle + "</style></head>\n<body>\n<h1 id=\"heading\">slopemeter report</h1>\n"
        + "<section id=\"table-section\"><h2>Every " + (state_->settings.stream ? "frame" : "picture") + "</h2>\n"
        + "<noscript><p>The table needs the page's script.</p></noscript>\n"
          "<div class=\"controls\"><label>Name contains <input id=\"filter\" type=\"search\" autocomplete=\"off\"></label>"
          " <button id=\"prev\" type=\"button\">Previous</button> <span id=\"rows-shown\"></span>"
          " <button id=\"next\" type=\"button\">Next</button></div>\n<table id=\"results\">"
        + columnsOf(state_->settings) + "<tbody></tbody></table></section>\n<script>" + ReportScript + "</script>\n");
    state_->chunk.reserve(RecordsPerChunk);
    state_->writer.emplace(state_->settings, state_->write);
}

HtmlReport::~HtmlReport() = default;

void HtmlReport::Add(const Measurement& measurement)
{
    State& state = *state_;
    if (state.finished)
        return;
    ++state.results;
    state.measured += measurement.measured;
    state.failed += !measurement.error.isEmpty();
    ReportSample sample{state.settings.stream && measurement.frame >= 0 ? double(measurement.frame) : double(state.results),
                        noValue, noValue, noValue, noValue};
    if (measurement.measured && measurement.computed)
        sample.angle = AngleOf(measurement.result.Slope);
    if (measurement.measured && measurement.fit) {
        sample.fitAngle = float(measurement.fit->angle);
        sample.fitSd = float(measurement.fit->angleSd);
        sample.rms = float(measurement.fit->rms);
    }
    state.samples.push_back(sample);
    if (!state.settings.annotationDirectory.isEmpty() && !std::isnan(sample.angle) && measurement.frame < 0)
        state.farthest.offer(sample.angle, measurement.file);
    state.chunk.push_back(measurement);
    if (state.chunk.size() == std::size_t(RecordsPerChunk))
        state.flushChunk();
}

QByteArray HtmlReport::State::summary(double elapsedSeconds) const
{
    QByteArray rows = summaryRow("pictures", settings.stream ? "Frames" : "Pictures", QByteArray::number(results))
        + summaryRow("measured", "Measured", QByteArray::number(measured))
        + summaryRow("failed", "Failed (with an error)", QByteArray::number(failed))
        + summaryRow("level", "Level", QByteArray::number(settings.level))
        + summaryRow("fit", "Line fitted (--fit)", settings.fit ? "yes" : "no")
        + summaryRow("time", "Time (s)", std::isfinite(elapsedSeconds) ? QByteArray::number(elapsedSeconds, 'f', 3) : "–")
        + spreadRows("angle", "Angle", SpreadOf(values(angleOf)));
    if (settings.fit)
        rows += spreadRows("fit_angle", "Fitted angle", SpreadOf(values(fitAngleOf)));
    return "<section id=\"summary-section\"><h2>Summary</h2><table id=\"summary\">" + rows + "</table></section>\n";
}

QByteArray HtmlReport::State::charts() const
{
    const QByteArray place = settings.stream ? "frame" : "picture (in input order)";
    QByteArray svg = "<section id=\"charts\"><h2>Charts</h2>\n";
    std::vector<ChartSeries> angles{{"angle", angleOf, angleOf}};
    if (settings.fit)
        angles.push_back({"fit_angle", fitAngleOf, fitAngleOf});
    svg += LineChart({"chart-angle", settings.fit ? "Angle per " + place + " (fitted angle in the second colour)" : "Angle per " + place, place, "angle (\xC2\xB0)"},
                     samples, angles)
        + "\n"
        + Histogram({"chart-histogram", "Histogram of the angle", "angle (\xC2\xB0)", "results"}, values(angleOf), "angle")
        + "\n";
    if (settings.fit)
        svg += LineChart({"chart-fit", "Fitted angle \xC2\xB1 its standard error", place, "fitted angle (\xC2\xB0)"}, samples,
                         {{"fit_angle_band", fitLowOf, fitHighOf, true}, {"fit_angle", fitAngleOf, fitAngleOf}})
            + "\n" + LineChart({"chart-rms", "RMS distance of the line's samples from the fitted line", place, "rms (px)"}, samples, {{"rms", rmsOf, rmsOf}})
            + "\n";
    return svg + "</section>\n";
}

void HtmlReport::Finish(double elapsedSeconds, bool cutShort)
{
    State& state = *state_;
    if (state.finished)
        return;
    state.finished = true;
    state.flushChunk();
    // Every record is written before what follows them.
    state.writer.reset();
    QByteArray end;
    if (cutShort)
        end += "<p id=\"cut-short\">The run was stopped before its end: this page holds what was measured until then.</p>\n";
    end += state.summary(elapsedSeconds) + state.charts();
    if (!state.settings.annotationDirectory.isEmpty()) {
        const float median = float(SpreadOf(state.values(angleOf)).median);
        end += ThumbnailSection(state.farthest.farthestFrom(median), state.settings.annotationDirectory,
                                state.settings.annotationLink);
    }
    state.write(end + "</body></html>\n");
    state.samples = {};
}
