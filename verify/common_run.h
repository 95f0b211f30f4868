// The conversion check's fast path: how far the original and the converted
// file agree from where both lexers stand in the same state, found without
// building units or tokens.
#pragma once
#include <cstddef>

#include "verify/c_lexer.h"

namespace ravolin {

struct RunEnd {
    std::size_t a, b;  // bytes of the original and of the converted file
};

// Passes over what a and b (the original as read, the converted file as
// written; na and nb bytes in view) share that cannot change the lexer's
// state, as the token-by-token comparison would accept it: the same
// characters bulk lets pass, runs of blanks on both sides where
// bulk.blank_runs, and line ends where bulk.lines. Stops before anything
// else, and before a run of blanks or a line end that reaches the end of
// either view. single: the bytes that are a unit of their own; with pairs,
// the others are all >= 0x80. own_ends: b keeps a's line ends (LF opposite
// LF, CR LF opposite CR LF) instead of writing CR LF for each.
RunEnd common_run(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb,
                  const CLexer::Bulk& bulk, const unsigned char* single, bool pairs, bool own_ends = false);

}  // namespace ravolin
