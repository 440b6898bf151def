#pragma once

#include <exception>
#include <string>

// What could not be done with a picture and why. The readers do not know what the picture is
// called (a file, a frame of a stream, an array); whoever does names it in the message.
class PictureError : public std::exception {
public:
    enum class Step {
        Open,
        Read,
        Measure
    };

    PictureError(Step step, std::string why)
        : step_(step), why_(std::move(why)) {}

    const std::string& Why() const { return why_; }
    const char* what() const noexcept override { return why_.c_str(); }

    // `Cannot read "<name>": <why>`.
    std::string MessageFor(const std::string& name) const
    {
        static const char* const steps[] = {"Cannot open", "Cannot read", "Cannot measure"};
        return std::string(steps[int(step_)]) + " \"" + name + "\": " + why_;
    }

private:
    Step step_;
    std::string why_;
};

// The input ends inside a picture, or holds bytes that start none this program reads, so that
// nothing after it can be found.
class StreamLost : public PictureError {
public:
    explicit StreamLost(std::string why)
        : PictureError(Step::Read, std::move(why)) {}
};

[[noreturn]] inline void FailReading(std::string why)
{
    throw PictureError(PictureError::Step::Read, std::move(why));
}
