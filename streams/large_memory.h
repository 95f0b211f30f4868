// Memory for buffers that are written through in full soon after they are
// taken. A first touch of fresh memory costs about 10 us a 4 KiB page on the
// virtual machines CI and many users run on: 5 ms for 2 MiB, against 0.2 ms
// for the same as one transparent huge page.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

namespace ravolin {

constexpr std::size_t kLargeSize = std::size_t{2} << 20;

// size bytes (kLargeSize unless told), not cleared: up to kLargeSize one
// huge page where the system gives one. nullptr when there is no memory.
// Freed by free_large.
void* allocate_large(std::size_t size = kLargeSize);
void free_large(void* p);

// Makes the pages of the n bytes at p present at once, where the system
// can: 1 us a page against 10 us for each first touch. Only advice.
void populate(void* p, std::size_t n);

// Pieces of one size (at most kLargeSize) carved from large memory, for
// buffers kept for reuse: none is freed alone, all with the pool. One
// thread at a time takes and gives back.
class LargePool {
public:
    explicit LargePool(std::size_t size) : size_((size + 63) / 64 * 64) {}
    // A piece given back, else a new one. Throws std::bad_alloc when there
    // is no memory.
    void* take();
    // For take to hand out again; allocates nothing (a writer's deleter
    // calls it).
    void give_back(void* piece) noexcept {
        *static_cast<void**>(piece) = returned_;
        returned_ = piece;
    }

private:
    struct Free {
        void operator()(void* p) const { free_large(p); }
    };
    std::size_t size_;
    std::vector<std::unique_ptr<void, Free>> memory_;
    std::size_t used_ = kLargeSize;  // of the last piece of memory
    void* returned_ = nullptr;  // pieces given back, each holding the next one's address
};

}  // namespace ravolin
