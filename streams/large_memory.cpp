#include "streams/large_memory.h"

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

void* LargePool::take() {
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
