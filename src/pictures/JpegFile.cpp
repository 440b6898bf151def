#include "JpegFile.h"

#include "PictureLimits.h"
#include "RowSink.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// The fewest bytes a picture of this many pixels can take: an 8 x 8 block of one colour needs
// at least two bits. Fewer means a large frame header over little data, which is refused before
// any memory is set aside for the picture.
constexpr std::int64_t pixelsPerByteAtMost = 512;
constexpr int rowsPerCall = 16;

struct ErrorHandler {
    jpeg_error_mgr library;
    std::jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void escapeOnError(j_common_ptr info)
{
    auto* handler = reinterpret_cast<ErrorHandler*>(info->err);
    info->err->format_message(info, handler->message);
    std::longjmp(handler->escape, 1);
}

// Level -1 is a warning: corrupt or missing data that the library would paper over.
void escapeOnWarning(j_common_ptr info, int level)
{
    if (level < 0)
        escapeOnError(info);
}

// Owns the library's state so that it is released however the decoding ends.
class Decompressor {
public:
    Decompressor()
    {
        info_.err = jpeg_std_error(&handler_.library);
        handler_.library.error_exit = escapeOnError;
        handler_.library.emit_message = escapeOnWarning;
        jpeg_create_decompress(&info_);
    }
    ~Decompressor() { jpeg_destroy_decompress(&info_); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    bool decode(std::FILE* file, std::int64_t fileLength, RowSink& sink);

private:
    bool readHeader(std::FILE* file);
    [[noreturn]] void fail() const;
    void readRows(RowSink& sink, int bytesPerPixel);

    jpeg_decompress_struct info_{};
    ErrorHandler handler_{};
};

void Decompressor::fail() const
{
    const int code = handler_.library.msg_code;
    if (code == JWRN_JPEG_EOF || code == JERR_INPUT_EOF || code == JERR_INPUT_EMPTY)
        FailReading("the picture data is cut short.");
    if (code == JERR_OUT_OF_MEMORY)
        FailReading("there is not enough memory to decode it.");
    // Too big is not damaged.
    if (code == JERR_IMAGE_TOO_BIG)
        FailReading("the picture is " + std::to_string(info_.image_width) + " x " + std::to_string(info_.image_height)
                    + " pixels, more than the " + std::to_string(JPEG_MAX_DIMENSION)
                    + " pixels a side that the JPEG decoder handles.");
    FailReading("the picture is damaged (" + std::string(handler_.message) + ").");
}

// Nothing with a destructor lives in the frames a library error jumps across.
bool Decompressor::readHeader(std::FILE* file)
{
    if (setjmp(handler_.escape))
        return false;
    jpeg_stdio_src(&info_, file);
    jpeg_read_header(&info_, TRUE);
    return true;
}

// Several rows a call: the library then upsamples straight into them rather than through a
// row of its own.
void Decompressor::readRows(RowSink& sink, int bytesPerPixel)
{
    jpeg_start_decompress(&info_);
    const int most = std::min(sink.RowsAtOnce(), rowsPerCall);
    JSAMPROW rows[rowsPerCall];
    while (info_.output_scanline < info_.output_height) {
        const int y = int(info_.output_scanline);
        const int count = std::min(most, int(info_.output_height) - y);
        for (int i = 0; i < count; ++i)
            rows[i] = sink.RowBuffer(y + i, bytesPerPixel);
        const int read = int(jpeg_read_scanlines(&info_, rows, JDIMENSION(count)));
        for (int i = 0; i < read; ++i)
            sink.RowDone(y + i, bytesPerPixel);
    }
    jpeg_finish_decompress(&info_);
}

bool Decompressor::decode(std::FILE* file, std::int64_t fileLength, RowSink& sink)
{
    if (!readHeader(file))
        fail();
    if (info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK)
        return false;
    sink.CheckSize(info_.image_width, info_.image_height);
    const std::int64_t pixels = std::int64_t(info_.image_width) * info_.image_height;
    if (fileLength * pixelsPerByteAtMost < pixels)
        FailReading("the picture data is cut short.");
    // A progressive picture's every coefficient is held until its last scan.
    if (jpeg_has_multiple_scans(&info_))
        sink.CheckHeldWhole(info_.image_width, info_.image_height, pixels * info_.num_components * std::int64_t(sizeof(JCOEF)));
    const bool grey = info_.jpeg_color_space == JCS_GRAYSCALE && info_.num_components == 1 && sink.TakesGreyRows();
    info_.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    sink.Begin(int(info_.image_width), int(info_.image_height));
    // An error while the rows are read jumps back here; what the sink holds is then dropped.
    if (setjmp(handler_.escape))
        fail();
    readRows(sink, grey ? 1 : 3);
    return true;
}

}

namespace JpegFile {

bool Decode(std::FILE* file, std::int64_t fileLength, RowSink& sink)
{
    Decompressor decompressor;
    return decompressor.decode(file, fileLength, sink);
}

}
