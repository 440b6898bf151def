#include "PngRows.h"

#include "PictureLimits.h"
#include "PngChunks.h"
#include "PngFilters.h"
#include "RowSink.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// How many filtered rows are inflated at once: enough to make the calls few, little enough to
// stay in the processor's cache.
constexpr std::size_t bandBytes = std::size_t(256) << 10;
// Pictures of at least this many filtered bytes are inflated in a thread of their own; below it,
// starting the thread costs more than it saves, and a batch keeps every core busy anyway.
constexpr std::int64_t twoThreadsFrom = std::int64_t(16) << 20;

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
    Decoder(std::FILE* file, const PngChunks::Header& header, RowSink& sink)
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

    PngChunks::Inflater inflater_;
    const PngChunks::Header& header_;
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
    std::uint8_t opening[PngChunks::OpeningBytes];
    PngChunks::Header header;
    const auto leave = [&] {
        if (start < 0 || std::fseek(file, start, SEEK_SET) != 0)
            FailReading(std::string(std::strerror(errno)) + ".");
        std::clearerr(file);
        return false;
    };
    if (start < 0 || std::fread(opening, 1, PngChunks::OpeningBytes, file) != PngChunks::OpeningBytes || !PngChunks::ReadHeader(opening, &header))
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
