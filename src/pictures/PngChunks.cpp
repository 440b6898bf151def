#include "PngChunks.h"

#include "PictureKinds.h"
#include "PictureLimits.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::uint32_t longestChunk = 0x7FFFFFFF;
// How much compressed data is read at once: enough to make the calls few, little enough to stay
// in the processor's cache.
constexpr std::size_t inputBytes = std::size_t(256) << 10;

constexpr std::uint8_t colourTypeGrey = 0;
constexpr std::uint8_t colourTypeRgb = 2;
constexpr std::uint8_t colourTypeRgba = 6;

std::uint32_t bigEndian(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

bool isType(const std::uint8_t* type, const char* name)
{
    return std::memcmp(type, name, 4) == 0;
}

// A chunk whose type starts with a capital letter is one a reader must understand.
bool isCritical(const std::uint8_t* type)
{
    return (type[0] & 0x20) == 0;
}

}

namespace PngChunks {

bool ReadHeader(const std::uint8_t (&opening)[OpeningBytes], Header* header)
{
    const std::uint8_t* chunk = opening + SignatureBytes;
    const std::uint8_t* fields = chunk + 8;
    if (KindOf(opening, SignatureBytes) != PictureKind::Png || bigEndian(chunk) != HeaderChunkBytes
        || !isType(chunk + 4, "IHDR") || bigEndian(fields + HeaderChunkBytes) != crc32_gzip_refl(0, chunk + 4, 4 + HeaderChunkBytes))
        return false;
    header->width = bigEndian(fields);
    header->height = bigEndian(fields + 4);
    const std::uint8_t depth = fields[8], colourType = fields[9];
    const std::uint8_t compression = fields[10], filtering = fields[11], interlace = fields[12];
    header->bytesPerPixel = colourType == colourTypeGrey ? 1 : colourType == colourTypeRgb ? 3
                                                                                           : 4;
    return header->width >= 1 && header->width <= longestChunk && header->height >= 1 && header->height <= longestChunk
        && depth == 8 && (colourType == colourTypeGrey || colourType == colourTypeRgb || colourType == colourTypeRgba) && compression == 0
        && filtering == 0 && interlace == 0;
}

Inflater::Inflater(std::FILE* file)
    : file_(file), input_(inputBytes), state_(std::make_unique<inflate_state>())
{
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_ZLIB;
}

Inflater::~Inflater() = default;

void Inflater::fail(const std::string& why) const
{
    FailReading(why);
}

void Inflater::damaged(const std::string& what) const
{
    fail("the picture is damaged (" + what + ").");
}

void Inflater::read(void* to, std::size_t length)
{
    if (std::fread(to, 1, length, file_) == length)
        return;
    if (std::ferror(file_))
        fail(std::string(std::strerror(errno)) + ".");
    fail("the picture data is cut short.");
}

void Inflater::readChunkStart()
{
    std::uint8_t start[8];
    read(start, sizeof start);
    left_ = bigEndian(start);
    if (left_ > longestChunk)
        damaged("a chunk is longer than PNG allows");
    std::memcpy(type_, start + 4, 4);
    crc_ = crc32_gzip_refl(0, type_, 4);
}

// Reads the next stretch of the chunk's data into the input buffer; returns its length.
std::size_t Inflater::readPiece()
{
    const std::size_t piece = std::min<std::size_t>(left_, input_.size());
    read(input_.data(), piece);
    crc_ = crc32_gzip_refl(crc_, input_.data(), piece);
    left_ -= std::uint32_t(piece);
    return piece;
}

void Inflater::checkCrc()
{
    std::uint8_t stored[4];
    read(stored, sizeof stored);
    if (bigEndian(stored) != crc_)
        damaged(std::string(reinterpret_cast<const char*>(type_), 4) + " chunk CRC mismatch");
}

// Ancillary chunks are passed over unread, as other readers do when they do not use them;
// critical ones are checked.
void Inflater::skipChunk()
{
    if (!isCritical(type_)) {
        if (std::fseek(file_, long(left_) + 4, SEEK_CUR) != 0)
            fail(std::string(std::strerror(errno)) + ".");
        return;
    }
    while (left_ > 0)
        readPiece();
    checkCrc();
}

bool Inflater::Start()
{
    bool transparency = false;
    for (;;) {
        readChunkStart();
        if (isType(type_, "IDAT"))
            return transparency;
        transparency = transparency || isType(type_, "tRNS");
        if (isType(type_, "IEND"))
            damaged("no IDAT chunk");
        if (isCritical(type_) && !isType(type_, "PLTE"))
            damaged("unknown critical chunk " + std::string(reinterpret_cast<const char*>(type_), 4));
        skipChunk();
    }
}

// Reads the next stretch of the IDAT chunks' data; false when they are done.
bool Inflater::refill()
{
    while (moreData_ && left_ == 0) {
        checkCrc();
        readChunkStart();
        moreData_ = isType(type_, "IDAT");
    }
    if (!moreData_)
        return false;
    state_->next_in = input_.data();
    state_->avail_in = std::uint32_t(readPiece());
    return true;
}

void Inflater::inflate()
{
    const int status = isal_inflate(state_.get());
    if (status == ISAL_INCORRECT_CHECKSUM)
        damaged("the compressed data's checksum does not match");
    if (status < 0 || status == ISAL_NEED_DICT)
        damaged("invalid compressed data");
}

// Called when inflating gave no output: it has used up its input, which is refilled; it cannot
// have stopped with input left over unless the stream is broken.
void Inflater::needInput(std::uint32_t inBefore)
{
    if (state_->avail_in == 0) {
        if (!refill())
            fail("the picture data is cut short.");
    } else if (state_->avail_in == inBefore) {
        damaged("invalid compressed data");
    }
}

void Inflater::Fill(std::uint8_t* out, std::size_t length)
{
    // ISA-L counts in 32 bits; a row of a picture within the limits is far shorter.
    for (std::size_t piece; length > 0; out += piece, length -= piece) {
        piece = std::min<std::size_t>(length, std::size_t(1) << 30);
        fillPiece(out, piece);
    }
}

void Inflater::fillPiece(std::uint8_t* out, std::size_t length)
{
    state_->next_out = out;
    state_->avail_out = std::uint32_t(length);
    while (state_->avail_out > 0) {
        if (state_->block_state == ISAL_BLOCK_FINISH)
            damaged("the compressed data ends before the last row");
        const std::uint32_t outBefore = state_->avail_out, inBefore = state_->avail_in;
        inflate();
        if (state_->avail_out == outBefore)
            needInput(inBefore);
    }
}

// Data past the last row is let be, as libpng lets it be; a stream that stops short of its
// end is refused, since its checksum cannot be checked. The chunk the stream ends in is read to
// its end for its CRC.
void Inflater::Finish()
{
    std::uint8_t spare[64];
    while (state_->block_state != ISAL_BLOCK_FINISH) {
        state_->next_out = spare;
        state_->avail_out = sizeof spare;
        const std::uint32_t inBefore = state_->avail_in;
        inflate();
        if (state_->avail_out < sizeof spare)
            break;
        if (state_->block_state != ISAL_BLOCK_FINISH)
            needInput(inBefore);
    }
    if (!moreData_)
        return;
    while (left_ > 0)
        readPiece();
    checkCrc();
}

}
