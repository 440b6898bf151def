#include "InputBuffer.h"

#include "SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <poll.h>
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

InputBuffer::InputBuffer(int descriptor, std::function<void()> beforeWaiting)
    : descriptor_(descriptor), beforeWaiting_(std::move(beforeWaiting)), buffer_(blockBytes)
{
    widenPipe(descriptor);
}

bool InputBuffer::request(std::size_t count)
{
    if (available() >= count)
        return true;
    makeRoomFor(count);
    while (available() < count && !ended_) {
        waitIfNothingReady();
        const ssize_t got = ::read(descriptor_, buffer_.data() + end_, buffer_.size() - end_);
        if (got > 0)
            end_ += std::size_t(got);
        else if (got == 0)
            ended_ = true;
        else if (errno != EINTR)
            throw Exception(std::string("Cannot read standard input: ") + std::strerror(errno) + ".");
    }
    return available() >= count;
}

void InputBuffer::waitIfNothingReady() const
{
    pollfd input{descriptor_, POLLIN, 0};
    if (beforeWaiting_ && poll(&input, 1, 0) == 0)
        beforeWaiting_();
}

bool InputBuffer::atEnd()
{
    return !request(1);
}

// Keeps the unread bytes at the front, and grows only for a request larger than any before.
void InputBuffer::makeRoomFor(std::size_t count)
{
    if (start_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + start_, available());
        end_ -= start_;
        start_ = 0;
    }
    const std::size_t wanted = std::max(count, blockBytes);
    if (buffer_.size() < wanted)
        buffer_.resize(std::max(wanted, buffer_.size() * 2));
}
