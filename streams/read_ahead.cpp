#include "streams/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <new>
#ifdef __linux__
#include <sched.h>
#endif
#include <system_error>

#include "streams/large_memory.h"

namespace ravolin {

bool read_ahead_thread_pays() {
#ifdef __linux__
    // The processors this process may use, which a container or taskset
    // may limit below what the machine has.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) >= 3;
#endif
    return std::thread::hardware_concurrency() >= 3;
}

ReadAheadSource::ReadAheadSource(ByteSource& inner, bool own_thread) : inner_(&inner), shared_(!own_thread) {}

ReadAheadSource::~ReadAheadSource() {
    stop();
    free_large(slots_);  // Slot is trivially destructible
}

// The thread starts with the first use, which tells whether it reads into
// slots or into places. Where no thread can be started (the system's limit
// on threads or memory), places are read as without one of their own, and
// slots by the caller as it needs the bytes.
void ReadAheadSource::start() {
    if (thread_.joinable() || stop_ || direct_ || (placing_ && shared_)) return;
    try {
        if (placing_) {
            thread_ = std::thread([this] { produce_placed(); });
            return;
        }
        if (!slots_) {
            void* memory = allocate_large(kSlots * sizeof(Slot));
            if (!memory) throw std::bad_alloc();
            slots_ = static_cast<Slot*>(memory);
            for (int i = 0; i < kSlots; ++i) new (slots_ + i) Slot();
        }
        thread_ = std::thread([this] { produce(); });
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(mutex_);  // help() may be asking already
        if (placing_) shared_ = true;
        else direct_ = true;
    }
}

// Without the thread: reads go to the inner source, each as far as the
// slot it would have come from, so that the reader sees the same.
long ReadAheadSource::read_direct(unsigned char* buf, std::size_t n) {
    if (ended_) return end_;
    std::size_t want = static_cast<std::size_t>(kSlotSize - taken_ % kSlotSize);
    if (n < want) want = n;
    const long got = inner_->read(buf, want);
    if (got <= 0) {
        ended_ = true;
        end_ = got;
        return got;
    }
    taken_ += static_cast<unsigned long long>(got);
    return got;
}

void ReadAheadSource::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    places_.clear();
}

void ReadAheadSource::place(unsigned char* at, std::size_t size) {
    if (size == 0) return;  // a read into nothing would look like the end
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        placing_ = true;
        places_.push_back(Place{at, size, 0});
        room_ += size;
        wake = producer_waits_ && room_ >= kPlacedWake;
    }
    if (wake) changed_.notify_all();
    start();
}

// The reading thread, placing: fills the places in turn and stops at the
// end or an error.
void ReadAheadSource::produce_placed() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (room_ == 0) {
            producer_waits_ = true;
            changed_.wait(lock, [this] { return stop_ || room_ >= kPlacedWake || (room_ > 0 && consumer_waits_); });
            producer_waits_ = false;
        }
        if (stop_) return;
        read_step(lock);
        if (consumer_waits_) {
            lock.unlock();
            changed_.notify_all();
            lock.lock();
        }
        if (ended_) return;
    }
}

bool ReadAheadSource::read_step(std::unique_lock<std::mutex>& lock) {
    if (reading_ || stop_ || ended_ || room_ == 0) return false;
    reading_ = true;
    // The place stays where it is while it is read into: the caller lets go
    // only of places it has read to the end.
    Place& p = places_[fill_];
    const long got = [&] {
        unsigned char* const at = p.at + p.filled;
        const std::size_t n = p.size - p.filled;
        lock.unlock();
        const long k = inner_->read(at, n);
        lock.lock();
        return k;
    }();
    reading_ = false;
    if (got > 0) {
        p.filled += static_cast<std::size_t>(got);
        if (p.filled == p.size) ++fill_;
        room_ -= static_cast<std::size_t>(got);
        read_ += static_cast<unsigned long long>(got);
    } else {
        ended_ = true;
        end_ = got;
    }
    return true;
}

void ReadAheadSource::help() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!placing_ || !shared_ || !read_step(lock)) return;
    const bool wake = consumer_waits_;
    lock.unlock();
    if (wake) changed_.notify_all();
}

long ReadAheadSource::read_placed(unsigned char* buf, std::size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    // As far as the slot it would have come from.
    std::size_t want = static_cast<std::size_t>(kSlotSize - taken_ % kSlotSize);
    if (n < want) want = n;
    while (read_ < taken_ + want && !ended_ && !stop_ && room_ > 0) {
        // Without a thread of its own the reader reads what nobody is
        // reading yet, and waits for what another thread reads.
        if (shared_ && read_step(lock)) continue;
        consumer_waits_ = true;
        if (producer_waits_) changed_.notify_all();
        changed_.wait(lock);
        consumer_waits_ = false;
    }
    if (read_ <= taken_) return ended_ ? end_ : -1;  // the end or the error, for every later read too
    std::size_t k = static_cast<std::size_t>(std::min<unsigned long long>(want, read_ - taken_));
    // The bytes read so far stay as they are: the thread writes after them.
    std::size_t in = static_cast<std::size_t>(taken_ - first_at_);
    if (buf == places_.front().at + in) {
        k = std::min(k, places_.front().size - in);  // where they lie already
    } else {
        for (std::size_t done = 0, i = 0; done < k; ++i, in = 0) {
            const std::size_t m = std::min(k - done, places_[i].size - in);
            std::memcpy(buf + done, places_[i].at + in, m);
            done += m;
        }
    }
    taken_ += k;
    while (!places_.empty() && taken_ >= first_at_ + places_.front().size) {
        first_at_ += places_.front().size;
        places_.pop_front();
        if (fill_ > 0) --fill_;
    }
    return static_cast<long>(k);
}

// The reading thread: fills the free slots in turn and stops after the slot
// that holds the end or an error.
void ReadAheadSource::produce() {
    for (int tail = 0;; tail = (tail + 1) % kSlots) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (filled_ + lending_ == kSlots) {
                producer_waits_ = true;
                changed_.wait(lock, [this] { return stop_ || filled_ + lending_ <= kSlots / 2; });
                producer_waits_ = false;
            }
            if (stop_) return;
        }
        // The slot is ours until it is counted as filled.
        Slot& slot = slots_[tail];
        slot.len = inner_->read(slot.data, kSlotSize);
        // What follows lent bytes may be read: let it be something defined.
        if (slot.len >= 0) std::memset(slot.data + slot.len, 0, kPieceSlack);
        slot.plain = slot.len > 0 ? plain_text_prefix(slot.data, static_cast<std::size_t>(slot.len)) : 0;
        bool wake;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++filled_;
            wake = consumer_waits_;
        }
        if (wake) changed_.notify_all();
        if (slot.len <= 0) return;
    }
}

ReadAheadSource::Slot& ReadAheadSource::head_slot(std::unique_lock<std::mutex>& lock) {
    if (filled_ == 0) {
        consumer_waits_ = true;
        changed_.wait(lock, [this] { return filled_ > 0; });
        consumer_waits_ = false;
    }
    return slots_[head_];
}

long ReadAheadSource::read(unsigned char* buf, std::size_t n) {
    start();
    if (direct_) return read_direct(buf, n);
    if (placing_) return read_placed(buf, n);
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = head_slot(lock);
    if (slot.len <= 0) return slot.len;  // the end or the error, for every later read too
    lock.unlock();
    // The head slot stays filled while it is copied: the thread never touches it.
    const std::size_t left = static_cast<std::size_t>(slot.len) - pos_;
    const std::size_t k = n < left ? n : left;
    std::memcpy(buf, slot.data + pos_, k);
    pos_ += k;
    if (pos_ == static_cast<std::size_t>(slot.len)) {
        pos_ = 0;
        lock.lock();
        head_ = (head_ + 1) % kSlots;
        --filled_;
        const bool wake = producer_waits_ && filled_ + lending_ <= kSlots / 2;
        lock.unlock();
        if (wake) changed_.notify_all();
    }
    return static_cast<long>(k);
}

long ReadAheadSource::lend(unsigned char** data, std::size_t* plain) {
    start();
    if (placing_) {
        *data = nullptr;
        *plain = 0;
        return -1;
    }
    if (direct_) {
        // One slot, read into on this thread.
        Slot& slot = slots_[0];
        slot.len = read_direct(slot.data, kSlotSize);
        if (slot.len >= 0) std::memset(slot.data + slot.len, 0, kPieceSlack);
        slot.plain = slot.len > 0 ? plain_text_prefix(slot.data, static_cast<std::size_t>(slot.len)) : 0;
        *data = slot.data;
        *plain = slot.plain;
        return slot.len;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (lending_) {
        // The last loan ends: its slot is free.
        lending_ = false;
        if (producer_waits_ && filled_ <= kSlots / 2) changed_.notify_all();
    }
    Slot& slot = head_slot(lock);
    *data = slot.data + pos_;
    *plain = slot.plain > pos_ ? slot.plain - pos_ : 0;
    if (slot.len <= 0) return slot.len;  // the end or the error, for every later call too
    const long k = slot.len - static_cast<long>(pos_);
    pos_ = 0;
    head_ = (head_ + 1) % kSlots;
    --filled_;
    lending_ = true;
    return k;
}

}  // namespace ravolin
