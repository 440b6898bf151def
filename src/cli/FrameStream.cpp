#include "FrameStream.h"

#include "BmpFile.h"
#include "FrameHeaders.h"
#include "Graphics.h"
#include "MeasurementJob.h"
#include "PictureFile.h"
#include "RowDecoding.h"
#include "RowScanSink.h"
#include "StopSignals.h"
#include "SysUtils.h"

#include <cctype>
#include <new>
#include <utility>
#include <vector>

namespace {

const QString streamName = "-";

}

FrameStream::FrameStream(int descriptor, const MeasureSettings& settings,
                         PictureSizeCheck heldWhole)
    : input_(descriptor), settings_(settings), heldWhole_(std::move(heldWhole))
{
    input_.setStopCheck(StopSignals::Requested);
}

void FrameStream::run(const std::function<void(const Measurement&)>& deliver)
{
    try {
        skipBlanks();
        while (!lost_ && !StopSignals::Requested() && !input_.atEnd()) {
            deliver(next());
            ++frame_;
            skipBlanks();
        }
    } catch (const InputStopped&) {
        // The frame being read is dropped; those before it are all passed on.
    }
}

Measurement FrameStream::failedFrame(const std::string& why) const
{
    Measurement measurement;
    measurement.file = streamName;
    measurement.frame = frame_;
    measurement.error = "Cannot read frame " + QString::number(frame_) + " of standard input: "
        + QString::fromStdString(why);
    return measurement;
}

Measurement FrameStream::next()
{
    Measurement measurement;
    measurement.file = streamName;
    measurement.frame = frame_;
    try {
        measure(measurement);
        return measurement;
    } catch (const StreamLost& lost) {
        lost_ = true;
        return failedFrame(lost.Why());
    } catch (const PictureError& damaged) {
        return failedFrame(damaged.Why());
    } catch (const InputReadError& failed) {
        return failedFrame(failed.what());
    } catch (const Exception& failed) {
        return failedFrame(failed.Message);
    } catch (const std::bad_alloc&) {
        lost_ = true;
        return failedFrame("not enough memory for it.");
    }
}

void FrameStream::measure(Measurement& measurement)
{
    switch (nextFrameKind(input_)) {
    case PictureKind::PnmBinary:
        return measurePnm(measurement);
    case PictureKind::Bmp:
        return measureBmp(measurement);
    case PictureKind::Png:
        return measurePng(measurement);
    case PictureKind::Jpeg:
        return measureJpeg(measurement);
    default:
        break;
    }
    throw StreamLost("it is not a picture this program reads from a stream (binary PNM, BMP, PNG or JPEG).");
}

// PNM of one byte a sample is measured as it streams in; other depths are rare enough to be
// read whole, as Qt reads them, so that they convert exactly as a file of them does.
void FrameStream::measurePnm(Measurement& measurement)
{
    const PnmHeader header = readPnmHeader(input_);
    if (header.width == 0 || header.height == 0) {
        input_.consume(header.headerBytes);
        FailReading("the picture has no pixels (" + std::to_string(header.width) + " x "
                    + std::to_string(header.height) + ").");
    }
    if (header.kind != '4' && header.maxval != 255)
        return measureWhole(measurement, header.frameBytes(), heldWhole_);
    input_.consume(header.headerBytes);
    LineMeasure scan(header.width, header.height, settings_);
    if (header.kind == '4')
        scanBitRows(scan, header.width, header.height, header.rowBytes());
    else
        scanRows(scan, header.height, header.rowBytes(), header.samplesPerPixel());
    measurement.Take(scan.finish());
}

void FrameStream::measureBmp(Measurement& measurement)
{
    const std::size_t length = bmpFrameLength(input_);
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(input_.data()), qsizetype(length));
    // A plain 24-bit file is measured as its rows are read, within the limits of rows read so
    // and taking no share of the memory; so is such a frame, where it lies in the buffer.
    const RowScanSink streamedLimits(settings_);
    try {
        const BmpFile bitmap(bytes.left(BmpFile::HeaderBytes), std::int64_t(length), &streamedLimits);
        bitmap.CheckContents(bytes);
        if (bitmap.IsPlainTwentyFourBit()) {
            LineMeasure scan(bitmap.Width(), bitmap.Height(), settings_);
            for (int y = 0; y < bitmap.Height(); ++y)
                scan.addRow(input_.data() + bitmap.RowOffset(y), 3);
            measurement.Take(scan.finish());
            return input_.consume(length);
        }
    } catch (const PictureError&) {
        input_.consume(length);
        throw;
    }
    measureWhole(measurement, length, heldWhole_);
}

void FrameStream::measurePng(Measurement& measurement)
{
    const std::size_t length = pngFrameLength(input_);
    const QByteArray bytes(reinterpret_cast<const char*>(input_.data()), qsizetype(length));
    input_.consume(length);
    // The rows go straight into the measurement as they are decoded, within the limits of a PNG
    // file read the same way.
    RowScanSink sink(settings_, heldWhole_);
    DecodeRows(PictureKind::Png, bytes, sink);
    measurement.Take(sink.Finish());
}

// The frame's end is found from its markers; the rest is as for a JPEG file, whose rows are
// decoded into the measurement, CMYK pictures left to Qt.
void FrameStream::measureJpeg(Measurement& measurement)
{
    const std::size_t length = jpegFrameLength(input_);
    const QByteArray bytes(reinterpret_cast<const char*>(input_.data()), qsizetype(length));
    input_.consume(length);
    RowScanSink sink(settings_, heldWhole_);
    if (DecodeRows(PictureKind::Jpeg, bytes, sink))
        return measurement.Take(sink.Finish());
    measureImage(measurement, DecodeWithQt(bytes, heldWhole_));
}

void FrameStream::measureWhole(Measurement& measurement, std::size_t length, const PictureSizeCheck& heldWhole)
{
    if (!input_.request(length))
        throw StreamLost("the stream ends inside it, so the frame is cut short.");
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(input_.data()), qsizetype(length));
    QImage image;
    try {
        image = DecodeWithQt(bytes, heldWhole);
    } catch (const PictureError&) {
        input_.consume(length);
        throw;
    }
    input_.consume(length);
    measureImage(measurement, std::move(image));
}

void FrameStream::measureImage(Measurement& measurement, QImage image) const
{
    Graphics::TBitmap picture;
    picture.SetImage(std::move(image));
    picture.SetPixelFormat(pf24bit);
    LineMeasure scan(picture.Width(), picture.Height(), settings_);
    for (int y = 0; y < picture.Height(); ++y)
        scan.addRow(std::as_const(picture).ScanLine(y));
    measurement.Take(scan.finish());
}

// Every row that has arrived is measured where it lies in the buffer.
void FrameStream::scanRows(LineMeasure& scan, int height, std::size_t rowBytes, int bytesPerPixel)
{
    for (int left = height; left > 0;) {
        if (!input_.request(rowBytes))
            throw StreamLost("the stream ends inside it, so the frame is cut short.");
        const int ready = int(std::min<std::size_t>(std::size_t(left), input_.available() / rowBytes));
        for (int i = 0; i < ready; ++i)
            scan.addRow(input_.data() + std::size_t(i) * rowBytes, bytesPerPixel);
        input_.consume(std::size_t(ready) * rowBytes);
        left -= ready;
    }
}

// A set bit is black, as in Qt's reading of P4; each row is spread to one grey byte a pixel.
void FrameStream::scanBitRows(LineMeasure& scan, int width, int height, std::size_t rowBytes)
{
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        if (!input_.request(rowBytes))
            throw StreamLost("the stream ends inside it, so the frame is cut short.");
        const std::uint8_t* bits = input_.data();
        for (int x = 0; x < width; ++x)
            grey[std::size_t(x)] = (bits[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
        scan.addRow(grey.data(), 1);
        input_.consume(rowBytes);
    }
}

// Some writers end each picture with a line break; it belongs to no frame.
void FrameStream::skipBlanks()
{
    while (input_.request(1) && std::isspace(input_.data()[0]))
        input_.consume(1);
}
