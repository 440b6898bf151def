#include "PictureSink.h"

#include "PictureLimits.h"
#include "PixelMemory.h"

void PictureSink::CheckSize(std::int64_t width, std::int64_t height) const
{
    CheckPictureSize(width, height);
}

void PictureSink::Begin(int width, int height)
{
    picture_ = NewPixelImage(width, height, QImage::Format_BGR888);
    if (picture_.isNull())
        FailReading("there is not enough memory for a picture of " + std::to_string(width) + " x "
                    + std::to_string(height) + " pixels.");
}
