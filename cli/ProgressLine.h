#pragma once

#include <QString>

#include <functional>
#include <mutex>

// Standard error during a run: one line for each failure and, when it is shown, a progress line
// that the failures and the end of the run clear away.
class ProgressLine {
public:
    ProgressLine(int total, bool shown);

    // Both are safe to call from any thread.
    void advance();
    void reportFailure(const QString& why);
    // Runs print with the progress line out of its way, for output to the same terminal.
    void printAbove(const std::function<void()>& print);

    void finish();

private:
    void draw();
    void clear();

    std::mutex mutex_;
    int total_;
    int done_ = 0;
    bool shown_;
};
