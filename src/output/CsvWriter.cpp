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

QByteArray header(bool withFit)
{
    return QByteArray("file,frame,fr_x,fr_y,re_x,re_y,slope,angle,computed,error")
        + (withFit ? ",fit_angle,fit_slope,fit_cx,fit_cy,fit_x1,fit_y1,fit_x2,fit_y2,fit_rms,fit_angle_sd,fit_samples"
                   : "")
        + "\r\n";
}

QByteArray row(const Measurement& measurement, bool withFit)
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
    if (withFit) {
        if (const std::optional<FittedLine>& fit = measurement.fit) {
            fields << fitText(fit->angle) << (fit->slope ? fitText(*fit->slope) : QByteArray());
            for (double value : {fit->centreX, fit->centreY, fit->x1, fit->y1, fit->x2, fit->y2, fit->rms, fit->angleSd})
                fields << fitText(value);
            fields << QByteArray::number(qint64(fit->samples));
        } else {
            for (int i = 0; i < 11; ++i)
                fields << QByteArray();
        }
    }
    return fields.join(',') + "\r\n";
}

}
