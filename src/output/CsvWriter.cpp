#include "CsvWriter.h"

#include "Measurement.h"
#include "NameEscaping.h"
#include "NumberText.h"

#include <QByteArrayList>

namespace {

QByteArray field(const QByteArray& text)
{
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text;
    QByteArray quoted = text;
    return "\"" + quoted.replace("\"", "\"\"") + "\"";
}

}

namespace CsvWriter {

QByteArray header()
{
    return "file,frame,fr_x,fr_y,re_x,re_y,slope,angle,computed,error\r\n";
}

QByteArray row(const Measurement& measurement)
{
    QByteArrayList fields{field(BytesFromName(measurement.file)),
                          measurement.frame < 0 ? QByteArray() : QByteArray::number(measurement.frame)};
    if (measurement.measured) {
        const ScanResult& result = measurement.result;
        fields << QByteArray::number(result.FrX) << QByteArray::number(result.FrY) << QByteArray::number(result.ReX)
               << QByteArray::number(result.ReY) << shortestText(result.Slope)
               << (measurement.computed ? shortestText(AngleOf(result.Slope)) : QByteArray())
               << (measurement.computed ? "true" : "false");
    } else {
        fields << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArray()
               << QByteArray();
    }
    fields << field(measurement.error.toUtf8());
    return fields.join(',') + "\r\n";
}

}
