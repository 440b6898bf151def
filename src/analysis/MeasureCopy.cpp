#include "MeasureCopy.h"

bool MeasureCopy(const Graphics::TBitmap& picture, int level, ScanResult* result, Graphics::TBitmap* scanned)
{
    Graphics::TBitmap own;
    Graphics::TBitmap* copy = scanned ? scanned : &own;
    copy->Assign(&picture);
    Process process;
    process.Binarize(copy, level);
    return process.FindSlope(copy, result);
}
