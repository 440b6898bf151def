#include "PngFile.h"

#include "PictureLimits.h"
#include "PngRows.h"
#include "RowSink.h"

#include <spng.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// No chunk of a sound picture comes near this; it bounds what a damaged one makes us hold.
constexpr std::size_t largestChunk = std::size_t(64) << 20;

constexpr std::uint8_t colourTypeGrey = 0;
constexpr std::uint8_t colourTypeGreyAlpha = 4;

using Context = std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)>;

class Decoder {
public:
    Decoder(std::FILE* file, RowSink& sink);
    void decode(std::int64_t fileLength);

private:
    [[noreturn]] void fail(int error) const;
    void check(int error) const
    {
        if (error)
            fail(error);
    }
    void chooseFormat();
    void decodeRows();
    void decodeInterlaced();
    void deliver(int y, const std::uint8_t* decoded);
    void deliverSixteenBits(int y, const std::uint8_t* decoded);
    void deliverGrey(int y, const std::uint8_t* decoded);

    Context context_;
    RowSink& sink_;
    spng_ihdr header_{};
    int format_ = SPNG_FMT_RGB8;
    int bytesPerPixel_ = 3;
    bool swapRedAndBlue_ = false;
    bool greyExpanded_ = false;
    // The grey value a grey picture's transparency chunk names, or -1.
    int transparentGrey_ = -1;
    std::vector<std::uint8_t> decoded_;
};

Decoder::Decoder(std::FILE* file, RowSink& sink)
    : context_(spng_ctx_new(0), spng_ctx_free), sink_(sink)
{
    if (!context_)
        throw std::bad_alloc();
    check(spng_set_chunk_limits(context_.get(), largestChunk, 4 * largestChunk));
    check(spng_set_png_file(context_.get(), file));
}

void Decoder::fail(int error) const
{
    if (error == SPNG_IO_EOF)
        FailReading("the picture data is cut short.");
    if (error == SPNG_IO_ERROR)
        FailReading(std::string(std::strerror(errno)) + ".");
    FailReading("the picture is damaged (" + std::string(spng_strerror(error)) + ").");
}

// 16-bit samples come whole and are rounded here as Qt rounds them; grey comes one byte a
// pixel, spread over three here unless the sink takes grey; everything else comes as three
// bytes. Qt reads a grey picture of up to 8 bits with a transparency chunk through a palette
// in which the transparent grey is black.
void Decoder::chooseFormat()
{
    if (header_.bit_depth == 16) {
        format_ = SPNG_FMT_RGBA16;
        decoded_.resize(std::size_t(header_.width) * 8);
    } else if (header_.color_type == colourTypeGrey) {
        format_ = SPNG_FMT_G8;
        greyExpanded_ = !sink_.TakesGreyRows();
        bytesPerPixel_ = greyExpanded_ ? 3 : 1;
        if (greyExpanded_)
            decoded_.resize(header_.width);
        spng_trns transparency{};
        const int largest = (1 << header_.bit_depth) - 1;
        if (spng_get_trns(context_.get(), &transparency) == SPNG_OK && transparency.gray <= largest)
            transparentGrey_ = transparency.gray * 255 / largest;
    } else {
        swapRedAndBlue_ = !sink_.TakesAnyColourOrder();
    }
}

void Decoder::decode(std::int64_t fileLength)
{
    check(spng_get_ihdr(context_.get(), &header_));
    const std::int64_t channels = header_.color_type == 2 ? 3 : header_.color_type == 6 ? 4
        : header_.color_type == colourTypeGreyAlpha                                     ? 2
                                                                                        : 1;
    const std::int64_t rowBytes = (std::int64_t(header_.width) * channels * header_.bit_depth + 7) / 8 + 1;
    sink_.CheckSize(header_.width, header_.height);
    PngRows::CheckCompressedLength(fileLength, rowBytes * header_.height);
    chooseFormat();
    sink_.Begin(int(header_.width), int(header_.height));
    if (header_.interlace_method)
        decodeInterlaced();
    else
        decodeRows();
}

void Decoder::decodeRows()
{
    check(spng_decode_image(context_.get(), nullptr, 0, format_, SPNG_DECODE_PROGRESSIVE));
    const std::size_t length = decoded_.empty() ? std::size_t(header_.width) * bytesPerPixel_ : decoded_.size();
    for (int y = 0; y < int(header_.height); ++y) {
        std::uint8_t* row = decoded_.empty() ? sink_.RowBuffer(y, bytesPerPixel_) : decoded_.data();
        const int error = spng_decode_row(context_.get(), row, length);
        if (error && !(error == SPNG_EOI && y == int(header_.height) - 1))
            fail(error);
        deliver(y, row);
    }
}

// Interlaced rows arrive a pass at a time, so the picture is decoded whole first, within the
// limit of a picture held whole.
void Decoder::decodeInterlaced()
{
    std::size_t length = 0;
    check(spng_decoded_image_size(context_.get(), format_, &length));
    sink_.CheckHeldWhole(header_.width, header_.height, std::int64_t(length));
    std::vector<std::uint8_t> image(length);
    check(spng_decode_image(context_.get(), image.data(), length, format_, 0));
    const std::size_t rowLength = length / header_.height;
    for (int y = 0; y < int(header_.height); ++y) {
        const std::uint8_t* decoded = image.data() + rowLength * std::size_t(y);
        if (decoded_.empty())
            std::memcpy(sink_.RowBuffer(y, bytesPerPixel_), decoded, rowLength);
        deliver(y, decoded);
    }
}

// Qt's rounding of a 16-bit sample to 8 bits: the nearest multiple of 257, halves down.
inline std::uint8_t eightBits(std::uint16_t sample)
{
    const int raised = sample + 128;
    return std::uint8_t((raised - (raised >> 8)) >> 8);
}

void Decoder::deliverSixteenBits(int y, const std::uint8_t* decoded)
{
    std::uint8_t* row = sink_.RowBuffer(y, 3);
    const int width = int(header_.width);
    for (int x = 0; x < width; ++x) {
        std::uint16_t rgba[4];
        std::memcpy(rgba, decoded + 8 * x, sizeof rgba);
        row[3 * x] = eightBits(rgba[2]);
        row[3 * x + 1] = eightBits(rgba[1]);
        row[3 * x + 2] = eightBits(rgba[0]);
    }
    sink_.RowDone(y, 3);
}

void Decoder::deliverGrey(int y, const std::uint8_t* decoded)
{
    std::uint8_t* row = sink_.RowBuffer(y, bytesPerPixel_);
    const int width = int(header_.width);
    for (int x = 0; x < width; ++x) {
        const std::uint8_t grey = decoded[x] == transparentGrey_ ? 0 : decoded[x];
        if (greyExpanded_)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = grey;
        else
            row[x] = grey;
    }
    sink_.RowDone(y, bytesPerPixel_);
}

void Decoder::deliver(int y, const std::uint8_t* decoded)
{
    if (format_ == SPNG_FMT_RGBA16)
        return deliverSixteenBits(y, decoded);
    if (format_ == SPNG_FMT_G8 && (greyExpanded_ || transparentGrey_ >= 0))
        return deliverGrey(y, decoded);
    if (swapRedAndBlue_) {
        std::uint8_t* row = sink_.RowBuffer(y, 3);
        for (int x = 0; x < int(header_.width); ++x)
            std::swap(row[3 * x], row[3 * x + 2]);
    }
    sink_.RowDone(y, bytesPerPixel_);
}

}

namespace PngFile {

void Decode(std::FILE* file, std::int64_t fileLength, RowSink& sink)
{
    if (!PngRows::Decode(file, fileLength, sink))
        Decoder(file, sink).decode(fileLength);
}

}
