#include "PictureFile.h"

#include "BmpFile.h"
#include "InputFile.h"
#include "PictureCompleteness.h"
#include "PictureSink.h"
#include "RowDecoding.h"
#include "SysUtils.h"

#include <QBuffer>
#include <QImageReader>

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// What a first look at the bytes tells: enough to turn away an input that is no picture, such
// as a device that never ends, before reading on.
constexpr std::int64_t firstLook = 4096;

// Some readers check the size in their headers against the limit already when asked whether
// they can read a file.
void limitAllocation(QImageReader& reader)
{
    // Qt decodes 16-bit pictures at 8 bytes a pixel.
    reader.setAllocationLimit(int(MaxPicturePixels * 8 / (1024 * 1024) + 1));
}

bool looksLikePicture(QByteArray start)
{
    QBuffer buffer(&start);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    limitAllocation(reader);
    return BmpFile::IsBitmap(start) || reader.canRead();
}

void failTooLong(const std::string& fileName)
{
    FailOnPictureFile("Cannot read", fileName,
                      "the file is longer than the " + std::to_string(MaxPictureFileBytes)
                          + " bytes that a picture of " + std::to_string(MaxPicturePixels)
                          + " pixels can take.");
}

// The whole input, read once: all later checks and the decoding see only these bytes.
QByteArray readWhole(InputFile& file, const std::string& fileName)
{
    QByteArray bytes = file.Read(firstLook);
    if (bytes.isEmpty())
        FailOnPictureFile("Cannot read", fileName, "the file is empty.");
    if (std::int64_t width = 0, height = 0; XbmDeclaredSize(bytes, &width, &height))
        CheckPictureSize(width, height, fileName);
    if (!looksLikePicture(bytes))
        FailOnPictureFile("Cannot read", fileName, "it is not a picture in a format this program reads.");
    if (file.Length() > MaxPictureFileBytes)
        failTooLong(fileName);
    bytes += file.Read(MaxPictureFileBytes + 1 - bytes.size());
    if (bytes.size() > MaxPictureFileBytes)
        failTooLong(fileName);
    if (file.ShorterThan(bytes.size()))
        FailOnPictureFile("Cannot read", fileName, "the file was cut short while it was read.");
    return bytes;
}

// Qt gives a GIF's first frame as its size but decodes the whole logical screen around it.
QSize decodedSize(const QByteArray& bytes, const QSize& readerSize)
{
    if (!(bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) || bytes.size() < 10)
        return readerSize;
    const auto at = [&](int i) { return int(std::uint8_t(bytes[i])); };
    return readerSize.expandedTo(QSize(at(6) | at(7) << 8, at(8) | at(9) << 8));
}

QImage decodeWithQt(QByteArray bytes, const std::string& fileName, const PictureSizeCheck& checkSize)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    limitAllocation(reader);
    if (!reader.canRead())
        FailOnPictureFile("Cannot read", fileName, "it is not a picture in a format this program reads.");
    const QSize size = decodedSize(bytes, reader.size());
    if (size.isValid()) {
        CheckPictureSize(size.width(), size.height(), fileName);
        if (checkSize)
            checkSize(size.width(), size.height(), bytes.size());
    }
    if (PictureDataCutShort(bytes))
        FailOnPictureFile("Cannot read", fileName, "the picture data is cut short.");
    QImage image = reader.read();
    if (image.isNull())
        FailOnPictureFile("Cannot read", fileName,
                          "the picture is damaged (" + reader.errorString().toStdString() + ").");
    return image;
}

// The whole picture from a direct decoder, offered to the caller's check once its size is known.
class CheckedPictureSink : public PictureSink {
public:
    explicit CheckedPictureSink(const PictureSizeCheck& checkSize)
        : checkSize_(checkSize) {}

    void CheckSize(std::int64_t width, std::int64_t height, const std::string& fileName) const override
    {
        PictureSink::CheckSize(width, height, fileName);
        if (checkSize_)
            checkSize_(int(width), int(height), 0);
    }

private:
    const PictureSizeCheck& checkSize_;
};

void failIfCutWhileRead(const InputFile& file, const std::string& fileName)
{
    if (file.ShorterThan(file.Length()))
        FailOnPictureFile("Cannot read", fileName, "the file was cut short while it was read.");
}

}

QImage LoadPictureFile(const std::string& fileName, const PictureSizeCheck& checkSize)
{
    InputFile file(fileName);
    if (file.Length() >= 0) {
        const QByteArray start = file.Read(BmpFile::HeaderBytes);
        if (const RowFormat format = RowFormatOf(start); format != RowFormat::None) {
            CheckedPictureSink sink(checkSize);
            if (DecodeRows(format, file.Descriptor(), file.Length(), fileName, sink)) {
                failIfCutWhileRead(file, fileName);
                return sink.TakePicture();
            }
        }
        // A plain 24-bit bitmap is read straight into its picture, each row once, and a file
        // that ends before its rows do is refused as the rows are read.
        if (BmpFile::IsBitmap(start)) {
            const BmpFile bitmap(start, file.Length(), fileName);
            if (bitmap.IsPlainTwentyFourBit()) {
                if (checkSize)
                    checkSize(bitmap.Width(), bitmap.Height(), 0);
                QImage picture = bitmap.ReadTwentyFourBitPicture(file.Descriptor());
                if (file.ShorterThan(file.Length()))
                    FailOnPictureFile("Cannot read", fileName, "the pixel data is cut short.");
                return picture;
            }
        }
        if (lseek(file.Descriptor(), 0, SEEK_SET) != 0)
            FailOnPictureFile("Cannot read", fileName, std::string(std::strerror(errno)) + ".");
    }
    const QByteArray bytes = readWhole(file, fileName);
    if (const RowFormat format = RowFormatOf(bytes); format != RowFormat::None) {
        CheckedPictureSink sink(checkSize);
        if (DecodeRows(format, bytes, fileName, sink))
            return sink.TakePicture();
    }
    if (BmpFile::IsBitmap(bytes))
        BmpFile(bytes, bytes.size(), fileName).CheckContents(bytes);
    return decodeWithQt(bytes, fileName, checkSize);
}

bool StreamPictureFile(const std::string& fileName, RowSink& sink)
{
    InputFile file(fileName);
    // Pipes and devices have no length to check a header against: they are read whole.
    if (file.Length() < 0)
        return false;
    const QByteArray start = file.Read(BmpFile::HeaderBytes);
    if (start.isEmpty())
        FailOnPictureFile("Cannot read", fileName, "the file is empty.");
    if (const RowFormat format = RowFormatOf(start); format != RowFormat::None) {
        if (!DecodeRows(format, file.Descriptor(), file.Length(), fileName, sink))
            return false;
        failIfCutWhileRead(file, fileName);
        return true;
    }
    if (!BmpFile::IsBitmap(start))
        return false;
    const BmpFile bitmap(start, file.Length(), fileName);
    if (!bitmap.IsPlainTwentyFourBit())
        return false;
    bitmap.ReadTwentyFourBitRows(file.Descriptor(), sink);
    if (file.ShorterThan(file.Length()))
        FailOnPictureFile("Cannot read", fileName, "the pixel data is cut short.");
    return true;
}
