#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
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

    // The next name, or false when there are no more; a read error raises an Exception. A list
    // line that cannot be a name gives that line, cut to a readable length, with lineError()
    // saying why.
    bool next(QString* name);
    QString lineError() const { return lineError_; }
    // Whether that name is "-" on the command line, standing for frames on standard input; in
    // a list, "-" names a file.
    bool namesStandardInput() const { return namesStandardInput_; }

private:
    bool nextListed(QString* name);
    bool readLine(std::int64_t* length);
    int nextByte();

    QStringList names_;
    qsizetype nextName_ = 0;
    std::FILE* list_ = nullptr;
    bool ownsList_ = false;
    char separator_;
    QByteArray line_;
    std::int64_t lineNumber_ = 0;
    bool crLineEnds_ = false;
    QString lineError_;
    QString openError_;
    bool namesStandardInput_ = false;
};
