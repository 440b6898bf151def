#include "FrameStream.h"
#include "MeasurementJob.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

// Feeds each input to slopemeter-cli's reader of frames on standard input, as one stream of
// pictures back to back: every frame must end in a result or an error, never in a fault.

namespace {

int streamFile = -1;

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
    if (!writeStream(data, size))
        std::abort();
    std::int64_t expected = 0;
    FrameStream frames(streamFile, DefaultLevel, {});
    frames.run([&](const Measurement& measurement) {
        // Frames come in order, each once, and each is measured or says why not.
        if (measurement.frame != expected++ || measurement.measured == !measurement.error.isEmpty())
            std::abort();
    });
    return 0;
}
