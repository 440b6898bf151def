#include "MeasurementJob.h"

#include "Graphics.h"
#include "MeasureCopy.h"
#include "PictureFile.h"
#include "RowScanSink.h"
#include "SysUtils.h"

#include <new>

MeasurementJob::MeasurementJob(int level, std::optional<AnnotationTargets> annotations)
    : level_(level), annotations_(std::move(annotations))
{
}

Measurement MeasurementJob::run(const QString& file) const
{
    Measurement measurement;
    measurement.file = file;
    try {
        measure(measurement);
    } catch (const Exception& exception) {
        measurement.error = QString::fromStdString(exception.Message);
    } catch (const std::bad_alloc&) {
        measurement.error = "Not enough memory for \"" + file + "\".";
    }
    return measurement;
}

// Without annotations nothing needs the whole picture: JPEG, PNG and plain 24-bit BMP files
// are measured as their rows are decoded, the rest loaded whole.
void MeasurementJob::measure(Measurement& measurement) const
{
    if (!annotations_) {
        RowScanSink sink(level_);
        if (StreamPictureFile(measurement.file.toStdString(), sink)) {
            measurement.computed = sink.Finish(&measurement.result);
            measurement.measured = true;
            return;
        }
    }
    Graphics::TBitmap picture;
    picture.SetImage(LoadPictureFile(measurement.file.toStdString()));
    Graphics::TBitmap copy;
    measurement.computed = MeasureCopy(picture, level_, &measurement.result, &copy);
    measurement.measured = true;
    if (annotations_) {
        const FoundEndPoints points = foundEndPoints(copy, measurement.result);
        annotations_->write(annotatedPicture(picture.Image(), points), measurement.file);
    }
}
