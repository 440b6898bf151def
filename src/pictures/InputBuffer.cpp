#include "InputBuffer.h"


#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Large enough that a pipe is drained in a few calls per frame of a full-HD video.
constexpr std::size_t blockBytes = std::size_t(1) << 20;

// A larger pipe lets the writer run ahead while a frame is measured; refusal costs nothing.
void widenPipe(int descriptor)
{
#ifdef F_SETPIPE_SZ
    fcntl(descriptor, F_SETPIPE_SZ, int(blockBytes));
#else
    (void)descriptor;
#endif
}

}

InputBuffer::InputBuffer(int descriptor)
    : descriptor_(descriptor), buffer_(blockBytes)
{
    widenPipe(descriptor);
}

bool InputBuffer::request(std::size_t count)
{
    if (available() >= count)
        return true;
    moveToFront();
    while (available() < count && !ended_) {
        growFor(count);
        if (stopped_ && stopped_())
            throw InputStopped();
        const ssize_t got = ::read(descriptor_, buffer_.data() + end_, buffer_.size() - end_);
        if (got > 0)
            end_ += std::size_t(got);
        else if (got == 0)
            ended_ = true;
        else if (errno != EINTR)
            throw InputReadError(std::string("Cannot read standard input: ") + std::strerror(errno) + ".");
    }
    return available() >= count;
}

bool InputBuffer::atEnd()
{
    return !request(1);
}

// Keeps the unread bytes at the front, so that the buffer only grows for a larger request.
void InputBuffer::moveToFront()
{
    if (start_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + start_, available());
        end_ -= start_;
        start_ = 0;
    }
}

// The buffer grows as bytes arrive, not as a header claims: a frame that says it holds a
// gigabyte and ends after a few bytes costs only a little more than those bytes.
void InputBuffer::growFor(std::size_t count)
{
    if (end_ < buffer_.size())
        return;
    buffer_.resize(std::min(count, std::max(buffer_.size() * 2, blockBytes)));
}
