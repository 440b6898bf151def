#include "PngRows.h"

#include "PictureKinds.h"
#include "PictureLimits.h"
#include "PngFilters.h"
#include "RowSink.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t signatureBytes = 8;
constexpr std::size_t headerChunkBytes = 13;
constexpr std::size_t openingBytes = signatureBytes + 8 + headerChunkBytes + 4;
constexpr std::uint32_t longestChunk = 0x7FFFFFFF;
// How much compressed data is read, and how many filtered rows are inflated, at once: enough
// to make the calls few, little enough to stay in the processor's cache.
constexpr std::size_t inputBytes = std::size_t(256) << 10;
constexpr std::size_t bandBytes = std::size_t(256) << 10;
// Pictures of at least this many filtered bytes are inflated in a thread of their own; below it,
// starting the thread costs more than it saves, and a batch keeps every core busy anyway.
constexpr std::int64_t twoThreadsFrom = std::int64_t(16) << 20;

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

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bytesPerPixel = 0;
};

// The header, when the file opens with one of a kind this reader takes, whole and sound;
// anything else, damage included, goes to libspng and its messages.
bool readHeader(const std::uint8_t (&opening)[openingBytes], Header* header)
{
    const std::uint8_t* chunk = opening + signatureBytes;
    const std::uint8_t* fields = chunk + 8;
    if (KindOf(opening, signatureBytes) != PictureKind::Png || bigEndian(chunk) != headerChunkBytes
        || !isType(chunk + 4, "IHDR") || bigEndian(fields + headerChunkBytes) != crc32_gzip_refl(0, chunk + 4, 4 + headerChunkBytes))
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

// Reads the chunks after the header and inflates the data of the IDAT chunks, checking every
// chunk's CRC and, at the end, the compressed stream's own checksum.
class Inflater {
public:
    explicit Inflater(std::FILE* file)
        : file_(file), input_(inputBytes), state_(std::make_unique<inflate_state>())
    {
        isal_inflate_init(state_.get());
        state_->crc_flag = ISAL_ZLIB;
    }

    // Skips to the first IDAT chunk; says whether a transparency chunk came before it.
    bool Start();
    // Inflates exactly length bytes into out.
    void Fill(std::uint8_t* out, std::size_t length);
    // Reads on to the end of the compressed stream, checking its checksum.
    void Finish();

private:
    [[noreturn]] void fail(const std::string& why) const
    {
        FailReading(why);
    }
    [[noreturn]] void damaged(const std::string& what) const
    {
        fail("the picture is damaged (" + what + ").");
    }
    void read(void* to, std::size_t length);
    void readChunkStart();
    std::size_t readPiece();
    void checkCrc();
    void skipChunk();
    bool refill();
    void inflate();
    void needInput(std::uint32_t inBefore);
    void fillPiece(std::uint8_t* out, std::size_t length);

    std::FILE* file_;
    std::vector<std::uint8_t> input_;
    std::unique_ptr<inflate_state> state_;
    // The chunk being read: its type, the bytes of it not yet read and the CRC so far.
    std::uint8_t type_[4] = {};
    std::uint32_t left_ = 0;
    std::uint32_t crc_ = 0;
    bool moreData_ = true;
};

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

// Bands of filtered rows, handed from the thread that reads and inflates them to the one that
// undoes their filters, in turn through a ring of a few.
class BandRing {
public:
    explicit BandRing(std::size_t bandLength)
    {
        for (auto& band : bands_)
            band.resize(bandLength + PngFilters::Slack);
    }

    // The inflating side: the next band to fill, once it is free; null once the other side
    // has stopped.
    std::uint8_t* ToFill()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || filled_ - used_ < bands_.size(); });
        return stopped_ ? nullptr : bands_[filled_ % bands_.size()].data();
    }
    void Filled() { advance(filled_); }
    void Fail(std::exception_ptr failure)
    {
        std::lock_guard lock(mutex_);
        failure_ = failure;
        changed_.notify_all();
    }

    // The undoing side: the next band, once it is filled; raises what stopped the other side.
    const std::uint8_t* ToUse()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return failure_ || filled_ > used_; });
        if (filled_ == used_)
            std::rethrow_exception(failure_);
        return bands_[used_ % bands_.size()].data();
    }
    void Used() { advance(used_); }
    void Stop()
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    std::exception_ptr Failure()
    {
        std::lock_guard lock(mutex_);
        return failure_;
    }

private:
    void advance(std::size_t& count)
    {
        std::lock_guard lock(mutex_);
        ++count;
        changed_.notify_all();
    }

    std::array<std::vector<std::uint8_t>, 4> bands_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t filled_ = 0;
    std::size_t used_ = 0;
    bool stopped_ = false;
    std::exception_ptr failure_;
};

// Filtered rows are inflated a band at a time, each with its filter-type byte in front, and
// undone into two rows that take turns as the current row and the one above it. For a large
// picture the reading and inflating go on in a thread of their own, beside the undoing: each
// takes about half the time.
class Decoder {
public:
    Decoder(std::FILE* file, const Header& header, RowSink& sink)
        : inflater_(file), header_(header), sink_(sink),
          rowLength_(std::size_t(header.width) * header.bytesPerPixel), filteredLength_(rowLength_ + 1),
          rowsAtOnce_(std::clamp<std::size_t>(bandBytes / filteredLength_, 1, header.height))
    {
    }

    // Reads up to the picture data; false for a picture libspng is to read after all. Nothing
    // the size of a row is taken before the sink has accepted the picture's size.
    bool Start()
    {
        // Qt reads a grey picture with a transparency chunk through a palette in which the
        // transparent grey is black; PngFile knows how.
        return !inflater_.Start() || header_.bytesPerPixel != 1;
    }
    void Decode();

private:
    std::size_t rowsIn(std::size_t band) const
    {
        return std::min(rowsAtOnce_, header_.height - band * rowsAtOnce_);
    }
    std::size_t bands() const
    {
        return (header_.height + rowsAtOnce_ - 1) / rowsAtOnce_;
    }
    void decodeInOne();
    bool decodeInTwo();
    void inflateBands(BandRing& ring);
    void undo(std::size_t band, const std::uint8_t* filtered);

    Inflater inflater_;
    const Header& header_;
    RowSink& sink_;
    std::size_t rowLength_;
    std::size_t filteredLength_;
    std::size_t rowsAtOnce_;
    // The row being undone and the one above it, in rows_, taking turns.
    std::vector<std::uint8_t> rows_;
    std::uint8_t* above_ = nullptr;
    std::uint8_t* current_ = nullptr;
};

void Decoder::Decode()
{
    rows_.assign(2 * (rowLength_ + PngFilters::Slack), 0);
    above_ = rows_.data();
    current_ = above_ + rowLength_ + PngFilters::Slack;
    const bool large = std::int64_t(filteredLength_) * header_.height >= twoThreadsFrom;
    if (!(large && std::thread::hardware_concurrency() > 1 && decodeInTwo()))
        decodeInOne();
}

void Decoder::undo(std::size_t band, const std::uint8_t* filtered)
{
    for (std::size_t i = 0, count = rowsIn(band); i < count; ++i, filtered += filteredLength_) {
        if (!PngFilters::Undo(filtered[0], filtered + 1, above_, current_, rowLength_, header_.bytesPerPixel))
            FailReading("the picture is damaged (invalid filter type).");
        sink_.TakeDecodedRow(int(band * rowsAtOnce_ + i), current_, int(header_.width), header_.bytesPerPixel);
        std::swap(above_, current_);
    }
}

void Decoder::decodeInOne()
{
    std::vector<std::uint8_t> band(filteredLength_ * rowsAtOnce_ + PngFilters::Slack);
    for (std::size_t i = 0; i < bands(); ++i) {
        inflater_.Fill(band.data(), rowsIn(i) * filteredLength_);
        undo(i, band.data());
    }
    inflater_.Finish();
}

void Decoder::inflateBands(BandRing& ring)
{
    try {
        for (std::size_t i = 0; i < bands(); ++i) {
            std::uint8_t* band = ring.ToFill();
            if (!band)
                return;
            inflater_.Fill(band, rowsIn(i) * filteredLength_);
            ring.Filled();
        }
        inflater_.Finish();
    } catch (...) {
        ring.Fail(std::current_exception());
    }
}

// False, with nothing read, when no thread can be started; the caller then does it all.
bool Decoder::decodeInTwo()
{
    BandRing ring(filteredLength_ * rowsAtOnce_);
    std::thread inflating;
    try {
        inflating = std::thread([&] { inflateBands(ring); });
    } catch (const std::system_error&) {
        return false;
    }
    {
        // However the undoing ends, the inflating thread is stopped and waited for.
        struct Joiner {
            BandRing& ring;
            std::thread& thread;
            ~Joiner()
            {
                ring.Stop();
                thread.join();
            }
        } joiner{ring, inflating};
        for (std::size_t i = 0; i < bands(); ++i) {
            undo(i, ring.ToUse());
            ring.Used();
        }
    }
    if (std::exception_ptr failure = ring.Failure())
        std::rethrow_exception(failure);
    return true;
}

}

namespace PngRows {

bool Decode(std::FILE* file, std::int64_t fileLength, RowSink& sink)
{
    const long start = std::ftell(file);
    std::uint8_t opening[openingBytes];
    Header header;
    const auto leave = [&] {
        if (start < 0 || std::fseek(file, start, SEEK_SET) != 0)
            FailReading(std::string(std::strerror(errno)) + ".");
        std::clearerr(file);
        return false;
    };
    if (start < 0 || std::fread(opening, 1, openingBytes, file) != openingBytes || !readHeader(opening, &header))
        return leave();
    Decoder decoder(file, header, sink);
    if (!decoder.Start())
        return leave();
    sink.CheckSize(header.width, header.height);
    CheckCompressedLength(fileLength, (std::int64_t(header.width) * header.bytesPerPixel + 1) * header.height);
    sink.Begin(int(header.width), int(header.height));
    decoder.Decode();
    return true;
}

void CheckCompressedLength(std::int64_t fileLength, std::int64_t filteredBytes)
{
    // Deflate shrinks data at most about 1032 times, so a header that promises more rows than
    // that could come from the file's length describes data that is not there.
    constexpr std::int64_t deflateRatioAtMost = 1032;
    if (fileLength * deflateRatioAtMost < filteredBytes)
        FailReading("the picture data is cut short.");
}

}
