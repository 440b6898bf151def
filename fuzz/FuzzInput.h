#pragma once

// What both fuzzers share: Qt's image readers, found through an application object that needs
// no display, and one file in memory that each input is written to, so that nothing touches the
// disk.

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

// The readers warn about every damaged input; at thousands of inputs a second that would bury
// the fuzzer's own report. Gives the in-memory file's descriptor.
inline int StartFuzzing(char* name)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    const int file = memfd_create(name, 0);
    if (file < 0)
        std::abort();
    return file;
}

// The file then holds exactly the input, and is read from its start.
inline void WriteInput(int file, const std::uint8_t* data, std::size_t size)
{
    if (ftruncate(file, 0) != 0 || lseek(file, 0, SEEK_SET) != 0)
        std::abort();
    for (std::size_t written = 0; written < size;) {
        const ssize_t n = pwrite(file, data + written, size - written, off_t(written));
        if (n <= 0)
            std::abort();
        written += std::size_t(n);
    }
}

inline std::string PathOf(int file)
{
    return "/proc/self/fd/" + std::to_string(file);
}
