#include "ReportRecords.h"

#include "NameEscaping.h"
#include "NumberText.h"

#include <charconv>
#include <system_error>

#include <signal.h>

namespace {

// Chunks handed to the writing thread and not yet written, at most: the run waits for it past
// that, so that a slow disk costs time, not memory.
constexpr std::size_t chunksAhead = 8;

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

}

// One row of the table, its values in the columns' order, after a comma when not the chunk's first.
void AppendRecord(std::string& chunk, bool first, const Measurement& measurement, const ReportSettings& settings)
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

ChunkWriter::ChunkWriter(const ReportSettings& settings, ReportWrite& write)
    : settings_(settings), write_(write)
{
    try {
        thread_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        // The records are then written by the thread that hands them over.
    }
}

ChunkWriter::~ChunkWriter()
{
    {
        const std::lock_guard<std::mutex> lock(lock_);
        ending_ = true;
    }
    ready_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void ChunkWriter::hand(std::vector<Measurement> records)
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

void ChunkWriter::work()
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

void ChunkWriter::write(const std::vector<Measurement>& records)
{
    text_.assign("<script>R([");
    for (std::size_t i = 0; i < records.size(); ++i)
        AppendRecord(text_, i == 0, records[i], settings_);
    text_ += "])</script>\n";
    write_(QByteArray(text_.data(), qsizetype(text_.size())));
}
