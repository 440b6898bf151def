#pragma once

#include <QByteArray>

#include <cstdint>

// Qt's JPEG, GIF and XBM readers hand back a partly filled picture, and call it success, when
// the file ends early; its PNG reader refuses such a file, but only after libpng has written a
// line of its own to standard error. True when the bytes are of one of those formats and end
// before the (first) picture in them does; other formats and other damage are left to the readers.
bool PictureDataCutShort(const QByteArray& bytes);

// The size an XBM file's header declares, which Qt's reader does not tell for a picture larger
// than its allocation limit; false for other files.
bool XbmDeclaredSize(const QByteArray& bytes, std::int64_t* width, std::int64_t* height);
