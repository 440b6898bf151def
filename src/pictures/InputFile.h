#pragma once

#include "PictureError.h"

#include <QByteArray>

#include <cstdint>
#include <string>

// A picture file opened for a single read. Opening never waits: a pipe with no writer reads as
// empty instead of holding the program up. Any fault raises a PictureError.
class InputFile {
public:
    explicit InputFile(const std::string& fileName);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    int Descriptor() const { return descriptor_; }
    // The length of a regular file; -1 for pipes, devices and the like, which have none.
    std::int64_t Length() const { return length_; }

    // Whether a regular file is now shorter than `bytes`: cut while it was read, which can
    // leave the bytes read holding zeros that were never in it.
    bool ShorterThan(std::int64_t bytes) const;

    // Reads on until `most` more bytes have come or the input ends, whichever is first.
    QByteArray Read(std::int64_t most);

private:
    [[noreturn]] void fail(PictureError::Step step, const std::string& why) const;

    int descriptor_ = -1;
    std::int64_t length_ = -1;
};
