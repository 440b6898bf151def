#include "PictureFile.h"

#include "BmpFile.h"
#include "InputFile.h"
#include "PictureCompleteness.h"
#include "PictureKinds.h"
#include "PnmHeader.h"
#include "PictureSink.h"
#include "RowDecoding.h"

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
    return KindOf(start) == PictureKind::Bmp || KindOf(start) == PictureKind::PnmBinary || reader.canRead();
}

void failTooLong()
{
    FailReading("the file is longer than the " + std::to_string(MaxPictureFileBytes)
                + " bytes that a picture of " + std::to_string(MaxPicturePixels)
                + " pixels can take.");
}

// The whole input, read once: all later checks and the decoding see only these bytes.
QByteArray readWhole(InputFile& file)
{
    QByteArray bytes = file.Read(firstLook);
    if (bytes.isEmpty())
        FailReading("the file is empty.");
    if (std::int64_t width = 0, height = 0; XbmDeclaredSize(bytes, &width, &height))
        CheckPictureSize(width, height);
    if (!looksLikePicture(bytes))
        FailReading("it is not a picture in a format this program reads.");
    if (file.Length() > MaxPictureFileBytes)
        failTooLong();
    bytes += file.Read(MaxPictureFileBytes + 1 - bytes.size());
    if (bytes.size() > MaxPictureFileBytes)
        failTooLong();
    if (file.ShorterThan(bytes.size()))
        FailReading("the file was cut short while it was read.");
    return bytes;
}

// Qt gives a GIF's first frame as its size but decodes the whole logical screen around it.
QSize decodedSize(const QByteArray& bytes, const QSize& readerSize)
{
    if (KindOf(bytes) != PictureKind::Gif || bytes.size() < 10)
        return readerSize;
    const auto at = [&](int i) { return int(std::uint8_t(bytes[i])); };
    return readerSize.expandedTo(QSize(at(6) | at(7) << 8, at(8) | at(9) << 8));
}

}

QImage DecodeWithQt(QByteArray bytes, const PictureSizeCheck& checkSize)
{
    // Qt's reader of PNM headers takes comments in some places and not in others.
    if (KindOf(bytes) == PictureKind::PnmBinary)
        bytes = PlainPnm(bytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    limitAllocation(reader);
    if (!reader.canRead())
        FailReading("it is not a picture in a format this program reads.");
    const QSize size = decodedSize(bytes, reader.size());
    if (size.isValid()) {
        CheckPictureSize(size.width(), size.height());
        if (checkSize)
            checkSize(size.width(), size.height(), bytes.size());
    }
    if (PictureDataCutShort(bytes))
        FailReading("the picture data is cut short.");
    // Some readers leave pixels unwritten, as Qt's does for a run-length bitmap that ends early;
    // handed a cleared picture of the size and format they will make, they fill that instead,
    // and what they leave is colour 0, not whatever the memory held.
    QImage image;
    if (reader.size().isValid() && reader.imageFormat() != QImage::Format_Invalid) {
        image = QImage(reader.size(), reader.imageFormat());
        image.fill(0);
    }
    if (!reader.read(&image) || image.isNull())
        FailReading("the picture is damaged (" + reader.errorString().toStdString() + ").");
    return image;
}

namespace {

// The whole picture from a direct decoder, offered to the caller's check once its size is known.
class CheckedPictureSink : public PictureSink {
public:
    explicit CheckedPictureSink(const PictureSizeCheck& checkSize)
        : checkSize_(checkSize) {}

    void CheckSize(std::int64_t width, std::int64_t height) const override
    {
        PictureSink::CheckSize(width, height);
        if (checkSize_)
            checkSize_(int(width), int(height), 0);
    }

private:
    const PictureSizeCheck& checkSize_;
};

void failIfCutWhileRead(const InputFile& file)
{
    if (file.ShorterThan(file.Length()))
        FailReading("the file was cut short while it was read.");
}

}

QImage LoadPictureFile(const std::string& fileName, const PictureSizeCheck& checkSize)
{
    InputFile file(fileName);
    if (file.Length() >= 0) {
        const QByteArray start = file.Read(BmpFile::HeaderBytes);
        if (const PictureKind kind = KindOf(start); DecodesRows(kind)) {
            CheckedPictureSink sink(checkSize);
            if (DecodeRows(kind, file.Descriptor(), file.Length(), sink)) {
                failIfCutWhileRead(file);
                return sink.TakePicture();
            }
        }
        // A plain 24-bit bitmap is read straight into its picture, each row once, and a file
        // that ends before its rows do is refused as the rows are read.
        if (KindOf(start) == PictureKind::Bmp) {
            const BmpFile bitmap(start, file.Length());
            if (bitmap.IsPlainTwentyFourBit()) {
                if (checkSize)
                    checkSize(bitmap.Width(), bitmap.Height(), 0);
                QImage picture = bitmap.ReadTwentyFourBitPicture(file.Descriptor());
                if (file.ShorterThan(file.Length()))
                    FailReading("the pixel data is cut short.");
                return picture;
            }
        }
        if (lseek(file.Descriptor(), 0, SEEK_SET) != 0)
            FailReading(std::string(std::strerror(errno)) + ".");
    }
    const QByteArray bytes = readWhole(file);
    if (const PictureKind kind = KindOf(bytes); DecodesRows(kind)) {
        CheckedPictureSink sink(checkSize);
        if (DecodeRows(kind, bytes, sink))
            return sink.TakePicture();
    }
    if (KindOf(bytes) == PictureKind::Bmp)
        BmpFile(bytes, bytes.size()).CheckContents(bytes);
    return DecodeWithQt(bytes, checkSize);
}

bool StreamPictureFile(const std::string& fileName, RowSink& sink)
{
    InputFile file(fileName);
    // Pipes and devices have no length to check a header against: they are read whole.
    if (file.Length() < 0)
        return false;
    const QByteArray start = file.Read(BmpFile::HeaderBytes);
    if (start.isEmpty())
        FailReading("the file is empty.");
    if (const PictureKind kind = KindOf(start); DecodesRows(kind)) {
        if (!DecodeRows(kind, file.Descriptor(), file.Length(), sink))
            return false;
        failIfCutWhileRead(file);
        return true;
    }
    if (KindOf(start) != PictureKind::Bmp)
        return false;
    const BmpFile bitmap(start, file.Length(), &sink);
    if (!bitmap.IsPlainTwentyFourBit())
        return false;
    bitmap.ReadTwentyFourBitRows(file.Descriptor(), sink);
    if (file.ShorterThan(file.Length()))
        FailReading("the pixel data is cut short.");
    return true;
}
