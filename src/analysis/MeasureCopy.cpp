#include "MeasureCopy.h"

#include "RowScanSink.h"

namespace {

std::optional<FittedLine> fitOf(const Graphics::TBitmap& picture, int level)
{
    Graphics::TBitmap rows;
    rows.Assign(&picture);
    rows.SetPixelFormat(pf24bit);
    LineFit fit(rows.Width(), rows.Height(), level);
    for (int y = 0; y < rows.Height(); ++y)
        fit.AddRow(std::as_const(rows).ScanLine(y), 3);
    return fit.Finish();
}

}

LineMeasurement MeasureCopy(const Graphics::TBitmap& picture, const MeasureSettings& settings,
                            Graphics::TBitmap* scanned)
{
    LineMeasurement measurement;
    if (settings.fit)
        measurement.fit = fitOf(picture, settings.level);
    Graphics::TBitmap own;
    Graphics::TBitmap* copy = scanned ? scanned : &own;
    copy->Assign(&picture);
    Process process;
    process.Binarize(copy, settings.level);
    measurement.computed = process.FindSlope(copy, &measurement.result);
    return measurement;
}

LineMeasurement MeasurePictureFile(const std::string& fileName, const MeasureSettings& settings,
                                   const PictureSizeCheck& checkSize)
{
    RowScanSink sink(settings, checkSize);
    if (StreamPictureFile(fileName, sink))
        return sink.Finish();
    Graphics::TBitmap picture;
    picture.SetImage(LoadPictureFile(fileName, checkSize));
    return MeasureCopy(picture, settings);
}
