#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct inflate_state;

// The file side of our own PNG reader (PngRows): the header, then the chunks after it, whose
// IDAT data is inflated with ISA-L. Every chunk read is checked against its CRC, so what comes
// out is the filtered rows as the file holds them.
namespace PngChunks {

constexpr std::size_t SignatureBytes = 8;
constexpr std::size_t HeaderChunkBytes = 13;
// The signature and the whole header chunk: its length, type, fields and CRC.
constexpr std::size_t OpeningBytes = SignatureBytes + 8 + HeaderChunkBytes + 4;

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bytesPerPixel = 0;
};

// The header, when the file opens with one of a kind this reader takes, whole and sound;
// anything else, damage included, goes to libspng and its messages.
bool ReadHeader(const std::uint8_t (&opening)[OpeningBytes], Header* header);

// Reads the chunks after the header and inflates the data of the IDAT chunks, checking every
// chunk's CRC and, at the end, the compressed stream's own checksum.
class Inflater {
public:
    explicit Inflater(std::FILE* file);
    ~Inflater();

    // Skips to the first IDAT chunk; says whether a transparency chunk came before it.
    bool Start();
    // Inflates exactly length bytes into out.
    void Fill(std::uint8_t* out, std::size_t length);
    // Reads on to the end of the compressed stream, checking its checksum.
    void Finish();

private:
    [[noreturn]] void fail(const std::string& why) const;
    [[noreturn]] void damaged(const std::string& what) const;
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

}
