#pragma once

#include "PictureLimits.h"

#include <QImage>

#include <string>

// Reads a picture file whole. Anything wrong with the file (missing, unreadable, not a picture,
// cut short, too large) raises an Exception whose message names the file and says why.
QImage LoadPictureFile(const std::string& fileName);

class RowSink;

// Hands the rows of a JPEG, PNG or plain 24-bit BMP file to sink as they are decoded, with the
// same checks and messages as LoadPictureFile. False, with nothing handed over, for a file of
// any other kind, or a pipe: those are for LoadPictureFile.
bool StreamPictureFile(const std::string& fileName, RowSink& sink);
