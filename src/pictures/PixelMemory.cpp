#include "PixelMemory.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr std::size_t largePage = std::size_t(2) << 20;
// Below this, the allocator's own reuse of freed memory serves better than fresh pages: glibc
// keeps freed blocks of up to 32 MB for the next picture, already mapped, where a fresh mapping
// of 2 MB pages costs a picture of 6 MB about 3 ms and one of 12 MB about 9 ms against 2 and 4.
constexpr qsizetype mappedFrom = qsizetype(32) << 20;

struct Mapping {
    void* start;
    std::size_t length;
};

void unmap(void* info)
{
    const Mapping* mapping = static_cast<const Mapping*>(info);
    munmap(mapping->start, mapping->length);
    delete mapping;
}

// Maps length bytes (a whole number of large pages) starting on a large-page boundary, so that
// every one of them can be a large page; nullptr when the system refuses.
void* mapAligned(std::size_t length)
{
    const std::size_t spare = length + largePage;
    void* mapped = mmap(nullptr, spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t start = (base + largePage - 1) & ~(largePage - 1);
    if (start > base)
        munmap(mapped, start - base);
    if (const std::size_t tail = base + spare - (start + length))
        munmap(reinterpret_cast<void*>(start + length), tail);
    void* memory = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
    madvise(memory, length, MADV_HUGEPAGE);
#endif
    return memory;
}

}

QImage NewPixelImage(int width, int height, QImage::Format format)
{
    const qsizetype bytesPerLine = (qsizetype(width) * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32 * 4;
    const qsizetype bytes = bytesPerLine * height;
    if (width <= 0 || height <= 0 || bytes < mappedFrom)
        return QImage(width, height, format);
    const std::size_t length = (std::size_t(bytes) + largePage - 1) & ~(largePage - 1);
    void* memory = mapAligned(length);
    if (!memory)
        return {};
    auto* mapping = new Mapping{memory, length};
    QImage image(static_cast<uchar*>(memory), width, height, bytesPerLine, format, unmap, mapping);
    if (image.isNull())
        unmap(mapping);
    return image;
}
