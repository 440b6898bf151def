#include "FrameStream.h"
#include "FuzzInput.h"
#include "MeasurementJob.h"
#include "PictureKinds.h"

#include <vector>

// Feeds each input to slopemeter-cli's reader of frames on standard input, as one stream of
// pictures back to back: every frame must end in a result or an error, never in a fault. An
// input that starts as a picture a stream may carry is also measured as a file: its first
// frame must give the same result, or an error as the file does.

namespace {

int streamFile = -1;
const MeasureSettings settings{DefaultLevel, true};

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
    static char name[] = "stream_fuzzer";
    streamFile = StartFuzzing(name);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    const PictureKind kind = KindOf(bytes.data(), bytes.size());
    // A bitmap in a stream says its own length, which a file need not.
    if (kind == PictureKind::Bmp && size >= 6)
        for (int i = 0; i < 4; ++i)
            bytes[std::size_t(2 + i)] = std::uint8_t(size >> (8 * i));
    WriteInput(streamFile, bytes.data(), bytes.size());
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
    const Measurement file = MeasurementJob(settings, std::nullopt).run(QString::fromStdString(PathOf(streamFile)));
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
