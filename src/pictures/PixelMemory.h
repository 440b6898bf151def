#pragma once

#include <QImage>

// A picture of the given size and format whose pixel values are unset, for a caller about to
// write every pixel. Large pictures are mapped in 2 MB pages where the system offers them: the
// first write to each 4 KB page costs a trap into the kernel, and for a 144 MB picture those
// 35,000 traps take longer than the work done on the pixels. A null image when there is not
// enough memory.
QImage NewPixelImage(int width, int height, QImage::Format format);
