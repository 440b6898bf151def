#include "PictureLimits.h"

#include "SysUtils.h"

void FailOnPictureFile(const std::string& what, const std::string& fileName, const std::string& why)
{
    throw Exception(what + " \"" + fileName + "\": " + why);
}

void CheckPictureSize(std::int64_t width, std::int64_t height, const std::string& fileName)
{
    if (width * height > MaxPicturePixels)
        FailOnPictureFile("Cannot read", fileName,
                          "the picture is " + std::to_string(width) + " x " + std::to_string(height)
                              + " pixels, more than the " + std::to_string(MaxPicturePixels)
                              + " pixels this program handles.");
}
