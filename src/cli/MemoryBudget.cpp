#include "MemoryBudget.h"

#include "PictureError.h"

#include <unistd.h>

#include <algorithm>
#include <limits>

namespace {

std::string megabytes(std::int64_t bytes)
{
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

}

MemoryBudget::MemoryBudget(std::int64_t bytes)
    : total_(bytes)
{
}

void MemoryBudget::take(std::int64_t bytes)
{
    if (bytes > total_)
        throw PictureError(PictureError::Step::Measure,
                           "it needs about " + megabytes(bytes) + " of memory, more than the "
                               + megabytes(total_) + " that the run may use (--memory).");
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return bytes <= total_ - used_; });
    used_ += bytes;
}

void MemoryBudget::give(std::int64_t bytes)
{
    {
        std::lock_guard lock(mutex_);
        used_ -= bytes;
    }
    freed_.notify_all();
}

std::int64_t MemoryBudget::defaultSize()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::int64_t(4) << 30;
    return std::int64_t(pages) * pageSize / 2;
}

MemoryBudget::SizeReading MemoryBudget::parseSize(const QString& text, std::int64_t* bytes)
{
    static const QString units = "KMGT";
    QString digits = text.trimmed().toUpper();
    int shift = 0;
    if (!digits.isEmpty() && units.contains(digits.back())) {
        shift = 10 * (int(units.indexOf(digits.back())) + 1);
        digits.chop(1);
    }
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= '0' && c <= '9'; }))
        return SizeReading::Malformed;
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    // Digits alone that do not fit are a size, only one too large to hold.
    if (!ok || value > (std::numeric_limits<std::int64_t>::max() >> shift))
        return SizeReading::TooLarge;
    if (value <= 0)
        return SizeReading::Malformed;
    *bytes = value << shift;
    return SizeReading::Read;
}

MemoryShare::~MemoryShare()
{
    if (bytes_ > 0)
        budget_->give(bytes_);
}

void MemoryShare::take(std::int64_t bytes)
{
    budget_->take(bytes);
    bytes_ += bytes;
}
