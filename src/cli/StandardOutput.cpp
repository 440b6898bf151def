#include "StandardOutput.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace StandardOutput {

namespace {

bool outputClosed = false;
QString failure;

bool writeAll(const char* at, std::size_t left)
{
    while (left > 0) {
        const ssize_t written = write(STDOUT_FILENO, at, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        at += written;
        left -= std::size_t(written);
    }
    return true;
}

}

SignalsHeldBack::SignalsHeldBack()
{
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

SignalsHeldBack::~SignalsHeldBack()
{
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void Secure()
{
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor) {
            dup2(opened, descriptor);
            close(opened);
        }
        if (descriptor == STDOUT_FILENO)
            outputClosed = true;
    }
}

void Write(const QByteArray& text)
{
    if (!failure.isEmpty())
        return;
    if (outputClosed) {
        failure = "standard output is closed.";
        return;
    }
    const SignalsHeldBack held;
    if (!writeAll(text.constData(), std::size_t(text.size())))
        failure = QString::fromLocal8Bit(std::strerror(errno)) + ".";
}

QString Failure()
{
    return failure;
}

}
