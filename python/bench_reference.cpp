// The C++ side of scripts/bench-python: the same rows measured by RowScan with no interpreter in
// between. Usage: slopemeter_python_bench_reference PIXELS HEIGHT WIDTH CHANNELS RUNS; prints
// the seconds of each run on a line of its own.
#include "RowScan.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fputs("usage: slopemeter_python_bench_reference PIXELS HEIGHT WIDTH CHANNELS RUNS\n", stderr);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> pixels{std::istreambuf_iterator<char>(file), {}};
    const int height = std::atoi(argv[2]);
    const int width = std::atoi(argv[3]);
    const int channels = std::atoi(argv[4]);
    const std::size_t rowBytes = std::size_t(width) * std::size_t(channels);
    if (pixels.size() != rowBytes * std::size_t(height)) {
        std::fputs("the pixel file does not hold HEIGHT * WIDTH * CHANNELS bytes\n", stderr);
        return 1;
    }
    for (int run = std::atoi(argv[5]); run > 0; --run) {
        const auto start = std::chrono::steady_clock::now();
        RowScan scan(width, 50);
        for (int y = 0; y < height; ++y)
            scan.addRow(pixels.data() + std::size_t(y) * rowBytes, channels);
        ScanResult result;
        scan.finish(&result);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        std::printf("%.6f %d %d %d %d\n", seconds.count(), result.FrX, result.FrY, result.ReX, result.ReY);
    }
    return 0;
}
