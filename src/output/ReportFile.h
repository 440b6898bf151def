#pragma once

#include <QByteArray>
#include <QString>

#include <mutex>

// The report's file: written under a temporary name beside it and put in place whole by
// Finish, so that no reader ever sees half a page and an earlier report is only replaced when
// asked to be. Write may be called from another thread than the rest, one thread at a time.
class ReportFile {
public:
    ReportFile(QString path, bool overwrite);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Why the file cannot be written (it is there and overwrite was not asked, the folder is
    // not writable, a write failed), or an empty text.
    QString Error() const;
    void Write(const QByteArray& text);
    // Puts the file in place; returns why it could not be, or an empty text. Without Finish the
    // temporary file is removed.
    QString Finish();

private:
    void fail(const QString& why);
    void placeFile();

    QString path_;
    QString temporary_;
    int descriptor_ = -1;
    bool overwrite_;
    // The first failure, which a thread that writes may note while another asks for it.
    mutable std::mutex errorLock_;
    QString error_;
};
