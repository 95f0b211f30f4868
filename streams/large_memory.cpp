#include "streams/large_memory.h"

#include <cstdlib>

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

}  // namespace ravolin
