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

QByteArray jsonFitPoint(double x, double y)
{
    return "[" + fitText(x) + "," + fitText(y) + "]";
}

QByteArray jsonFit(const std::optional<FittedLine>& fit)
{
    if (!fit)
        return ",\"fit\":null";
    return ",\"fit\":{\"angle\":" + fitText(fit->angle) + ",\"slope\":" + (fit->slope ? fitText(*fit->slope) : "null")
        + ",\"centre\":" + jsonFitPoint(fit->centreX, fit->centreY) + ",\"ends\":[" + jsonFitPoint(fit->x1, fit->y1)
        + "," + jsonFitPoint(fit->x2, fit->y2) + "],\"rms\":" + fitText(fit->rms) + ",\"angle_sd\":"
        + fitText(fit->angleSd) + ",\"samples\":" + QByteArray::number(qint64(fit->samples)) + "}";
}

// The fitted angle and its standard error to a hundred-thousandth of a degree, finer than the
// tilt is ever sure to.
QByteArray fitCaption(const std::optional<FittedLine>& fit)
{
    if (!fit)
        return "fit angle: no line found\n";
    return "fit angle: " + QByteArray::number(fit->angle, 'f', 5) + " \xC2\xB1 " + QByteArray::number(fit->angleSd, 'f', 5)
        + " deg\n";
}

QByteArray jsonLine(const Measurement& measurement, bool withFit)
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
        + ",\"computed\":" + (measurement.computed ? "true" : "false") + (withFit ? jsonFit(measurement.fit) : "")
        + error + "}\n";
}

}

ResultPrinter::ResultPrinter(Style style, bool withFit)
    : style_(style), withFit_(withFit)
{
}

QByteArray ResultPrinter::Start() const
{
    return style_ == Style::Csv ? CsvWriter::header(withFit_) : QByteArray();
}

QByteArray ResultPrinter::Format(const Measurement& measurement)
{
    // A picture that could not be measured gets no caption block, which would look like a result.
    QByteArray text;
    if (style_ == Style::Json)
        text = jsonLine(measurement, withFit_);
    else if (style_ == Style::Csv)
        text = CsvWriter::row(measurement, withFit_);
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
    return withFit_ ? block + fitCaption(measurement.fit) : block;
}
