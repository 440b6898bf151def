#include "ResultPrinter.h"

#include "AnsiText.h"
#include "CsvWriter.h"
#include "MeasurementJob.h"
#include "NumberText.h"

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

QByteArray frameName(const Measurement& measurement)
{
    return measurement.frame < 0 ? QByteArray() : " frame " + QByteArray::number(measurement.frame);
}

QByteArray jsonLine(const Measurement& measurement)
{
    QByteArray line = "{\"file\":" + jsonString(measurement.file);
    if (measurement.frame >= 0)
        line += ",\"frame\":" + QByteArray::number(measurement.frame);
    if (!measurement.measured)
        return line + ",\"error\":" + jsonString(measurement.error) + "}\n";
    const ScanResult& result = measurement.result;
    return line + ",\"fr\":" + jsonPoint(result.FrX, result.FrY) + ",\"re\":" + jsonPoint(result.ReX, result.ReY)
        + ",\"slope\":" + shortestText(result.Slope)
        + (measurement.computed ? ",\"angle\":" + shortestText(angleOf(result.Slope)) : QByteArray())
        + ",\"computed\":" + (measurement.computed ? "true" : "false") + "}\n";
}

}

ResultPrinter::ResultPrinter(Style style)
    : style_(style)
{
    if (style_ == Style::Csv)
        write(CsvWriter::header());
}

void ResultPrinter::print(const Measurement& measurement)
{
    // A picture that could not be measured gets no caption block, which would look like a result.
    if (style_ == Style::Json)
        write(jsonLine(measurement));
    else if (style_ == Style::Csv)
        write(CsvWriter::row(measurement));
    else if (measurement.measured)
        write(captionBlock(measurement));
}

void ResultPrinter::write(const QByteArray& text)
{
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    printedAny_ = true;
}

QByteArray ResultPrinter::captionBlock(const Measurement& measurement) const
{
    const ResultCaptions captions = FormatCaptions(measurement.result);
    QByteArray block;
    if (style_ == Style::NamedCaptions)
        block += (printedAny_ ? "\n" : "") + measurement.file.toUtf8() + frameName(measurement) + "\n";
    for (const std::string& caption : {captions.Fr, captions.Re, captions.Slope})
        block += AnsiToUnicode(caption).toUtf8() + "\n";
    return block;
}
