// The filter's read-ahead: the same bytes in the same order, then the end or
// the read error, whatever sizes the reads on either side come in.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "streams/read_ahead.h"

namespace {

// An in-memory source that fails after a given number of bytes, if asked to.
class FailingSource : public ravolin::ByteSource {
public:
    FailingSource(const std::string& data, std::size_t chunk, long fail_after)
        : inner_(data.data(), data.size(), chunk), fail_after_(fail_after) {}
    long read(unsigned char* buf, std::size_t n) override {
        if (fail_after_ >= 0 && given_ >= fail_after_) return -1;
        if (fail_after_ >= 0 && n > static_cast<std::size_t>(fail_after_ - given_)) n = fail_after_ - given_;
        const long got = inner_.read(buf, n);
        if (got > 0) given_ += got;
        return got;
    }

private:
    ravolin::MemorySource inner_;
    long fail_after_;
    long given_ = 0;
};

TEST(ReadAhead, PassesEveryByteThenTheEndOrTheError) {
    std::string data;
    for (int i = 0; i < 700000; ++i) data += i % 100003 == 5 ? '\r' : static_cast<char>('a' + i % 23);
    const struct {
        const char* name;
        std::size_t inner_chunk, outer_chunk;
        long fail_after;  // -1: no error
        bool lend;        // every other call lends instead of reading
    } cases[] = {
        {"large reads", 0, 1 << 16, -1, false},
        {"pipe-sized inner reads", 4093, 1 << 16, -1, false},
        {"small outer reads", 0, 777, -1, false},
        {"error in the middle", 5000, 1 << 16, 300001, false},
        {"error at once", 0, 1 << 16, 0, false},
        {"loans", 0, 777, -1, true},
        {"loans and an error", 4093, 1 << 16, 300001, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FailingSource inner(data, c.inner_chunk, c.fail_after);
        ravolin::ReadAheadSource ahead(inner);
        std::string got;
        unsigned char buf[1 << 16];
        long r;
        for (int call = 0;; ++call) {
            if (c.lend && call % 2) {
                unsigned char* lent;
                std::size_t plain;
                if ((r = ahead.lend(&lent, &plain)) <= 0) break;
                // What is said to be plain is.
                const std::string bytes(reinterpret_cast<char*>(lent), r);
                ASSERT_LE(plain, bytes.size());
                EXPECT_EQ(bytes.find_first_of("\r\x1a"), bytes.find_first_of("\r\x1a", plain));
                got += bytes;
            } else {
                if ((r = ahead.read(buf, c.outer_chunk)) <= 0) break;
                got.append(reinterpret_cast<char*>(buf), r);
            }
        }
        const std::size_t want = c.fail_after < 0 ? data.size() : static_cast<std::size_t>(c.fail_after);
        EXPECT_EQ(got, data.substr(0, want));
        EXPECT_EQ(r, c.fail_after < 0 ? 0 : -1);
        EXPECT_EQ(ahead.read(buf, 10), r);  // and so on after it
    }
}

// A reader that keeps the input in blocks of its own has it read straight
// into them; each read comes back as from the slots, whether it is into the
// place where its bytes lie or (a look-ahead) somewhere else.
TEST(ReadAhead, ReadsIntoPlacesAsIntoSlots) {
    std::string data;
    for (int i = 0; i < 700000; ++i) data += static_cast<char>('a' + i % 23);
    constexpr std::size_t kBlock = 1 << 16;
    const struct {
        const char* name;
        long fail_after;       // -1: no error
        bool compare_sizes;    // the inner reads come back whole, as from a file
        std::size_t inner_chunk;
    } cases[] = {
        {"to the end", -1, true, 0},
        {"error in the middle", 300001, true, 0},
        {"error at once", 0, true, 0},
        {"pipe-sized inner reads", -1, false, 4093},
    };
    for (const bool own_thread : {true, false})
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (own_thread ? "" : ", no thread of its own"));
        FailingSource inner(data, c.inner_chunk, c.fail_after), inner2(data, c.inner_chunk, c.fail_after);
        ravolin::ReadAheadSource placed(inner, own_thread), slots(inner2);
        // Without a thread of its own another one helps all along, as the
        // filter's check does, and the reader reads what nobody is reading.
        std::atomic<bool> done{false};
        std::thread helper;
        if (!own_thread) helper = std::thread([&] {
            while (!done) placed.help();
        });
        std::vector<std::unique_ptr<unsigned char[]>> blocks;
        std::size_t pos = 0;
        std::string got;
        unsigned char look[5000], buf[kBlock];
        long r;
        for (int call = 0;; ++call) {
            while (blocks.size() < pos / kBlock + 3) {
                blocks.emplace_back(new unsigned char[kBlock]);
                placed.place(blocks.back().get(), kBlock);
            }
            unsigned char* at = blocks[pos / kBlock].get() + pos % kBlock;
            const std::size_t rest = kBlock - pos % kBlock;
            // Reads in place to a block's end or short of it, and reads
            // elsewhere that may run on into the next block.
            const bool elsewhere = call % 4 == 1;
            const std::size_t n = elsewhere ? sizeof look : call % 4 == 0 && rest > 3000 ? rest - 3000 : rest;
            r = placed.read(elsewhere ? look : at, n);
            const long want = slots.read(buf, n);
            if (c.compare_sizes) {
                EXPECT_EQ(r, want);
            }
            if (r <= 0) break;
            if (elsewhere) {
                // Where the bytes go, as a reader that looked ahead puts them.
                for (long i = 0; i < r; ++i) blocks[(pos + i) / kBlock][(pos + i) % kBlock] = look[i];
            }
            got.append(reinterpret_cast<char*>(elsewhere ? look : at), static_cast<std::size_t>(r));
            pos += static_cast<std::size_t>(r);
        }
        const std::size_t want = c.fail_after < 0 ? data.size() : static_cast<std::size_t>(c.fail_after);
        EXPECT_EQ(got, data.substr(0, want));
        EXPECT_EQ(r, c.fail_after < 0 ? 0 : -1);
        EXPECT_EQ(placed.read(look, 10), r);  // and so on after it
        done = true;
        if (helper.joinable()) helper.join();
        placed.stop();
    }
}

TEST(ReadAhead, StopsEarlyWithoutHanging) {
    // A reader that stops at a Ctrl-Z leaves the rest unread: the thread ends.
    std::string data(3 << 20, 'x');
    ravolin::MemorySource inner(data.data(), data.size());
    ravolin::ReadAheadSource ahead(inner);
    unsigned char buf[100];
    EXPECT_EQ(ahead.read(buf, sizeof buf), 100);
}

}  // namespace
