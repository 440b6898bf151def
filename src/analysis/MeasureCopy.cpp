#include "MeasureCopy.h"

#include "RowScanSink.h"

bool MeasureCopy(const Graphics::TBitmap& picture, int level, ScanResult* result, Graphics::TBitmap* scanned)
{
    Graphics::TBitmap own;
    Graphics::TBitmap* copy = scanned ? scanned : &own;
    copy->Assign(&picture);
    Process process;
    process.Binarize(copy, level);
    return process.FindSlope(copy, result);
}

bool MeasurePictureFile(const std::string& fileName, int level, ScanResult* result, const PictureSizeCheck& checkSize)
{
    RowScanSink sink(level);
    if (StreamPictureFile(fileName, sink))
        return sink.Finish(result);
    Graphics::TBitmap picture;
    picture.SetImage(LoadPictureFile(fileName, checkSize));
    return MeasureCopy(picture, level, result);
}
