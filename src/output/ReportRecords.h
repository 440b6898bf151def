#pragma once

#include "Measurement.h"
#include "ReportSettings.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Records go out in chunks, each a script of its own (R([...])), so that a page cut off mid-run
// still holds every chunk before the cut; a few hundred keep the writes large and the scripts few.
constexpr int RecordsPerChunk = 256;

// One row of the table, its values in the columns' order, after a comma when not the chunk's first.
void AppendRecord(std::string& chunk, bool first, const Measurement& measurement, const ReportSettings& settings);

// The records are turned into text on a thread of their own, a chunk at a time, so that a run
// that measures a small frame in a few microseconds does not wait for its page. Where no thread
// can be started, the thread that hands them over writes them.
class ChunkWriter {
public:
    ChunkWriter(const ReportSettings& settings, ReportWrite& write);
    // Ends once every chunk handed over is written.
    ~ChunkWriter();
    ChunkWriter(const ChunkWriter&) = delete;
    ChunkWriter& operator=(const ChunkWriter&) = delete;

    void hand(std::vector<Measurement> records);

private:
    void work();
    void write(const std::vector<Measurement>& records);

    const ReportSettings& settings_;
    ReportWrite& write_;
    std::string text_;
    std::mutex lock_;
    std::condition_variable ready_;
    std::condition_variable taken_;
    std::deque<std::vector<Measurement>> chunks_;
    bool ending_ = false;
    std::thread thread_;
};
