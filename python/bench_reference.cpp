// The C++ side of scripts/bench-python: the same rows measured by RowScan with no interpreter in
// between. Usage: slopemeter_python_bench_reference PIXELS HEIGHT WIDTH CHANNELS RUNS; prints
// the seconds of each run on a line of its own.
#include "PixelMemory.h"
#include "RowScan.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fputs("usage: slopemeter_python_bench_reference PIXELS HEIGHT WIDTH CHANNELS RUNS\n", stderr);
        return 2;
    }
    const int height = std::atoi(argv[2]);
    const int width = std::atoi(argv[3]);
    const int channels = std::atoi(argv[4]);
    // In 2 MB pages, as numpy holds a large array, so that both read memory alike.
    QImage pixels = NewPixelImage(width * channels, height, QImage::Format_Grayscale8);
    std::ifstream file(argv[1], std::ios::binary);
    for (int y = 0; y < height && file; ++y)
        file.read(reinterpret_cast<char*>(pixels.scanLine(y)), width * channels);
    if (pixels.isNull() || !file || file.peek() != EOF) {
        std::fputs("the pixel file does not hold HEIGHT * WIDTH * CHANNELS bytes\n", stderr);
        return 1;
    }
    for (int run = std::atoi(argv[5]); run > 0; --run) {
        const auto start = std::chrono::steady_clock::now();
        RowScan scan(width, DefaultLevel);
        for (int y = 0; y < height; ++y)
            scan.addRow(pixels.constScanLine(y), channels);
        ScanResult result;
        scan.finish(&result);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        std::printf("%.6f %d %d %d %d\n", seconds.count(), result.FrX, result.FrY, result.ReX, result.ReY);
    }
    return 0;
}
