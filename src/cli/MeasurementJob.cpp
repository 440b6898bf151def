#include "MeasurementJob.h"

#include "Graphics.h"
#include "MeasureCopy.h"
#include "MemoryBudget.h"
#include "NameEscaping.h"
#include "PictureFile.h"
#include "SysUtils.h"

#include <new>

namespace {

// What a picture's run holds at its height: the decoded picture (Qt hands over 16-bit
// pictures at 8 bytes a pixel), the 24-bit working copy and the annotated picture.
std::int64_t runCost(int width, int height, bool annotated)
{
    return std::int64_t(width) * height * (8 + 3 + (annotated ? 4 : 0));
}

}

MeasurementJob::MeasurementJob(const MeasureSettings& settings, std::optional<AnnotationTargets> annotations, MemoryBudget* budget)
    : settings_(settings), annotations_(std::move(annotations)), budget_(budget)
{
}

Measurement MeasurementJob::run(const QString& file) const
{
    Measurement measurement;
    measurement.file = file;
    try {
        measure(measurement);
    } catch (const PictureError& error) {
        measurement.error = NameFromBytes(QByteArray::fromStdString(error.MessageFor(BytesFromName(file).toStdString())));
    } catch (const Exception& exception) {
        measurement.error = NameFromBytes(QByteArray::fromStdString(exception.Message));
    } catch (const std::bad_alloc&) {
        measurement.error = "Not enough memory for \"" + file + "\".";
    }
    return measurement;
}

PictureSizeCheck MeasurementJob::frameShareCheck() const
{
    return [budget = budget_](int width, int height, std::int64_t frameBytes) {
        MemoryShare share(budget);
        if (budget)
            share.take(runCost(width, height, false) + frameBytes);
    };
}

// Without annotations nothing needs the whole picture: JPEG, PNG and plain 24-bit BMP files
// are measured as their rows are decoded, the rest loaded whole.
void MeasurementJob::measure(Measurement& measurement) const
{
    const std::string fileName = BytesFromName(measurement.file).toStdString();
    MemoryShare share(budget_);
    const auto takeShare = [&](int width, int height, std::int64_t fileBytes) {
        if (budget_)
            share.take(runCost(width, height, annotations_.has_value()) + fileBytes);
    };
    if (!annotations_) {
        measurement.Take(MeasurePictureFile(fileName, settings_, takeShare));
        return;
    }
    Graphics::TBitmap picture;
    picture.SetImage(LoadPictureFile(fileName, takeShare));
    Graphics::TBitmap copy;
    measurement.Take(MeasureCopy(picture, settings_, &copy));
    const FoundEndPoints points = foundEndPoints(copy, measurement.result);
    annotations_->write(annotatedPicture(picture.Image(), points, measurement.fit), measurement.file);
}
