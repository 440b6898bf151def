#include "PictureFile.h"

#include "BmpFile.h"
#include "PictureCompleteness.h"
#include "PictureSink.h"
#include "RowDecoding.h"
#include "SysUtils.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <optional>

namespace {

void openPictureFile(QFile& file, const std::string& fileName)
{
    const QFileInfo info(file.fileName());
    if (!info.exists())
        FailOnPictureFile("Cannot open", fileName, "the file does not exist.");
    if (info.isDir())
        FailOnPictureFile("Cannot open", fileName, "it is a folder, not a picture file.");
    if (!info.isReadable())
        FailOnPictureFile("Cannot open", fileName, "permission denied.");
    if (!file.open(QIODevice::ReadOnly))
        FailOnPictureFile("Cannot open", fileName, file.errorString().toStdString() + ".");
}

QByteArray readFrom(QFile& file, const std::string& fileName, qint64 most = -1)
{
    QByteArray bytes = most < 0 ? file.readAll() : file.read(most);
    if (file.error() != QFileDevice::NoError)
        FailOnPictureFile("Cannot read", fileName, file.errorString().toStdString() + ".");
    return bytes;
}

QImage decodeWithQt(QByteArray bytes, const std::string& fileName)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(int(MaxPicturePixels * 4 / (1024 * 1024) + 1));
    if (!reader.canRead())
        FailOnPictureFile("Cannot read", fileName, "it is not a picture in a format this program reads.");
    const QSize size = reader.size();
    if (size.isValid())
        CheckPictureSize(size.width(), size.height(), fileName);
    if (PictureDataCutShort(bytes))
        FailOnPictureFile("Cannot read", fileName, "the picture data is cut short.");
    QImage image = reader.read();
    if (image.isNull())
        FailOnPictureFile("Cannot read", fileName,
                          "the picture is damaged (" + reader.errorString().toStdString() + ").");
    return image;
}

}

QImage LoadPictureFile(const std::string& fileName)
{
    QFile file(QString::fromStdString(fileName));
    openPictureFile(file, fileName);
    // A pipe has no length to check a header against until all of it has been read.
    const bool wholeFirst = file.isSequential();
    QByteArray bytes = readFrom(file, fileName, wholeFirst ? -1 : BmpFile::HeaderBytes);
    if (bytes.isEmpty())
        FailOnPictureFile("Cannot read", fileName, "the file is empty.");
    if (const RowFormat format = RowFormatOf(bytes); format != RowFormat::None) {
        PictureSink sink;
        if (wholeFirst ? DecodeRows(format, bytes, fileName, sink)
                       : DecodeRows(format, file.handle(), file.size(), fileName, sink))
            return sink.TakePicture();
    }
    std::optional<BmpFile> bitmap;
    if (BmpFile::IsBitmap(bytes)) {
        bitmap.emplace(bytes, wholeFirst ? bytes.size() : file.size(), fileName);
        if (bitmap->IsPlainTwentyFourBit() && !wholeFirst)
            return bitmap->ReadTwentyFourBitPicture(file.handle());
    }
    if (!wholeFirst) {
        if (!file.seek(0))
            FailOnPictureFile("Cannot read", fileName, file.errorString().toStdString() + ".");
        bytes = readFrom(file, fileName);
    }
    if (bitmap)
        bitmap->CheckContents(bytes);
    return decodeWithQt(std::move(bytes), fileName);
}

bool StreamPictureFile(const std::string& fileName, RowSink& sink)
{
    QFile file(QString::fromStdString(fileName));
    openPictureFile(file, fileName);
    if (file.isSequential())
        return false;
    const QByteArray bytes = readFrom(file, fileName, BmpFile::HeaderBytes);
    if (bytes.isEmpty())
        FailOnPictureFile("Cannot read", fileName, "the file is empty.");
    if (const RowFormat format = RowFormatOf(bytes); format != RowFormat::None)
        return DecodeRows(format, file.handle(), file.size(), fileName, sink);
    if (!BmpFile::IsBitmap(bytes))
        return false;
    const BmpFile bitmap(bytes, file.size(), fileName);
    if (!bitmap.IsPlainTwentyFourBit())
        return false;
    bitmap.ReadTwentyFourBitRows(file.handle(), sink);
    return true;
}
