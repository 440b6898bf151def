#include "ReportFile.h"

#include "NameEscaping.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

// The umask as the kernel reports it, without setting it, which other threads would notice.
mode_t currentUmask()
{
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                std::fclose(status);
                return mode_t(mask);
            }
        std::fclose(status);
    }
    return 022;
}

bool pathExists(const QByteArray& path)
{
    struct stat status {};
    return lstat(path.constData(), &status) == 0;
}

// Puts the file in place without ever replacing one that is there: with RENAME_NOREPLACE where
// the file system has it, else as a second name that fails when the name is taken.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (link(from.constData(), to.constData()) != 0)
        return errno;
    unlink(from.constData());
    return 0;
}

}

ReportFile::ReportFile(QString path, bool overwrite)
    : path_(std::move(path)), overwrite_(overwrite)
{
    if (!overwrite_ && pathExists(BytesFromName(path_))) {
        error_ = "it is there already, and only --overwrite replaces it.";
        return;
    }
    const QFileInfo place(path_);
    QByteArray pattern = BytesFromName(place.path() + "/." + place.fileName() + ".XXXXXX");
    descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor_ < 0) {
        error_ = "cannot make a file in '" + place.path() + "': " + systemError(errno) + ".";
        return;
    }
    temporary_ = NameFromBytes(pattern);
    fchmod(descriptor_, 0666 & ~currentUmask());
}

ReportFile::~ReportFile()
{
    if (descriptor_ >= 0)
        close(descriptor_);
    if (!temporary_.isEmpty())
        unlink(BytesFromName(temporary_).constData());
}

QString ReportFile::Error() const
{
    const std::lock_guard<std::mutex> lock(errorLock_);
    return error_;
}

void ReportFile::fail(const QString& why)
{
    const std::lock_guard<std::mutex> lock(errorLock_);
    if (error_.isEmpty())
        error_ = why;
}

void ReportFile::Write(const QByteArray& text)
{
    if (descriptor_ < 0 || !Error().isEmpty())
        return;
    const char* at = text.constData();
    std::size_t left = std::size_t(text.size());
    while (left > 0) {
        const ssize_t written = write(descriptor_, at, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return fail("a write failed: " + systemError(errno) + ".");
        at += written;
        left -= std::size_t(written);
    }
}

QString ReportFile::Finish()
{
    if (descriptor_ >= 0) {
        // The page is put in place whole or not at all, also across a crash of the system.
        if (Error().isEmpty() && fsync(descriptor_) != 0 && errno != EINVAL)
            fail("a write failed: " + systemError(errno) + ".");
        if (close(descriptor_) != 0 && errno != EINTR)
            fail("a write failed: " + systemError(errno) + ".");
        descriptor_ = -1;
        if (Error().isEmpty())
            placeFile();
    }
    // A page that cannot be put in place is of no use beside it.
    if (!Error().isEmpty() && !temporary_.isEmpty()) {
        unlink(BytesFromName(temporary_).constData());
        temporary_.clear();
    }
    return Error();
}

void ReportFile::placeFile()
{
    const QByteArray from = BytesFromName(temporary_);
    const QByteArray to = BytesFromName(path_);
    const int failure = overwrite_ ? (std::rename(from.constData(), to.constData()) == 0 ? 0 : errno)
                                   : renameNoReplace(from, to);
    if (failure == EEXIST)
        fail("it is there already, and only --overwrite replaces it.");
    else if (failure != 0)
        fail("cannot put it in place: " + systemError(failure) + ".");
    else
        temporary_.clear();
}
