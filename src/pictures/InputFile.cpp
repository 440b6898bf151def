#include "InputFile.h"

#include "PictureError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

std::string openFailure(int error)
{
    if (error == ENOENT)
        return "the file does not exist.";
    if (error == EACCES)
        return "permission denied.";
    return std::string(std::strerror(error)) + ".";
}

}

InputFile::InputFile(const std::string& fileName)
{
    descriptor_ = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor_ < 0)
        fail(PictureError::Step::Open, openFailure(errno));
    struct stat status {};
    if (fstat(descriptor_, &status) != 0)
        fail(PictureError::Step::Open, openFailure(errno));
    if (S_ISDIR(status.st_mode))
        fail(PictureError::Step::Open, "it is a folder, not a picture file.");
    // Only the opening must not wait; a pipe's writer may take its time with the bytes.
    const int flags = fcntl(descriptor_, F_GETFL);
    if (flags < 0 || fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK) != 0)
        fail(PictureError::Step::Open, openFailure(errno));
    if (S_ISREG(status.st_mode))
        length_ = status.st_size;
}

InputFile::~InputFile()
{
    if (descriptor_ >= 0)
        close(descriptor_);
}

void InputFile::fail(PictureError::Step step, const std::string& why) const
{
    throw PictureError(step, why);
}

bool InputFile::ShorterThan(std::int64_t bytes) const
{
    struct stat status {};
    return length_ >= 0 && fstat(descriptor_, &status) == 0 && status.st_size < bytes;
}

QByteArray InputFile::Read(std::int64_t most)
{
    constexpr std::int64_t firstChunk = std::int64_t(64) << 10;
    QByteArray bytes;
    qsizetype filled = 0;
    while (filled < most) {
        if (filled == bytes.size()) {
            const std::int64_t grown = std::max<std::int64_t>(firstChunk, 2 * filled);
            bytes.resize(qsizetype(std::min(most, std::max(grown, length_ < 0 ? 0 : length_))));
        }
        const ssize_t got = read(descriptor_, bytes.data() + filled, std::size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(PictureError::Step::Read, std::string(std::strerror(errno)) + ".");
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(filled);
    return bytes;
}
