#pragma once

#include <QImage>

#include <string>
#include <vector>

// The pictures the benchmarks measure: the sample picture, the size of a 48-megapixel camera's
// picture with a line on it, the same with no pixel bright enough to turn white (the end-point
// scan then reads every pixel), and the same all white (the scan stops at once).
struct BenchPicture {
    std::string Name;
    QImage (*Make)();
};

const std::vector<BenchPicture>& BenchPictures();

// A large 24-bit picture with a three-pixel-thick bright line on a dark, noisy background.
QImage LargePictureWithLine();
