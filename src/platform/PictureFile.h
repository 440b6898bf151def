#pragma once

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>

// The largest picture accepted, in pixels. Qt's own default refuses anything over 128 MB of
// decoded pixels, which turns away ordinary 24-megapixel photographs; this limit admits the
// largest camera sensors while keeping a run (the picture, its copy and the copy's working
// buffer) within a few gigabytes.
constexpr std::int64_t MaxPicturePixels = 150'000'000;

// The longest input accepted: a picture within the limit, stored uncompressed at 8 bytes a pixel
// (16-bit colour with alpha), with room for its headers. Nothing reads more from any input.
constexpr std::int64_t MaxPictureFileBytes = MaxPicturePixels * 8 + (std::int64_t(1) << 20);

// Called with a picture's size, known from its header, and the bytes of the file held, before
// the picture is decoded; it may raise an Exception to refuse the picture, or wait.
using PictureSizeCheck = std::function<void(int width, int height, std::int64_t fileBytes)>;

// Reads a picture file whole. Anything wrong with the file (missing, unreadable, not a picture,
// cut short, too large) raises an Exception whose message names the file and says why.
QImage LoadPictureFile(const std::string& fileName, const PictureSizeCheck& checkSize = {});

// Raises the Exception for a picture file that cannot be used: `<what> "<file>": <why>`.
[[noreturn]] void FailOnPictureFile(const std::string& what, const std::string& fileName, const std::string& why);

// Raises it for a picture of more than MaxPicturePixels pixels.
void CheckPictureSize(std::int64_t width, std::int64_t height, const std::string& fileName);
