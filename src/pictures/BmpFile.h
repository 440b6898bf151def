#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <string>

struct iovec;
class RowSink;

// The headers of a bitmap file ("BM"), checked against the file's length before a single pixel
// is read, so that a damaged or cut-short file is refused with a reason instead of being handed
// on half read. Uncompressed 24-bit files already store their rows as a 24-bit picture holds
// them (blue, green, red bytes, each row padded to 4 bytes) and are read straight into one;
// every other kind is left to Qt once its headers pass.
class BmpFile {
public:
    // The most bytes the headers take: the file header and the largest info header.
    static constexpr int HeaderBytes = 14 + 124;

    // start holds the file's first bytes (HeaderBytes, or the whole file when it is shorter) and
    // fileLength the length of the whole file. Any fault raises a PictureError that says what is
    // wrong. A plain 24-bit bitmap whose rows go to `rows` a few at a time is held to the limits
    // of that sink; every other one to those of a picture held whole.
    BmpFile(const QByteArray& start, std::int64_t fileLength, const RowSink* rows = nullptr);

    int Width() const { return int(width_); }
    int Height() const;
    bool IsPlainTwentyFourBit() const { return bitsPerPixel_ == 24 && compression_ == compressionNone; }

    // Reads the pixels of a plain 24-bit file, open as descriptor, into a new 24-bit picture.
    QImage ReadTwentyFourBitPicture(int descriptor) const;
    // The same pixels handed to sink top row first, as many rows at a time as it holds.
    void ReadTwentyFourBitRows(int descriptor, RowSink& sink) const;
    // Where the shown row y (0 at the top) starts in the file.
    std::int64_t RowOffset(int y) const;

    // What the headers cannot tell and Qt's reader lets pass, quietly drawing something: pixels
    // that name colours past the palette, run-length data that overruns a row or the picture or
    // stops early, and bit-field masks that are zero or overlap. file holds the whole file.
    void CheckContents(const QByteArray& file) const;

private:
    static constexpr std::uint32_t compressionNone = 0;

    [[noreturn]] void fail(const std::string& why) const;
    void readInfoHeader(const QByteArray& start, std::int64_t fileLength);
    void checkGeometry(const RowSink* rows) const;
    void checkPixelData(std::int64_t fileLength) const;
    bool isUncompressed() const;
    std::int64_t rowBytes() const;
    int paletteColours() const;
    void checkPaletteIndex(int index) const;
    void checkIndexedPixels(const QByteArray& file) const;
    struct RunLengthWalk;
    void checkRunLengths(const QByteArray& file) const;
    void advanceRun(RunLengthWalk& walk, int count) const;
    void checkEncodedRun(RunLengthWalk& walk, int count, int value) const;
    bool checkEscape(RunLengthWalk& walk, int value) const;
    void checkSkip(RunLengthWalk& walk) const;
    void checkAbsoluteRun(RunLengthWalk& walk, int count) const;
    void checkBitFieldMasks(const QByteArray& file) const;
    void readFully(int descriptor, std::int64_t at, iovec* pieces, int count) const;

    std::uint32_t dataOffset_ = 0;
    std::uint32_t headerSize_ = 0;
    std::int64_t width_ = 0;
    std::int64_t storedHeight_ = 0;
    int planes_ = 0;
    int bitsPerPixel_ = 0;
    std::uint32_t compression_ = compressionNone;
    std::uint32_t coloursUsed_ = 0;
};
