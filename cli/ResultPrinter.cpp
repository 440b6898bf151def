#include "ResultPrinter.h"

#include "AnsiText.h"
#include "MeasurementJob.h"

#include <charconv>

namespace {

QByteArray jsonString(const QString& text)
{
    QByteArray quoted = "\"";
    for (char byte : text.toUtf8()) {
        const auto code = static_cast<unsigned char>(byte);
        if (byte == '"' || byte == '\\')
            quoted += QByteArray("\\") + byte;
        else if (code < 0x20)
            quoted += QByteArray("\\u00") + QByteArray::number(code, 16).rightJustified(2, '0');
        else
            quoted += byte;
    }
    return quoted + "\"";
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
    if (!measurement.measured)
        return line + ",\"error\":" + jsonString(measurement.error) + "}\n";
    const ScanResult& result = measurement.result;
    return line + ",\"fr\":" + jsonPoint(result.FrX, result.FrY) + ",\"re\":" + jsonPoint(result.ReX, result.ReY)
        + ",\"slope\":" + shortestText(result.Slope)
        + ",\"computed\":" + (measurement.computed ? "true" : "false") + "}\n";
}

}

ResultPrinter::ResultPrinter(Style style)
    : style_(style)
{
}

void ResultPrinter::print(const Measurement& measurement)
{
    // A picture that could not be measured gets no caption block, which would look like a result.
    if (style_ != Style::Json && !measurement.measured)
        return;
    const QByteArray text = style_ == Style::Json ? jsonLine(measurement) : captionBlock(measurement);
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    printedAny_ = true;
}

QByteArray ResultPrinter::captionBlock(const Measurement& measurement) const
{
    const ResultCaptions captions = FormatCaptions(measurement.result);
    QByteArray block;
    if (style_ == Style::NamedCaptions)
        block += (printedAny_ ? "\n" : "") + measurement.file.toUtf8() + "\n";
    for (const std::string& caption : {captions.Fr, captions.Re, captions.Slope})
        block += AnsiToUnicode(caption).toUtf8() + "\n";
    return block;
}
