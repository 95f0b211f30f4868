// A ByteSource that reads its inner source a few blocks ahead, so that
// reading (the system's copy from the page cache or a pipe) and converting
// go on at the same time: on a thread of its own, or (placing, see place)
// on threads that have time for it. The filter uses it; the bytes, their
// order, the end and a read error come out exactly as the inner source
// gives them.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

#include "engine/text_stream.h"

namespace ravolin {

// Whether a thread of its own pays for the reading where this process
// runs: it wants a processor of its own beside the converter's and the
// check's. With two, the system tends to put it beside the converter (which
// wakes it) while the check's processor stands idle; there the check reads
// ahead itself whenever it would wait.
bool read_ahead_thread_pays();

class ReadAheadSource : public ByteSource {
public:
    // own_thread false: placed blocks (see place) have no thread of their
    // own; they are read by help(), and by a read whose bytes nobody is
    // reading yet. The slots always have one.
    explicit ReadAheadSource(ByteSource& inner, bool own_thread = true);
    ~ReadAheadSource() override;
    ReadAheadSource(const ReadAheadSource&) = delete;
    ReadAheadSource& operator=(const ReadAheadSource&) = delete;

    long read(unsigned char* buf, std::size_t n) override;
    // The rest of the next filled slot, where it lies: the copy read makes
    // costs the converter about a tenth of its time.
    bool lends() const override { return true; }
    long lend(unsigned char** data, std::size_t* plain) override;

    // A reader that keeps the input in blocks of its own (the filter keeps
    // it until it is checked) can have it read straight into them: place
    // says where the next size bytes of the input go, block after block
    // from the first byte on, before the first read and then a few blocks
    // ahead of the reads; a read into the very place where its bytes lie
    // then waits for them instead of copying them. Other reads are copied
    // from the places; lend is not for such a reader. Each read comes back
    // as it would from the slots, so what the reader sees does not depend
    // on whether it places.
    void place(unsigned char* at, std::size_t size);
    // Reads into the next place, if there is room and no other thread is
    // reading, where there is no thread of its own: for a thread that has
    // time to spare (the filter's check calls it as it takes a block and
    // before it waits). Nothing otherwise.
    void help();
    // Stops the reading, for good (no read after it): the places are then
    // the caller's again.
    void stop();

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
    // Placed blocks: the thread is woken when this many bytes of them are
    // free, as it is for half the slots.
    static constexpr std::size_t kPlacedWake = kSlots / 2 * kSlotSize;
    struct Place {
        unsigned char* at;
        std::size_t size, filled;
    };

    void start();
    void produce();
    void produce_placed();
    // The slot read and lend take from, once filled.
    Slot& head_slot(std::unique_lock<std::mutex>& lock);
    long read_placed(unsigned char* buf, std::size_t n);
    // One read into the next place, the lock let go meanwhile; false when
    // there is nothing to read into or another thread is reading.
    bool read_step(std::unique_lock<std::mutex>& lock);
    long read_direct(unsigned char* buf, std::size_t n);

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
    std::thread thread_;    // started by the first read, lend or place
    bool direct_ = false;   // none could be started for the slots: the caller reads
    bool shared_ = false;   // places are read by help() and read_placed
    bool reading_ = false;  // a thread is in read_step

    // Placing: the places from the one the next read takes from on; the
    // thread fills places_[fill_] next.
    bool placing_ = false;
    std::deque<Place> places_;
    std::size_t fill_ = 0;
    std::size_t room_ = 0;             // bytes free in the places
    unsigned long long taken_ = 0;     // input handed out by read
    unsigned long long read_ = 0;      // input read into the places
    unsigned long long first_at_ = 0;  // the offset of places_[0].at[0]
    bool ended_ = false;               // read_ is all there is
    long end_ = 0;                     // then: 0 at the end, negative for an error
};

}  // namespace ravolin
