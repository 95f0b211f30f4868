// A ByteSource that reads its inner source on a thread of its own, a few
// blocks ahead, so that reading (the system's copy from the page cache or a
// pipe) and converting go on at the same time. The filter uses it; the
// bytes, their order, the end and a read error come out exactly as the inner
// source gives them.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "engine/text_stream.h"

namespace ravolin {

class ReadAheadSource : public ByteSource {
public:
    explicit ReadAheadSource(ByteSource& inner);
    ~ReadAheadSource() override;
    ReadAheadSource(const ReadAheadSource&) = delete;
    ReadAheadSource& operator=(const ReadAheadSource&) = delete;

    long read(unsigned char* buf, std::size_t n) override;
    // The rest of the next filled slot, where it lies: the copy read makes
    // costs the converter about a tenth of its time.
    bool lends() const override { return true; }
    long lend(unsigned char** data, std::size_t* plain) override;

private:
    // Large slots, and the thread woken only when half of them are free:
    // every wake-up is a context switch, which costs more here than the
    // copy it arranges.
    static constexpr int kSlots = 4;
    static constexpr std::size_t kSlotSize = 1u << 18;
    struct Slot {
        long len = 0;  // bytes in data; 0 at the end, negative for a read error
        std::size_t plain = 0;  // of them, from the first, neither CR nor Ctrl-Z
        unsigned char data[kSlotSize + kPieceSlack];
    };

    void produce();
    // The slot read and lend take from, once filled.
    Slot& head_slot(std::unique_lock<std::mutex>& lock);

    ByteSource* inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int filled_ = 0;        // slots ready for read, from head_ on
    bool lending_ = false;  // the slot before head_ is lent out
    int head_ = 0;          // the slot read takes from
    std::size_t pos_ = 0;   // bytes of the head slot already taken
    bool stop_ = false;     // the destructor wants the thread to end
    bool producer_waits_ = false;  // the thread sleeps until half the slots are free
    bool consumer_waits_ = false;  // read sleeps until a slot is filled
    Slot* slots_ = nullptr;
    std::thread thread_;
};

}  // namespace ravolin
