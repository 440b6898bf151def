#include "RowDecoding.h"

#include "JpegFile.h"
#include "PictureError.h"
#include "PngFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using Stream = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

bool decode(PictureKind kind, Stream stream, std::int64_t length, RowSink& sink)
{
    if (!DecodesRows(kind))
        return false;
    if (!stream)
        FailReading(std::string(std::strerror(errno)) + ".");
    if (kind == PictureKind::Png) {
        PngFile::Decode(stream.get(), length, sink);
        return true;
    }
    return JpegFile::Decode(stream.get(), length, sink);
}

}

bool DecodesRows(PictureKind kind)
{
    return kind == PictureKind::Jpeg || kind == PictureKind::Png;
}

// The stream reads through a descriptor of its own that shares the caller's file position;
// the caller seeks before reading the file again.
bool DecodeRows(PictureKind kind, int descriptor, std::int64_t length, RowSink& sink)
{
    const int own = dup(descriptor);
    Stream stream(own < 0 ? nullptr : fdopen(own, "rb"), std::fclose);
    if (own >= 0 && !stream)
        close(own);
    if (stream && std::fseek(stream.get(), 0, SEEK_SET) != 0)
        FailReading(std::string(std::strerror(errno)) + ".");
    return decode(kind, std::move(stream), length, sink);
}

bool DecodeRows(PictureKind kind, QByteArray bytes, RowSink& sink)
{
    Stream stream(fmemopen(bytes.data(), std::size_t(bytes.size()), "rb"), std::fclose);
    return decode(kind, std::move(stream), bytes.size(), sink);
}
