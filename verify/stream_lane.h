// The conversion check's widest step, for processors with AVX-512 VBMI2 or
// with AVX2 (the caller makes sure). The original and the converted text are each
// squeezed on their own, a window after the other, into tokens (a run of
// blanks as one ' ', CR LF as LF), and the two token streams are then
// compared in bulk: no window of one side waits for a compare with the
// other, which is what holds the window-by-window lane back.
//
// Only the original is read with the lexer's states, and its walk passes
// code, comments and just those literals that hold no blank; the converted
// text needs no state, as squeezing blanks everywhere is then the same as
// squeezing them outside literals. So where both streams agree, the
// converted text differs from the original in runs of blanks outside
// literals, CR LF for LF, and dots where the original's walk found a line
// comment's end after a character ending in 0x5C: what the check accepts.
#pragma once
#include <cstddef>

#include "verify/c_lexer.h"
#include "verify/common_run.h"

namespace ravolin {

struct StreamEnd {
    std::size_t a, b;  // bytes passed of the original and of the converted text
    bool more;         // it ended only because it had read enough: call again
};

// From where a and b stand with their lexers in the same lane state st (la
// the original's lexer), passes as much as both streams share up to the
// first place the window lane must look at (most literals, a backslash
// other than a splice in code, "??", an include, a difference), and brings
// la and st along. code_start: where the code begins that la has yet to
// take (at a or before it), moved on where the lexer takes code or a
// comment ends. pairs and own_ends as for fast_lane.
StreamEnd stream_lane_avx512(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb,
                             CLexer& la, CLexer::Lane& st, const unsigned char*& code_start, bool pairs, bool own_ends);
StreamEnd stream_lane_avx2(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la,
                           CLexer::Lane& st, const unsigned char*& code_start, bool pairs, bool own_ends);

}  // namespace ravolin
