#include "ProgressLine.h"

#include "NameEscaping.h"

#include <QCoreApplication>

#include <cstdio>

ProgressLine::ProgressLine(int total, bool shown) : total_(total), shown_(shown)
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

void ProgressLine::finish()
{
    std::lock_guard lock(mutex_);
    clear();
    shown_ = false;
}

void ProgressLine::draw()
{
    if (shown_)
        std::fprintf(stderr, "\rmeasured %d of %d pictures", done_, total_);
    std::fflush(stderr);
}

void ProgressLine::clear()
{
    if (shown_)
        std::fprintf(stderr, "\r\033[K");
}
