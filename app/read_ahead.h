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

private:
    static constexpr int kSlots = 4;
    static constexpr std::size_t kSlotSize = 1u << 17;
    struct Slot {
        long len = 0;  // bytes in data; 0 at the end, negative for a read error
        unsigned char data[kSlotSize];
    };

    void produce();

    ByteSource* inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int filled_ = 0;        // slots ready for read, from head_ on
    int head_ = 0;          // the slot read takes from
    std::size_t pos_ = 0;   // bytes of the head slot already taken
    bool stop_ = false;     // the destructor wants the thread to end
    Slot* slots_;
    std::thread thread_;
};

}  // namespace ravolin
