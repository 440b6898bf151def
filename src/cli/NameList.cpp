#include "NameList.h"

#include "CommandLine.h"
#include "NameEscaping.h"
#include "StopSignals.h"
#include "SysUtils.h"

#include <cerrno>
#include <climits>
#include <cstring>

namespace {

// As much of an over-long line as is shown in its error.
constexpr qsizetype shownBytes = 60;
constexpr std::int64_t mostLineBytes = std::int64_t(64) << 20;

}

NameList::NameList(QStringList names, const QString& listFile, bool nullSeparated)
    : names_(std::move(names)), separator_(nullSeparated ? '\0' : '\n')
{
    if (listFile.isEmpty())
        return;
    if (listFile == "-") {
        list_ = stdin;
        return;
    }
    list_ = std::fopen(BytesFromName(listFile).constData(), "rb");
    ownsList_ = list_ != nullptr;
    if (!list_)
        openError_ = "cannot open the list \"" + QString::fromUtf8(TerminalText(listFile)) + "\": " + QString::fromLocal8Bit(std::strerror(errno)) + ".";
}

NameList::~NameList()
{
    if (ownsList_)
        std::fclose(list_);
}

bool NameList::next(QString* name)
{
    lineError_.clear();
    if (nextName_ < names_.size()) {
        *name = names_[nextName_++];
        namesStandardInput_ = *name == StandardInputName;
        return true;
    }
    namesStandardInput_ = false;
    return list_ && nextListed(name);
}

// Empty entries, such as a blank last line, name no picture.
bool NameList::nextListed(QString* name)
{
    for (;;) {
        std::int64_t length = 0;
        if (!readLine(&length))
            return false;
        ++lineNumber_;
        // A list written on Windows ends its lines in CR LF; its first line tells.
        if (separator_ == '\n' && lineNumber_ == 1)
            crLineEnds_ = line_.endsWith('\r');
        if (crLineEnds_ && length == line_.size() && line_.endsWith('\r')) {
            line_.chop(1);
            --length;
        }
        if (length == 0)
            continue;
        const QString where = "line " + QString::number(lineNumber_) + " of the list";
        if (length > line_.size()) {
            *name = NameFromBytes(line_.left(shownBytes)) + "...";
            lineError_ = "Cannot read " + where + ": it is " + QString::number(length) + " bytes long, more than the "
                + QString::number(PATH_MAX - 1) + " bytes of the longest file name.";
        } else if (line_.contains('\0')) {
            *name = NameFromBytes(line_.left(line_.indexOf('\0')));
            lineError_ = "Cannot read " + where + ": it holds a NUL byte, which no file name can; --null reads a list "
                                                  "whose names each end with one.";
        } else {
            *name = NameFromBytes(line_);
        }
        return true;
    }
}

// A signal that stops the run interrupts a list that is slow to come, and the list ends there;
// any other signal's interruption is read on from.
int NameList::nextByte()
{
    for (;;) {
        const int c = getc_unlocked(list_);
        if (c != EOF || !std::ferror(list_) || errno != EINTR)
            return c;
        clearerr(list_);
        if (StopSignals::Requested())
            return EOF;
    }
}

// The next line into line_, up to the longest name; *length says how long it was. A line
// longer than any name is read on but not kept, and past a sane length the list is taken for
// something else that holds no names (such as /dev/zero).
bool NameList::readLine(std::int64_t* length)
{
    line_.clear();
    int c = 0;
    while ((c = nextByte()) != EOF && c != static_cast<unsigned char>(separator_)) {
        if (*length < PATH_MAX - 1)
            line_ += char(c);
        if (++*length > mostLineBytes)
            throw Exception("Cannot read the list of pictures: line " + std::to_string(lineNumber_ + 1) + " is more than "
                            + std::to_string(mostLineBytes) + " bytes long, so it is no list of names.");
    }
    // A run stopped while a line came takes no part of it for a name.
    if (StopSignals::Requested())
        return false;
    if (c == EOF && std::ferror(list_))
        throw Exception(std::string("Cannot read the list of pictures: ") + std::strerror(errno) + ".");
    return c != EOF || *length > 0;
}
