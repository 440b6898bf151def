#include "NameList.h"

#include "CommandLine.h"
#include "NameEscaping.h"
#include "SysUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
    std::free(line_);
}

bool NameList::next(QString* name)
{
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
        const ssize_t length = getdelim(&line_, &lineCapacity_, separator_, list_);
        if (length < 0) {
            if (std::ferror(list_))
                throw Exception(std::string("Cannot read the list of pictures: ") + std::strerror(errno) + ".");
            return false;
        }
        const qsizetype nameLength = length - (line_[length - 1] == separator_ ? 1 : 0);
        if (nameLength > 0) {
            *name = NameFromBytes(QByteArray(line_, nameLength));
            return true;
        }
    }
}
