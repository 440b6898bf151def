#pragma once

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <mutex>

// The memory that the pictures of one run may take at a time, shared by all its jobs. A job
// takes its share, known from the picture's header, before it decodes the picture, and waits
// while the other jobs' shares leave too little.
class MemoryBudget {
public:
    explicit MemoryBudget(std::int64_t bytes);

    // Waits until `bytes` fit and takes them; raises a PictureError when they exceed the whole
    // budget.
    void take(std::int64_t bytes);
    void give(std::int64_t bytes);

    std::int64_t total() const { return total_; }

    // Half of the machine's physical memory.
    static std::int64_t defaultSize();
    enum class SizeReading {
        Read,
        Malformed,
        TooLarge
    };
    // "4G", "512M", "800K" or a number of bytes, up to the most an int64 holds.
    static SizeReading parseSize(const QString& text, std::int64_t* bytes);

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::int64_t total_;
    std::int64_t used_ = 0;
};

// A share of a budget, given back when it goes.
class MemoryShare {
public:
    explicit MemoryShare(MemoryBudget* budget)
        : budget_(budget) {}
    ~MemoryShare();
    MemoryShare(const MemoryShare&) = delete;
    MemoryShare& operator=(const MemoryShare&) = delete;

    void take(std::int64_t bytes);

private:
    MemoryBudget* budget_;
    std::int64_t bytes_ = 0;
};
