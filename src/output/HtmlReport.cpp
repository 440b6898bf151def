#include "HtmlReport.h"

#include "Measurement.h"
#include "NameEscaping.h"
#include "NumberText.h"
#include "ReportAssets.h"
#include "ReportCharts.h"
#include "ReportPictures.h"
#include "ReportStatistics.h"

#include <charconv>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include <signal.h>

namespace {

// Records go out in chunks, each a script of its own, so that a page cut off mid-run still
// holds every chunk before the cut; a few hundred keep the writes large and the scripts few.
constexpr int recordsPerChunk = 256;
// Chunks handed to the writing thread and not yet written, at most: the run waits for it past
// that, so that a slow disk costs time, not memory.
constexpr std::size_t chunksAhead = 8;

constexpr float noValue = std::numeric_limits<float>::quiet_NaN();

// A JSON string that no "</script>" or "<!--" inside it can end or change the script it is in.
// Most names are plain ASCII and need no more than their quotes.
void appendScriptString(std::string& text, const QString& value)
{
    const ushort* at = value.utf16();
    const qsizetype length = value.size();
    bool plain = true;
    for (qsizetype i = 0; i < length && plain; ++i)
        plain = at[i] >= 0x20 && at[i] < 0x7F && at[i] != '"' && at[i] != '\\' && at[i] != '<';
    if (!plain) {
        QByteArray quoted = JsonString(value);
        if (quoted.contains('<'))
            quoted.replace("<", "\\u003c");
        text.append(quoted.constData(), std::size_t(quoted.size()));
        return;
    }
    text += '"';
    for (qsizetype i = 0; i < length; ++i)
        text += char(at[i]);
    text += '"';
}

// A record's values, each after a comma but the first. The numbers are written straight into
// the chunk: the report goes beside a run that may measure a small frame in a few microseconds.
class RecordText {
public:
    explicit RecordText(std::string& text)
        : text_(text) {}

    void integer(std::int64_t value)
    {
        char digits[NumberTextRoom];
        put(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }
    void shortest(float value)
    {
        char digits[NumberTextRoom];
        put(digits, writeShortest(digits, value));
    }
    void fit(double value)
    {
        char digits[NumberTextRoom];
        put(digits, writeFit(digits, value));
    }
    void raw(const char* text)
    {
        separate();
        text_ += text;
    }
    void string(const QString& value)
    {
        separate();
        appendScriptString(text_, value);
    }

private:
    void separate()
    {
        if (!first_)
            text_ += ',';
        first_ = false;
    }
    void put(const char* from, const char* to)
    {
        separate();
        text_.append(from, std::size_t(to - from));
    }

    std::string& text_;
    bool first_ = true;
};

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

// One row of the table, its values in the columns' order, after a comma when not the chunk's first.
void appendRecord(std::string& chunk, bool first, const Measurement& measurement, const ReportSettings& settings)
{
    chunk += first ? "[" : ",[";
    RecordText text(chunk);
    if (settings.stream) {
        if (measurement.frame < 0)
            text.raw("null");
        else
            text.integer(measurement.frame);
    }
    text.string(measurement.file);
    const ScanResult& result = measurement.result;
    if (measurement.measured) {
        for (std::int32_t value : {result.FrX, result.FrY, result.ReX, result.ReY})
            text.integer(value);
        text.shortest(result.Slope);
        if (measurement.computed)
            text.shortest(AngleOf(result.Slope));
        else
            text.raw("null");
        text.raw(measurement.computed ? "true" : "false");
    } else {
        text.raw("null,null,null,null,null,null,null");
    }
    if (measurement.error.isEmpty())
        text.raw("null");
    else
        text.string(measurement.error);
    if (settings.fit) {
        if (const std::optional<FittedLine>& fit = measurement.fit) {
            text.fit(fit->angle);
            if (fit->slope)
                text.fit(*fit->slope);
            else
                text.raw("null");
            text.fit(fit->rms);
            text.fit(fit->angleSd);
            text.integer(fit->samples);
        } else {
            text.raw("null,null,null,null,null");
        }
    }
    chunk += ']';
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

// The records are turned into text on a thread of their own, a chunk at a time, so that a run
// that measures a small frame in a few microseconds does not wait for its page.
class ChunkWriter {
public:
    ChunkWriter(const ReportSettings& settings, HtmlReport::Write& write)
        : settings_(settings), write_(write)
    {
        try {
            thread_ = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            // Without a thread of its own the page is written by the thread that adds.
        }
    }

    // Ends once every chunk handed over is written.
    ~ChunkWriter()
    {
        {
            const std::lock_guard<std::mutex> lock(lock_);
            ending_ = true;
        }
        ready_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    void hand(std::vector<Measurement> records)
    {
        if (!thread_.joinable()) {
            write(records);
            return;
        }
        std::unique_lock<std::mutex> lock(lock_);
        taken_.wait(lock, [&] { return chunks_.size() < chunksAhead; });
        chunks_.push_back(std::move(records));
        lock.unlock();
        ready_.notify_one();
    }

private:
    void work()
    {
        // A signal that stops the run is for the thread that reads, which it wakes.
        sigset_t stops;
        sigemptyset(&stops);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&stops, signal);
        pthread_sigmask(SIG_BLOCK, &stops, nullptr);
        for (;;) {
            std::unique_lock<std::mutex> lock(lock_);
            ready_.wait(lock, [&] { return ending_ || !chunks_.empty(); });
            if (chunks_.empty())
                return;
            std::vector<Measurement> records = std::move(chunks_.front());
            chunks_.pop_front();
            lock.unlock();
            taken_.notify_one();
            write(records);
        }
    }

    void write(const std::vector<Measurement>& records)
    {
        text_.assign("<script>R([");
        for (std::size_t i = 0; i < records.size(); ++i)
            appendRecord(text_, i == 0, records[i], settings_);
        text_ += "])</script>\n";
        write_(QByteArray(text_.data(), qsizetype(text_.size())));
    }

    const ReportSettings& settings_;
    HtmlReport::Write& write_;
    std::string text_;
    std::mutex lock_;
    std::condition_variable ready_;
    std::condition_variable taken_;
    std::deque<std::vector<Measurement>> chunks_;
    bool ending_ = false;
    std::thread thread_;
};

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
        chunk.reserve(recordsPerChunk);
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
    state_->chunk.reserve(recordsPerChunk);
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
    if (state.chunk.size() == std::size_t(recordsPerChunk))
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
