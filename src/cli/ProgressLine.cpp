#include "ProgressLine.h"

#include "NameEscaping.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// A frame rate redrawn for every frame would cost more than the frames.
constexpr auto frameRateRedraw = std::chrono::milliseconds(250);

}

ProgressLine::ProgressLine(int total, bool shown)
    : total_(total), shown_(shown)
{
}

void ProgressLine::advance()
{
    std::lock_guard lock(mutex_);
    ++done_;
    draw();
}

void ProgressLine::reportFailure(const QString& why)
{
    std::lock_guard lock(mutex_);
    clear();
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), TerminalText(why).constData());
    draw();
}

void ProgressLine::printAbove(const std::function<void()>& print)
{
    std::lock_guard lock(mutex_);
    clear();
    print();
    draw();
}

void ProgressLine::beginFrames(bool shown)
{
    std::lock_guard lock(mutex_);
    clear();
    inFrames_ = true;
    framesShown_ = shown;
    frames_ = 0;
    framesStart_ = lastDrawn_ = Clock::now();
}

void ProgressLine::advanceFrame()
{
    std::lock_guard lock(mutex_);
    ++frames_;
    if (framesShown_ && Clock::now() - lastDrawn_ >= frameRateRedraw)
        draw();
}

void ProgressLine::endFrames()
{
    std::lock_guard lock(mutex_);
    clear();
    inFrames_ = framesShown_ = false;
    draw();
}

void ProgressLine::finish()
{
    std::lock_guard lock(mutex_);
    clear();
    shown_ = inFrames_ = framesShown_ = false;
}

void ProgressLine::draw()
{
    if (framesShown_) {
        lastDrawn_ = Clock::now();
        const double seconds = std::chrono::duration<double>(lastDrawn_ - framesStart_).count();
        std::fprintf(stderr, "\r\033[Kmeasured %lld frames, %.0f frames/s", static_cast<long long>(frames_),
                     seconds > 0 ? double(frames_) / seconds : 0.0);
    } else if (visible() && total_ == UnknownTotal) {
        std::fprintf(stderr, "\rmeasured %d pictures", done_);
    } else if (visible()) {
        std::fprintf(stderr, "\rmeasured %d of %d pictures", done_, total_);
    }
    std::fflush(stderr);
}

void ProgressLine::clear()
{
    if (visible())
        std::fprintf(stderr, "\r\033[K");
}
