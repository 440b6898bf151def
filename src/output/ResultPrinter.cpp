#include "ResultPrinter.h"

#include "AnsiText.h"
#include "CsvWriter.h"
#include "Measurement.h"
#include "NameEscaping.h"
#include "NumberText.h"

namespace {

QByteArray jsonString(const QString& text)
{
    return JsonString(text);
}

QByteArray jsonPoint(int x, int y)
{
    return "[" + QByteArray::number(x) + "," + QByteArray::number(y) + "]";
}

QByteArray frameName(const Measurement& measurement)
{
    return measurement.frame < 0 ? QByteArray() : " frame " + QByteArray::number(measurement.frame);
}

QByteArray jsonLine(const Measurement& measurement)
{
    QByteArray line = "{\"file\":" + jsonString(measurement.file);
    if (measurement.frame >= 0)
        line += ",\"frame\":" + QByteArray::number(measurement.frame);
    const QByteArray error = measurement.error.isEmpty() ? "" : ",\"error\":" + jsonString(measurement.error);
    if (!measurement.measured)
        return line + error + "}\n";
    const ScanResult& result = measurement.result;
    return line + ",\"fr\":" + jsonPoint(result.FrX, result.FrY) + ",\"re\":" + jsonPoint(result.ReX, result.ReY)
        + ",\"slope\":" + shortestText(result.Slope)
        + (measurement.computed ? ",\"angle\":" + shortestText(AngleOf(result.Slope)) : QByteArray())
        + ",\"computed\":" + (measurement.computed ? "true" : "false") + error + "}\n";
}

}

ResultPrinter::ResultPrinter(Style style)
    : style_(style)
{
}

QByteArray ResultPrinter::Start() const
{
    return style_ == Style::Csv ? CsvWriter::header() : QByteArray();
}

QByteArray ResultPrinter::Format(const Measurement& measurement)
{
    // A picture that could not be measured gets no caption block, which would look like a result.
    QByteArray text;
    if (style_ == Style::Json)
        text = jsonLine(measurement);
    else if (style_ == Style::Csv)
        text = CsvWriter::row(measurement);
    else if (measurement.measured)
        text = captionBlock(measurement);
    printedAny_ = printedAny_ || !text.isEmpty();
    return text;
}

QByteArray ResultPrinter::captionBlock(const Measurement& measurement) const
{
    const ResultCaptions captions = FormatCaptions(measurement.result);
    QByteArray block;
    if (style_ == Style::NamedCaptions)
        block += (printedAny_ ? "\n" : "") + TerminalText(measurement.file) + frameName(measurement) + "\n";
    for (const std::string& caption : {captions.Fr, captions.Re, captions.Slope})
        block += AnsiToUnicode(caption).toUtf8() + "\n";
    return block;
}
