#include "FileWriting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

std::string reason(int error)
{
    return std::string(std::strerror(error)) + ".";
}

std::string writeAll(int descriptor, const QByteArray& bytes)
{
    const char* at = bytes.constData();
    std::size_t left = std::size_t(bytes.size());
    while (left > 0) {
        const ssize_t written = write(descriptor, at, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return reason(errno);
        at += written;
        left -= std::size_t(written);
    }
    return {};
}

std::string writeAndClose(int descriptor, const QByteArray& bytes)
{
    std::string why = writeAll(descriptor, bytes);
    if (close(descriptor) != 0 && why.empty())
        why = reason(errno);
    return why;
}

bool isSpecialFile(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

}

std::string WriteFileWhole(const std::string& path, const QByteArray& bytes)
{
    if (isSpecialFile(path)) {
        const int descriptor = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        return descriptor < 0 ? reason(errno) : writeAndClose(descriptor, bytes);
    }
    std::string temporary = path + ".XXXXXX";
    const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0)
        return reason(errno);
    fchmod(descriptor, 0644);
    std::string why = writeAndClose(descriptor, bytes);
    if (why.empty() && rename(temporary.c_str(), path.c_str()) != 0)
        why = reason(errno);
    if (!why.empty())
        unlink(temporary.c_str());
    return why;
}

std::string MakeFolders(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return error ? error.message() + "." : std::string();
}
