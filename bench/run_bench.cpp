// The measurement as the buttons run it, and loading a large bitmap, each set against the
// memory work it cannot avoid: a memcpy of the picture's pixels, and reading the file's bytes.
//
//   scripts/bench                 builds this in build-bench/ and runs it
//   build-bench/bin/slopemeter_bench --benchmark_filter=run/   runs a part of it

#include "BenchPictures.h"
#include "MeasureCopy.h"
#include "PictureFile.h"
#include "PlainRun.h"
#include "RatioReporter.h"
#include "Uprocess.h"

#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using Graphics::TBitmap;

constexpr int repetitions = 5;

// Large pictures are made once and held one at a time, while their benchmarks run.
const TBitmap& picture(std::size_t index)
{
    static std::size_t held = SIZE_MAX;
    static std::unique_ptr<TBitmap> bitmap;
    if (held != index) {
        bitmap.reset();
        bitmap = std::make_unique<TBitmap>();
        bitmap->SetImage(BenchPictures()[index].Make());
        held = index;
    }
    return *bitmap;
}

void copyPixels(benchmark::State& state, std::size_t index)
{
    const QImage& image = picture(index).Image();
    static std::vector<std::uint8_t> target;
    target.resize(std::size_t(image.sizeInBytes()));
    for (auto _ : state) {
        std::memcpy(target.data(), image.constBits(), target.size());
        benchmark::ClobberMemory();
    }
}

void runAsTheButtonsDo(benchmark::State& state, std::size_t index)
{
    const TBitmap& shown = picture(index);
    for (auto _ : state) {
        ResultCaptions captions = FormatCaptions(MeasureCopy(shown, MeasureSettings{}).result);
        benchmark::DoNotOptimize(captions);
    }
}

void runPlainly(benchmark::State& state, std::size_t index)
{
    const TBitmap& shown = picture(index);
    for (auto _ : state) {
        ResultCaptions captions = PlainRun(shown, DefaultLevel);
        benchmark::DoNotOptimize(captions);
    }
}

const std::string largeBitmapName = "8000x6000 BMP";

// A large 24-bit bitmap file, written once.
std::string largeBitmapFile()
{
    static QTemporaryDir folder;
    static const std::string path = [] {
        const QString file = folder.filePath("large.bmp");
        if (!LargePictureWithLine().save(file, "BMP"))
            throw std::runtime_error("cannot write " + file.toStdString());
        return file.toStdString();
    }();
    return path;
}

// Into memory that is already mapped, as the best any reader could do.
void readFileBytes(benchmark::State& state)
{
    const std::string path = largeBitmapFile();
    static std::vector<char> bytes;
    bytes.resize(std::size_t(QFileInfo(QString::fromStdString(path)).size()));
    for (auto _ : state) {
        const int file = open(path.c_str(), O_RDONLY);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = read(file, bytes.data() + done, bytes.size() - done);
            if (got <= 0)
                break;
            done += std::size_t(got);
        }
        close(file);
        benchmark::ClobberMemory();
    }
}

void loadAsTheWindowDoes(benchmark::State& state)
{
    const std::string path = largeBitmapFile();
    for (auto _ : state) {
        TBitmap bitmap;
        bitmap.SetImage(LoadPictureFile(path));
        bitmap.SetPixelFormat(pf24bit);
        benchmark::DoNotOptimize(bitmap.Image().constBits());
    }
}

void loadWithQtAlone(benchmark::State& state)
{
    const QString path = QString::fromStdString(largeBitmapFile());
    for (auto _ : state) {
        QImageReader reader(path);
        reader.setAllocationLimit(0);
        const QImage image = reader.read().convertToFormat(QImage::Format_BGR888);
        benchmark::DoNotOptimize(image.constBits());
    }
}

double best(const std::vector<double>& times)
{
    return *std::min_element(times.begin(), times.end());
}

void measure(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(repetitions)
        ->ComputeStatistics(BestStatistic, best)
        ->DisplayAggregatesOnly(true);
}

std::vector<std::string> registerRuns()
{
    std::vector<std::string> names;
    for (std::size_t index = 0; index < BenchPictures().size(); ++index) {
        const std::string& name = BenchPictures()[index].Name;
        names.push_back(name);
        measure(benchmark::RegisterBenchmark(("memcpy/" + name).c_str(), copyPixels, index));
        measure(benchmark::RegisterBenchmark(("plain/" + name).c_str(), runPlainly, index));
        measure(benchmark::RegisterBenchmark(("run/" + name).c_str(), runAsTheButtonsDo, index));
    }
    return names;
}

void registerLoads()
{
    measure(benchmark::RegisterBenchmark(("read/" + largeBitmapName).c_str(), readFileBytes));
    measure(benchmark::RegisterBenchmark(("load/" + largeBitmapName).c_str(), loadAsTheWindowDoes));
    measure(benchmark::RegisterBenchmark(("Qt load/" + largeBitmapName).c_str(), loadWithQtAlone));
}

}

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const std::vector<std::string> pictures = registerRuns();
    registerLoads();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable("A run as the buttons do it, and plainly", pictures, "memcpy", {"plain", "run"});
    reporter.PrintTable("Loading a 24-bit bitmap", {largeBitmapName}, "read", {"load", "Qt load"});
    benchmark::Shutdown();
    return 0;
}
