#include "FrameStream.h"
#include "MeasurementJob.h"
#include "PictureKinds.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

// Feeds each input to slopemeter-cli's reader of frames on standard input, as one stream of
// pictures back to back: every frame must end in a result or an error, never in a fault. An
// input that starts as a picture a stream may carry is also measured as a file: its first
// frame must give the same result, or an error as the file does.

namespace {

int streamFile = -1;
const MeasureSettings settings{DefaultLevel, true};

bool writeStream(const std::uint8_t* data, std::size_t size)
{
    if (ftruncate(streamFile, 0) != 0 || lseek(streamFile, 0, SEEK_SET) != 0)
        return false;
    for (std::size_t written = 0; written < size;) {
        const ssize_t n = write(streamFile, data + written, size - written);
        if (n <= 0)
            return false;
        written += std::size_t(n);
    }
    return lseek(streamFile, 0, SEEK_SET) == 0;
}

bool sameMeasurement(const Measurement& a, const Measurement& b)
{
    const ScanResult &x = a.result, &y = b.result;
    const bool samePoints = x.FrX == y.FrX && x.FrY == y.FrY && x.ReX == y.ReX && x.ReY == y.ReY && x.Slope == y.Slope;
    const bool sameFit = a.fit.has_value() == b.fit.has_value() && (!a.fit || a.fit->angle == b.fit->angle);
    return a.measured == b.measured && (!a.measured || (samePoints && a.computed == b.computed && sameFit));
}

}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // BMP frames and PNM of other depths go through Qt's image readers, found through the
    // application object.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "stream_fuzzer";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    streamFile = memfd_create("stream", 0);
    return streamFile < 0 ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    const PictureKind kind = KindOf(bytes.data(), bytes.size());
    // A bitmap in a stream says its own length, which a file need not.
    if (kind == PictureKind::Bmp && size >= 6)
        for (int i = 0; i < 4; ++i)
            bytes[std::size_t(2 + i)] = std::uint8_t(size >> (8 * i));
    if (!writeStream(bytes.data(), bytes.size()))
        std::abort();
    std::int64_t expected = 0;
    Measurement first;
    FrameStream frames(streamFile, settings);
    frames.run([&](const Measurement& measurement) {
        // Frames come in order, each once, and each is measured or says why not.
        if (measurement.frame != expected++ || measurement.measured == !measurement.error.isEmpty())
            std::abort();
        if (measurement.frame == 0)
            first = measurement;
    });
    if (kind != PictureKind::PnmBinary && kind != PictureKind::Bmp && kind != PictureKind::Png && kind != PictureKind::Jpeg)
        return 0;
    const Measurement file = MeasurementJob(settings, std::nullopt).run("/proc/self/fd/" + QString::number(streamFile));
    // A PNG file needs no more than its pixel data, but a frame ends only with its end chunk: a
    // damaged chunk after the pixels, or none at the end, leaves the frame without an end.
    const bool frameWithoutEnd = kind == PictureKind::Png && file.measured
        && (first.error.contains("the stream ends inside it") || first.error.contains("a PNG chunk gives a length")
            || first.error.contains("the PNG frame is larger"));
    if (!frameWithoutEnd && !sameMeasurement(file, first)) {
        std::fprintf(stderr, "as a file: %s\nas a frame: %s\n", qPrintable(file.error), qPrintable(first.error));
        std::abort();
    }
    return 0;
}
