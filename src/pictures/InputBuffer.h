#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

// A read that failed, as the whole message to show.
class InputReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reading was stopped, as asked, before the bytes came: no error of the input's.
struct InputStopped {};

// Standard input, or any descriptor, read in large blocks into one buffer that is reused, so
// that rows can be measured where they were read and memory stays that of the largest request.
class InputBuffer {
public:
    explicit InputBuffer(int descriptor);

    // Makes at least count bytes available unless the input ends first; returns whether it did.
    // A read error raises an InputReadError.
    bool request(std::size_t count);

    const std::uint8_t* data() const { return buffer_.data() + start_; }
    std::size_t available() const { return end_ - start_; }
    void consume(std::size_t count) { start_ += count; }
    // Whether the input has ended with nothing left over.
    bool atEnd();
    // Asked before each read and when a signal interrupts one: true stops the reading with an
    // InputStopped.
    void setStopCheck(std::function<bool()> stopped) { stopped_ = std::move(stopped); }

private:
    void moveToFront();
    void growFor(std::size_t count);

    int descriptor_;
    std::function<bool()> stopped_;
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
};
