#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The pictures of a run in their order: the names on the command line, then those of a list
// file, which is read a name at a time so that a list of millions costs no more than one name.
class NameList {
public:
    NameList(QStringList names, const QString& listFile, bool nullSeparated);
    ~NameList();
    NameList(const NameList&) = delete;
    NameList& operator=(const NameList&) = delete;

    // Why the list cannot be read, or an empty text.
    QString openError() const { return openError_; }

    // The next name, or false when there are no more; a read error raises an Exception.
    bool next(QString* name);
    // Whether that name is "-" on the command line, standing for frames on standard input; in
    // a list, "-" names a file.
    bool namesStandardInput() const { return namesStandardInput_; }

private:
    bool nextListed(QString* name);

    QStringList names_;
    qsizetype nextName_ = 0;
    std::FILE* list_ = nullptr;
    bool ownsList_ = false;
    char separator_;
    char* line_ = nullptr;
    std::size_t lineCapacity_ = 0;
    QString openError_;
    bool namesStandardInput_ = false;
};
