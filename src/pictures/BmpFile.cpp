#include "BmpFile.h"

#include "PictureLimits.h"
#include "PixelMemory.h"
#include "RowSink.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t coreHeaderSize = 12;
constexpr std::uint32_t infoHeaderSizes[] = {40, 52, 56, 64, 108, 124};
constexpr int depths[] = {1, 4, 8, 16, 24, 32};
// None (0), run lengths (1, 2), bit fields (3), JPEG (4), PNG (5) and bit fields with alpha (6).
constexpr std::uint32_t lastCompression = 6;
constexpr std::uint32_t compressionRunLength8 = 1;
constexpr std::uint32_t compressionRunLength4 = 2;
constexpr std::uint32_t compressionBitFields = 3;
constexpr std::uint32_t compressionAlphaBitFields = 6;

std::uint32_t readU32(const QByteArray& bytes, int at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

std::uint16_t readU16(const QByteArray& bytes, int at)
{
    return std::uint16_t(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8);
}

bool isKnownHeaderSize(std::uint32_t size)
{
    return size == coreHeaderSize
        || std::find(std::begin(infoHeaderSizes), std::end(infoHeaderSizes), size) != std::end(infoHeaderSizes);
}

// Pieces of a vectored read; the system allows at least 16 and Linux 1024.
int piecesPerRead()
{
    const long limit = sysconf(_SC_IOV_MAX);
    return limit > 0 ? int(std::min<long>(limit, 1024)) : 16;
}

}

BmpFile::BmpFile(const QByteArray& start, std::int64_t fileLength, const RowSink* rows)
{
    readInfoHeader(start, fileLength);
    checkGeometry(rows);
    checkPixelData(fileLength);
}

void BmpFile::fail(const std::string& why) const
{
    FailReading(why);
}

void BmpFile::readInfoHeader(const QByteArray& start, std::int64_t fileLength)
{
    if (start.size() < 18)
        fail("the bitmap header is cut short.");
    dataOffset_ = readU32(start, 10);
    headerSize_ = readU32(start, 14);
    if (!isKnownHeaderSize(headerSize_))
        fail("the bitmap header has an unknown size of " + std::to_string(headerSize_) + " bytes.");
    if (std::min<std::int64_t>(start.size(), fileLength) < 14 + std::int64_t(headerSize_))
        fail("the bitmap header is cut short.");
    if (headerSize_ == coreHeaderSize) {
        width_ = readU16(start, 18);
        storedHeight_ = std::int16_t(readU16(start, 20));
        planes_ = readU16(start, 22);
        bitsPerPixel_ = readU16(start, 24);
    } else {
        width_ = std::int32_t(readU32(start, 18));
        storedHeight_ = std::int32_t(readU32(start, 22));
        planes_ = readU16(start, 26);
        bitsPerPixel_ = readU16(start, 28);
        compression_ = readU32(start, 30);
        coloursUsed_ = readU32(start, 46);
    }
}

void BmpFile::checkGeometry(const RowSink* rows) const
{
    if (planes_ != 1)
        fail("the bitmap has " + std::to_string(planes_) + " colour planes instead of 1.");
    if (std::find(std::begin(depths), std::end(depths), bitsPerPixel_) == std::end(depths))
        fail("the bitmap has an unknown depth of " + std::to_string(bitsPerPixel_) + " bits per pixel.");
    if (compression_ > lastCompression)
        fail("the bitmap has an unknown compression (" + std::to_string(compression_) + ").");
    if (width_ <= 0 || storedHeight_ == 0)
        fail("the bitmap has no pixels (width " + std::to_string(width_) + ", height "
             + std::to_string(storedHeight_) + ").");
    // A top-down bitmap stores its height negated, and INT_MIN has no positive counterpart.
    if (storedHeight_ == INT32_MIN)
        fail("the bitmap's height of " + std::to_string(storedHeight_) + " rows is out of range.");
    if (rows && IsPlainTwentyFourBit())
        rows->CheckSize(width_, std::abs(storedHeight_));
    else
        CheckPictureSize(width_, std::abs(storedHeight_));
}

void BmpFile::checkPixelData(std::int64_t fileLength) const
{
    if (dataOffset_ > fileLength)
        fail("the pixel data starts past the end of the file.");
    if (dataOffset_ < 14 + std::int64_t(headerSize_))
        fail("the pixel data would start inside the bitmap header.");
    // Qt's reader hands back a half-filled picture, and calls it success, when the pixel data is
    // cut short; an uncompressed bitmap's size is known from its header, so check it first.
    if (isUncompressed() && dataOffset_ + rowBytes() * std::abs(storedHeight_) > fileLength)
        fail("the pixel data is cut short.");
}

bool BmpFile::isUncompressed() const
{
    return compression_ == compressionNone || compression_ == compressionBitFields
        || compression_ == compressionAlphaBitFields;
}

std::int64_t BmpFile::RowOffset(int y) const
{
    const std::int64_t stored = storedHeight_ < 0 ? y : Height() - 1 - y;
    return dataOffset_ + stored * rowBytes();
}

std::int64_t BmpFile::rowBytes() const
{
    return (width_ * bitsPerPixel_ + 31) / 32 * 4;
}

int BmpFile::Height() const
{
    return int(std::abs(storedHeight_));
}

QImage BmpFile::ReadTwentyFourBitPicture(int descriptor) const
{
    QImage picture = NewPixelImage(Width(), Height(), QImage::Format_BGR888);
    if (picture.isNull())
        fail("there is not enough memory for a picture of " + std::to_string(width_) + " x "
             + std::to_string(Height()) + " pixels.");
    // Both pad each row to a multiple of 4 bytes, so a stored row fills a picture row exactly.
    const std::size_t length = std::size_t(picture.bytesPerLine());
    uchar* const top = picture.bits();
    const bool topDown = storedHeight_ < 0;
    std::vector<iovec> pieces(std::size_t(std::min(Height(), piecesPerRead())));
    std::int64_t at = dataOffset_;
    for (int first = 0; first < Height(); first += int(pieces.size())) {
        const int count = std::min(int(pieces.size()), Height() - first);
        for (int i = 0; i < count; ++i) {
            const int row = topDown ? first + i : Height() - 1 - (first + i);
            pieces[std::size_t(i)] = {top + std::size_t(row) * length, length};
        }
        readFully(descriptor, at, pieces.data(), count);
        at += std::int64_t(count) * std::int64_t(length);
    }
    return picture;
}

// A bottom-up file keeps the top rows at its end, so each band of rows is read from there,
// its rows landing in reverse.
void BmpFile::ReadTwentyFourBitRows(int descriptor, RowSink& sink) const
{
    sink.Begin(Width(), Height());
    const std::size_t length = std::size_t(rowBytes());
    const bool topDown = storedHeight_ < 0;
    const int band = std::clamp(sink.RowsAtOnce(), 1, piecesPerRead());
    std::vector<iovec> pieces(std::size_t(std::min(Height(), band)));
    for (int first = 0; first < Height(); first += band) {
        const int count = std::min(band, Height() - first);
        for (int i = 0; i < count; ++i)
            pieces[std::size_t(topDown ? i : count - 1 - i)] = {sink.RowBuffer(first + i, 3), length};
        const std::int64_t firstStored = topDown ? first : Height() - first - count;
        readFully(descriptor, dataOffset_ + firstStored * std::int64_t(length), pieces.data(), count);
        for (int i = 0; i < count; ++i)
            sink.RowDone(first + i, 3);
    }
}

void BmpFile::readFully(int descriptor, std::int64_t at, iovec* pieces, int count) const
{
    while (count > 0) {
        const ssize_t got = preadv(descriptor, pieces, count, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(std::string(std::strerror(errno)) + ".");
        if (got == 0)
            fail("the pixel data is cut short.");
        at += got;
        std::size_t left = std::size_t(got);
        for (; count > 0 && left >= pieces->iov_len; ++pieces, --count)
            left -= pieces->iov_len;
        if (count > 0) {
            pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
}

void BmpFile::CheckContents(const QByteArray& file) const
{
    if (compression_ == compressionBitFields || compression_ == compressionAlphaBitFields)
        checkBitFieldMasks(file);
    if (bitsPerPixel_ > 8)
        return;
    if (coloursUsed_ > (1u << bitsPerPixel_))
        fail("the palette claims " + std::to_string(coloursUsed_) + " colours, more than a picture of "
             + std::to_string(bitsPerPixel_) + " bits per pixel can use.");
    if (compression_ == compressionRunLength8 || compression_ == compressionRunLength4)
        checkRunLengths(file);
    else if (paletteColours() < (1 << bitsPerPixel_))
        checkIndexedPixels(file);
}

int BmpFile::paletteColours() const
{
    return coloursUsed_ ? int(coloursUsed_) : 1 << bitsPerPixel_;
}

void BmpFile::checkPaletteIndex(int index) const
{
    if (index >= paletteColours())
        fail("a pixel names colour " + std::to_string(index) + " of a palette of "
             + std::to_string(paletteColours()) + " colours.");
}

void BmpFile::checkIndexedPixels(const QByteArray& file) const
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(file.constData()) + dataOffset_;
    const int perByte = 8 / bitsPerPixel_;
    const int mask = (1 << bitsPerPixel_) - 1;
    for (int row = 0; row < Height(); ++row, data += rowBytes())
        for (int x = 0; x < Width(); ++x) {
            const int shift = 8 - bitsPerPixel_ * (x % perByte + 1);
            checkPaletteIndex(data[x / perByte] >> shift & mask);
        }
}

// Walks the run-length commands as a decoder would, without drawing: each run or literal
// stretch must stay within its row and within the picture, and the data must reach its end.
// Where a walk through run-length data stands: its next byte, and the pixel the next run
// starts at.
struct BmpFile::RunLengthWalk {
    const std::uint8_t* at;
    const std::uint8_t* end;
    bool fourBit;
    std::int64_t x = 0;
    std::int64_t y = 0;

    std::int64_t left() const { return end - at; }
};

void BmpFile::checkRunLengths(const QByteArray& file) const
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.constData());
    RunLengthWalk walk{bytes + dataOffset_, bytes + file.size(), compression_ == compressionRunLength4};
    while (true) {
        if (walk.left() < 2) {
            // Some writers leave out the closing command once every row has been given.
            if (walk.y >= Height())
                return;
            fail("the run-length pixel data is cut short.");
        }
        const int count = walk.at[0], value = walk.at[1];
        walk.at += 2;
        if (count > 0)
            checkEncodedRun(walk, count, value);
        else if (!checkEscape(walk, value))
            return;
    }
}

void BmpFile::advanceRun(RunLengthWalk& walk, int count) const
{
    if (walk.y >= Height())
        fail("the run-length data goes past the last row of the picture.");
    if (walk.x + count > width_)
        fail("a run goes past the end of row " + std::to_string(walk.y) + ".");
    walk.x += count;
}

void BmpFile::checkEncodedRun(RunLengthWalk& walk, int count, int value) const
{
    advanceRun(walk, count);
    checkPaletteIndex(walk.fourBit ? value >> 4 : value);
    if (walk.fourBit && count > 1)
        checkPaletteIndex(value & 0x0F);
}

// False for the end of the picture.
bool BmpFile::checkEscape(RunLengthWalk& walk, int value) const
{
    switch (value) {
    case 0:
        walk.x = 0;
        ++walk.y;
        return true;
    case 1:
        return false;
    case 2:
        checkSkip(walk);
        return true;
    default:
        checkAbsoluteRun(walk, value);
        return true;
    }
}

void BmpFile::checkSkip(RunLengthWalk& walk) const
{
    if (walk.left() < 2)
        fail("the run-length pixel data is cut short.");
    walk.x += walk.at[0];
    walk.y += walk.at[1];
    walk.at += 2;
    if (walk.x > width_ || walk.y > Height())
        fail("a skip in the run-length data goes past the picture's last row or column.");
}

void BmpFile::checkAbsoluteRun(RunLengthWalk& walk, int count) const
{
    const int bytes = walk.fourBit ? (count + 1) / 2 : count;
    const int padded = (bytes + 1) & ~1;
    if (walk.left() < padded)
        fail("the run-length pixel data is cut short.");
    advanceRun(walk, count);
    for (int i = 0; i < count; ++i)
        checkPaletteIndex(walk.fourBit ? walk.at[i / 2] >> (i % 2 ? 0 : 4) & 0x0F : walk.at[i]);
    walk.at += padded;
}

void BmpFile::checkBitFieldMasks(const QByteArray& file) const
{
    if (bitsPerPixel_ != 16 && bitsPerPixel_ != 32)
        fail("bit-field masks need 16 or 32 bits per pixel, not " + std::to_string(bitsPerPixel_) + ".");
    const bool withAlpha = compression_ == compressionAlphaBitFields || headerSize_ >= 56;
    const int masks = withAlpha ? 4 : 3;
    if (file.size() < 54 + 4 * masks)
        fail("the bit-field masks are cut short.");
    std::uint32_t seen = 0;
    for (int i = 0; i < masks; ++i) {
        const std::uint32_t mask = readU32(file, 54 + 4 * i);
        if (mask == 0 && i < 3)
            fail("the bit-field mask of a colour is zero.");
        if (mask & seen)
            fail("the bit-field masks overlap.");
        seen |= mask;
    }
}
