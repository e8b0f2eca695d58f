#include "SectorBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace quorvex {

namespace {
// Page alignment lets the kernel copy whole pages; it also suits O_DIRECT should a source use it.
constexpr std::size_t kAlignment = 4096;
}

void SectorBuffer::FreeDeleter::operator()(unsigned char* p) const
{
    std::free(p);
}

SectorBuffer::SectorBuffer(std::size_t sectorCount) : sectorCount_(sectorCount)
{
    if (sectorCount == 0)
        throw std::invalid_argument("SectorBuffer needs at least one sector");
    const std::size_t bytes = sectorCount * kSectorSize;
    const std::size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
    auto* p = static_cast<unsigned char*>(std::aligned_alloc(kAlignment, rounded));
    if (p == nullptr)
        throw std::bad_alloc();
    std::memset(p, 0, rounded);
    data_.reset(p);
}

}  // namespace quorvex
