#include "PictureSink.h"

#include "PictureFile.h"
#include "PixelMemory.h"

void PictureSink::CheckSize(std::int64_t width, std::int64_t height, const std::string& fileName) const
{
    CheckPictureSize(width, height, fileName);
}

void PictureSink::Begin(int width, int height, const std::string& fileName)
{
    picture_ = NewPixelImage(width, height, QImage::Format_BGR888);
    if (picture_.isNull())
        FailOnPictureFile("Cannot read", fileName,
                          "there is not enough memory for a picture of " + std::to_string(width) + " x "
                              + std::to_string(height) + " pixels.");
}
