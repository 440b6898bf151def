#include "RowDecoding.h"

#include "JpegFile.h"
#include "PictureFile.h"
#include "PngFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using Stream = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

bool decode(RowFormat format, Stream stream, std::int64_t length, const std::string& fileName, RowSink& sink)
{
    if (!stream)
        FailOnPictureFile("Cannot read", fileName, std::string(std::strerror(errno)) + ".");
    if (format == RowFormat::Png) {
        PngFile::Decode(stream.get(), length, fileName, sink);
        return true;
    }
    return JpegFile::Decode(stream.get(), length, fileName, sink);
}

}

RowFormat RowFormatOf(const QByteArray& start)
{
    if (JpegFile::IsJpeg(start))
        return RowFormat::Jpeg;
    if (PngFile::IsPng(start))
        return RowFormat::Png;
    return RowFormat::None;
}

// The stream reads through a descriptor of its own that shares the caller's file position;
// the caller seeks before reading the file again.
bool DecodeRows(RowFormat format, int descriptor, std::int64_t length, const std::string& fileName, RowSink& sink)
{
    const int own = dup(descriptor);
    Stream stream(own < 0 ? nullptr : fdopen(own, "rb"), std::fclose);
    if (own >= 0 && !stream)
        close(own);
    if (stream && std::fseek(stream.get(), 0, SEEK_SET) != 0)
        FailOnPictureFile("Cannot read", fileName, std::string(std::strerror(errno)) + ".");
    return decode(format, std::move(stream), length, fileName, sink);
}

bool DecodeRows(RowFormat format, QByteArray bytes, const std::string& fileName, RowSink& sink)
{
    Stream stream(fmemopen(bytes.data(), std::size_t(bytes.size()), "rb"), std::fclose);
    return decode(format, std::move(stream), bytes.size(), fileName, sink);
}
