#include "PnmHeader.h"

#include "InputBuffer.h"
#include "PictureError.h"
#include "PictureLimits.h"

#include <cstdint>
#include <string>

namespace {

// Comments make a PNM header as long as they like; past this it is no header.
constexpr std::size_t mostPnmHeaderBytes = 1 << 16;

bool isBlank(int byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\v' || byte == '\f';
}

// The header's bytes from the input of a stream: a fault there loses the stream, whose next
// frame cannot be found.
class StreamBytes {
public:
    explicit StreamBytes(InputBuffer& input)
        : input_(input) {}

    int at(std::size_t index)
    {
        if (!input_.request(index + 1))
            throw StreamLost("the stream ends inside it, so the frame is cut short.");
        return input_.data()[index];
    }
    [[noreturn]] static void fail(const std::string& why) { throw StreamLost(why); }

private:
    InputBuffer& input_;
};

class FileBytes {
public:
    explicit FileBytes(const QByteArray& bytes)
        : bytes_(bytes) {}

    int at(std::size_t index)
    {
        if (index >= std::size_t(bytes_.size()))
            fail("the PNM header is cut short.");
        return static_cast<unsigned char>(bytes_[qsizetype(index)]);
    }
    [[noreturn]] static void fail(const std::string& why) { FailReading(why); }

private:
    const QByteArray& bytes_;
};

template <class Bytes>
class PnmHeaderReader {
public:
    explicit PnmHeaderReader(Bytes& bytes)
        : bytes_(bytes) {}

    int number(const char* what)
    {
        skipBlanksAndComments();
        if (!isDigit(peek()))
            Bytes::fail(std::string("the PNM header has no ") + what + ".");
        std::int64_t value = 0;
        while (isDigit(peek())) {
            value = value * 10 + (peek() - '0');
            if (value > 1'000'000'000)
                Bytes::fail(std::string("the PNM header's ") + what + " is too large.");
            ++at_;
        }
        return int(value);
    }

    // One blank byte ends the header, perhaps after a comment; the pixels follow it at once.
    std::size_t end()
    {
        skipComment();
        if (!isBlank(peek()))
            Bytes::fail("the PNM header does not end in a blank.");
        return at_ + 1;
    }

private:
    static bool isDigit(int byte) { return byte >= '0' && byte <= '9'; }

    int peek()
    {
        if (at_ >= mostPnmHeaderBytes)
            Bytes::fail("the PNM header is too long.");
        return bytes_.at(at_);
    }

    void skipComment()
    {
        if (peek() == '#')
            while (peek() != '\n' && peek() != '\r')
                ++at_;
    }

    void skipBlanksAndComments()
    {
        for (;;) {
            if (isBlank(peek()))
                ++at_;
            else if (peek() == '#')
                skipComment();
            else
                return;
        }
    }

    Bytes& bytes_;
    std::size_t at_ = 2;
};

template <class Bytes>
PnmHeader readHeader(Bytes& bytes)
{
    PnmHeader header;
    header.kind = char(bytes.at(1));
    PnmHeaderReader<Bytes> reader(bytes);
    header.width = reader.number("width");
    header.height = reader.number("height");
    if (header.kind != '4')
        header.maxval = reader.number("largest value");
    header.headerBytes = reader.end();
    try {
        CheckPictureSize(header.width, header.height);
    } catch (const PictureError& tooLarge) {
        Bytes::fail(tooLarge.Why());
    }
    if (header.maxval < 1 || header.maxval > 65535)
        Bytes::fail("the PNM header's largest value " + std::to_string(header.maxval) + " is not between 1 and 65535.");
    return header;
}

}

std::size_t PnmHeader::rowBytes() const
{
    if (kind == '4')
        return (std::size_t(width) + 7) / 8;
    return std::size_t(width) * std::size_t(samplesPerPixel()) * (maxval > 255 ? 2 : 1);
}

PnmHeader readPnmHeader(InputBuffer& input)
{
    StreamBytes bytes(input);
    return readHeader(bytes);
}

QByteArray PlainPnm(const QByteArray& picture)
{
    FileBytes bytes(picture);
    const PnmHeader header = readHeader(bytes);
    QByteArray plain = "P" + QByteArray(1, header.kind) + "\n" + QByteArray::number(header.width) + " "
        + QByteArray::number(header.height) + "\n";
    if (header.kind != '4')
        plain += QByteArray::number(header.maxval) + "\n";
    return plain + picture.mid(qsizetype(header.headerBytes));
}
