#pragma once

#include <QImage>

#include <cstdint>
#include <string>

// The largest picture accepted, in pixels. Qt's own default refuses anything over 128 MB of
// decoded pixels, which turns away ordinary 24-megapixel photographs; this limit admits the
// largest camera sensors while keeping a run (the picture, its copy and the copy's working
// buffer) within a few gigabytes.
constexpr std::int64_t MaxPicturePixels = 150'000'000;

// Reads a picture file whole. Anything wrong with the file (missing, unreadable, not a picture,
// cut short, too large) raises an Exception whose message names the file and says why.
QImage LoadPictureFile(const std::string& fileName);

class RowSink;

// Hands the rows of a JPEG, PNG or plain 24-bit BMP file to sink as they are decoded, with the
// same checks and messages as LoadPictureFile. False, with nothing handed over, for a file of
// any other kind, or a pipe: those are for LoadPictureFile.
bool StreamPictureFile(const std::string& fileName, RowSink& sink);

// Raises the Exception for a picture file that cannot be used: `<what> "<file>": <why>`.
[[noreturn]] void FailOnPictureFile(const std::string& what, const std::string& fileName, const std::string& why);

// Raises it for a picture of more than MaxPicturePixels pixels.
void CheckPictureSize(std::int64_t width, std::int64_t height, const std::string& fileName);
