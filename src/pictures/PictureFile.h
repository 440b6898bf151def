#pragma once

#include "PictureLimits.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>

// The longest input accepted: a picture within the limit, stored uncompressed at 8 bytes a pixel
// (16-bit colour with alpha), with room for its headers. Nothing reads more from any input.
constexpr std::int64_t MaxPictureFileBytes = MaxPicturePixels * 8 + (std::int64_t(1) << 20);

// Called with a picture's size, known from its header, and the bytes of the file held, before
// the picture is decoded; it may raise an exception to refuse the picture, or wait.
using PictureSizeCheck = std::function<void(int width, int height, std::int64_t fileBytes)>;

// Reads a picture file whole. Anything wrong with the file (missing, unreadable, not a picture,
// cut short, too large) raises a PictureError that says why.
QImage LoadPictureFile(const std::string& fileName, const PictureSizeCheck& checkSize = {});

// A picture of a kind without a reader of our own, decoded by Qt from its bytes, held whole: the
// one reading that files and frames of a stream alike get, with one allocation limit.
QImage DecodeWithQt(QByteArray bytes, const PictureSizeCheck& checkSize = {});

class RowSink;

// Hands the rows of a JPEG, PNG or plain 24-bit BMP file to sink as they are decoded, with the
// same checks and messages as LoadPictureFile. False, with nothing handed over, for a file of
// any other kind, or a pipe: those are for LoadPictureFile.
bool StreamPictureFile(const std::string& fileName, RowSink& sink);
