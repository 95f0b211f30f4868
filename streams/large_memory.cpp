#include "streams/large_memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace ravolin {

void* allocate_large(std::size_t size) {
#ifdef __linux__
    if (size <= kLargeSize) {
        void* p = std::aligned_alloc(kLargeSize, kLargeSize);
        if (p) ::madvise(p, kLargeSize, MADV_HUGEPAGE);  // only advice: 4 KiB pages otherwise
        return p;
    }
#endif
    return std::malloc(size);
}

void free_large(void* p) { std::free(p); }

void populate(void* p, std::size_t n) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    // Whole pages only: the bytes before and after belong to others.
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(p) + n) & ~(kPage - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);  // older systems: EINVAL
#else
    (void)p;
    (void)n;
#endif
}

void* LargePool::take() {
    if (returned_) {
        void* piece = returned_;
        returned_ = *static_cast<void**>(piece);
        return piece;
    }
    if (used_ + size_ > kLargeSize) {
        void* p = allocate_large();
        if (!p) throw std::bad_alloc();
        memory_.emplace_back(p);
        used_ = 0;
    }
    void* piece = static_cast<unsigned char*>(memory_.back().get()) + used_;
    used_ += size_;
    return piece;
}

}  // namespace ravolin
