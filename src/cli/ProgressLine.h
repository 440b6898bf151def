#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

// Standard error during a run: one line for each failure and, when it is shown, a progress line
// that the failures and the end of the run clear away. While a stream is read, the line shows
// its frames and their rate instead.
class ProgressLine {
public:
    static constexpr int UnknownTotal = -1;

    ProgressLine(int total, bool shown);

    // Both are safe to call from any thread.
    void advance();
    void reportFailure(const QString& why);
    // Runs print with the progress line out of its way, for output to the same terminal.
    void printAbove(const std::function<void()>& print);

    // Counts a stream's frames from here to endFrames(), shown when shown is true.
    void beginFrames(bool shown);
    void advanceFrame();
    void endFrames();

    void finish();

private:
    using Clock = std::chrono::steady_clock;

    void draw();
    void clear();
    bool visible() const { return framesShown_ || (shown_ && !inFrames_); }

    std::mutex mutex_;
    int total_;
    int done_ = 0;
    bool shown_;
    bool inFrames_ = false;
    bool framesShown_ = false;
    std::int64_t frames_ = 0;
    Clock::time_point framesStart_;
    Clock::time_point lastDrawn_;
};
