#include "ResultPrinter.h"

#include "AnsiText.h"
#include "MeasurementJob.h"
#include "NameEscaping.h"
#include "StandardOutput.h"

#include <charconv>

namespace {

QByteArray jsonString(const QString& text)
{
    return JsonString(text);
}

QByteArray jsonPoint(int x, int y)
{
    return "[" + QByteArray::number(x) + "," + QByteArray::number(y) + "]";
}

// The shortest text that reads back as the same float.
QByteArray shortestText(float value)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return QByteArray(text, written.ptr - text);
}

QByteArray jsonLine(const Measurement& measurement)
{
    QByteArray line = "{\"file\":" + jsonString(measurement.file);
    const QByteArray error = measurement.error.isEmpty() ? "" : ",\"error\":" + jsonString(measurement.error);
    if (!measurement.measured)
        return line + error + "}\n";
    const ScanResult& result = measurement.result;
    return line + ",\"fr\":" + jsonPoint(result.FrX, result.FrY) + ",\"re\":" + jsonPoint(result.ReX, result.ReY)
        + ",\"slope\":" + shortestText(result.Slope)
        + ",\"computed\":" + (measurement.computed ? "true" : "false") + error + "}\n";
}

}

ResultPrinter::ResultPrinter(Style style) : style_(style)
{
}

void ResultPrinter::print(const Measurement& measurement)
{
    // A picture that could not be measured gets no caption block, which would look like a result.
    if (style_ != Style::Json && !measurement.measured)
        return;
    const QByteArray text = style_ == Style::Json ? jsonLine(measurement) : captionBlock(measurement);
    StandardOutput::Write(text);
    printedAny_ = true;
}

QByteArray ResultPrinter::captionBlock(const Measurement& measurement) const
{
    const ResultCaptions captions = FormatCaptions(measurement.result);
    QByteArray block;
    if (style_ == Style::NamedCaptions)
        block += (printedAny_ ? "\n" : "") + TerminalText(measurement.file) + "\n";
    for (const std::string& caption : {captions.Fr, captions.Re, captions.Slope})
        block += AnsiToUnicode(caption).toUtf8() + "\n";
    return block;
}
