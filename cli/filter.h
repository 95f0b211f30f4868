// The filter (ravolin-cli -): standard input converted to standard output,
// checked as a run checks a file before it replaces it, in flat memory.
//
// Converted text goes out only once the check has accepted it. Where the
// check fails, or the input turns out to be binary (a NUL byte, anything
// after a Ctrl-Z) or in neither encoding, what is already out stays and the
// rest of the input follows as it came, byte for byte: the output is always
// a file a run would accept in place of the input.
#pragma once
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/encoding.h"
#include "engine/engine.h"
#include "engine/text_stream.h"
#include "verify/verify.h"

namespace ravolin {

struct FilterResult {
    enum Kind { kConverted, kBinary, kUnclear, kCheckFailed, kReadError, kWriteError };
    Kind kind = kConverted;
    int tabs = 0, dots = 0, expanded = 0;
    // Where the check found a difference (1-based), and the first line
    // passed through unchanged (1: all of the input).
    unsigned long long line = 0, from_line = 1;
    VerifyResult check = VerifyResult::kSame;
};

// The message for a result other than kConverted, one line without its end.
std::string filter_message(const FilterResult& r);

class CheckedFilter {
public:
    // input: standard input (or a read-ahead over it); the encoding as
    // --encoding names it, none for auto. A style other than kTabs has a
    // converter of its own that takes its input whole: the input and its
    // conversion are then held in memory, and checked whole.
    FilterResult run(ByteSource& input, ByteSink& output, int tab_size, std::optional<Encoding> encoding,
                     Style style = Style::kTabs);

private:
    FilterResult run_whole(ByteSource& input, ByteSink& output, int tab_size, std::optional<Encoding> encoding,
                           Style style);

    // The input's bytes as read, from the oldest one still needed, in
    // blocks that never move: a block lent to the check stays where it is
    // while the converter reads on.
    class Record {
    public:
        void reset(ByteSource& src);
        long read_at(unsigned long long pos, unsigned char* buf, std::size_t n);
        // The bytes from pos on to the end of their block, in place.
        long lend_at(unsigned long long pos, unsigned char** data);
        // Bytes before pos are not needed any more.
        void trim(unsigned long long pos);
        // LF bytes before pos (pos at least the oldest byte kept).
        unsigned long long lines_before(unsigned long long pos) const;
        bool failed() const { return error_; }

    private:
        bool more();
        // Where pos (kept, and read) lies: its block and the bytes from it
        // to the block's end.
        unsigned char* at(unsigned long long pos, std::size_t* left) const;
        ByteSource* src_ = nullptr;
        std::deque<std::unique_ptr<unsigned char[]>> blocks_;  // all full but the last
        std::unique_ptr<unsigned char[]> spare_;               // the last block let go, for the next
        std::size_t last_len_ = 0;      // bytes in the last block
        unsigned long long base_ = 0;   // the offset of blocks_[0][0]
        unsigned long long lines_ = 0;  // line ends before base_
        bool done_ = false, error_ = false;
    };
    struct Cursor : ByteSource {
        long read(unsigned char* buf, std::size_t n) override;
        bool lends() const override { return lending; }
        // Lends up to a block's end; held: where the bytes lent last begin,
        // to be kept until the next call.
        long lend(unsigned char** data, std::size_t* plain) override;
        Record* record = nullptr;
        unsigned long long pos = 0, held = 0;
        bool lending = false;
    };
    // The converted text for the check, made a block at a time as it asks.
    // Lent in place: it moves only when the check asks for more.
    struct Converted : ByteSource {
        long read(unsigned char* buf, std::size_t n) override;
        bool lends() const override { return true; }
        long lend(unsigned char** data, std::size_t* plain) override;
        CheckedFilter* filter = nullptr;
    };
    struct Sink : ByteSink {
        bool write(const unsigned char* buf, std::size_t n) override {
            out->insert(out->end(), buf, buf + n);
            return true;
        }
        std::vector<unsigned char>* out = nullptr;
    };
    struct Block {
        unsigned long long original_end, converted_end;
    };

    bool produce();
    bool release();
    bool pass_rest(unsigned long long from);

    ByteSink* output_ = nullptr;
    EngineState engine_;
    std::optional<EncodingSniffer> sniffer_;
    std::optional<TextReader> reader_;
    std::optional<TextWriter> writer_;
    Record record_;
    Cursor to_reader_, to_check_;
    Converted converted_;
    Sink sink_;
    std::vector<unsigned char> text_;  // converted, from offset text_base_ on
    unsigned long long text_base_ = 0, text_pos_ = 0;  // text_pos_: handed to the check
    std::vector<Block> blocks_;  // converted, not yet out
    std::size_t first_block_ = 0;
    unsigned long long out_original_ = 0, out_converted_ = 0;  // what is out stands for this much input
    VerifyProgress progress_;
    long long tabs_ = 0;
    bool ended_ = false;
    std::optional<FilterResult::Kind> stop_;  // why the conversion stopped early
    bool write_failed_ = false;
};

}  // namespace ravolin
