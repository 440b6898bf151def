#pragma once

#include "PictureLimits.h"

#include <QImage>

#include <string>

// Reads a picture file whole. Anything wrong with the file (missing, unreadable, not a picture,
// cut short, too large) raises an Exception whose message names the file and says why.
QImage LoadPictureFile(const std::string& fileName);
