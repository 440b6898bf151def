#pragma once

#include "InputBuffer.h"
#include "LineMeasure.h"

#include "Measurement.h"
#include "PictureFile.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Pictures back to back on a descriptor, as a camera or a video decoder writes them: binary
// PNM (P4, P5, P6), BMP, PNG and JPEG (as a camera's MJPEG stream), each known by its own header. Each frame is measured as the
// same picture would be as a file. 8-bit PNM rows are measured where they were read, so memory
// holds a few rows; a PNG or JPEG frame is held compressed and measured a row at a time as it
// is decoded; BMP frames and PNM of other depths are held whole, one at a time, and read by Qt.
// The fit, too, takes each 8-bit PNM row where it was read, while the row is still in the
// cache: a frame held whole and fitted on a second thread costs more, its rows read again from
// memory, and the stream runs slower for it.
class FrameStream {
public:
    // heldWhole is offered each frame that must be held whole, as a file's picture is, before it
    // is decoded.
    FrameStream(int descriptor, const MeasureSettings& settings, PictureSizeCheck heldWhole = {});

    // Measures frames until the input ends, handing each result to deliver in order. A damaged
    // frame gives an error and the stream goes on after it; a frame cut short by the end of the
    // input, or bytes that are no frame at all, give an error and end the stream.
    void run(const std::function<void(const Measurement&)>& deliver);

private:
    Measurement next();
    Measurement failedFrame(const std::string& why) const;
    void measure(Measurement& measurement);
    void measurePnm(Measurement& measurement);
    void measureBmp(Measurement& measurement);
    void measurePng(Measurement& measurement);
    void measureJpeg(Measurement& measurement);
    void measureWhole(Measurement& measurement, std::size_t length, const PictureSizeCheck& heldWhole);
    void measureImage(Measurement& measurement, QImage image) const;
    void scanRows(LineMeasure& scan, int height, std::size_t rowBytes, int bytesPerPixel);
    void scanBitRows(LineMeasure& scan, int width, int height, std::size_t rowBytes);
    void skipBlanks();

    InputBuffer input_;
    MeasureSettings settings_;
    PictureSizeCheck heldWhole_;
    std::int64_t frame_ = 0;
    bool lost_ = false;
};
