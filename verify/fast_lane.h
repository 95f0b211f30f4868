// The conversion check's fast lane: where both lexers stand in code, a
// block comment or a line comment, it passes over everything a conversion
// leaves alike or changes as it may (the same bytes, runs of blanks, line
// ends) and over the changes between those states ("/*", "//", "*/", the
// end of a line comment) a 64-byte window at a time, and stops before
// anything else: a literal, a backslash, a '?', an include, a difference.
// The unit-by-unit comparison decides from there, so the lane may stop
// early but never passes what it would not.
#pragma once
#include <cstddef>

#include "verify/c_lexer.h"
#include "verify/common_run.h"

namespace ravolin {

// a and b: the original as read and the converted file as written (na and
// nb bytes in view); la and lb their lexers, in the same state, which the
// lane brings to the state after what it passed. pairs: code page 932;
// own_ends as for common_run.
RunEnd fast_lane(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb, CLexer& la,
                 CLexer& lb, bool pairs, bool own_ends);

// The AVX2 path squeezes windows, and the AVX-512 one where the processor
// has VBMI2; the tests turn that off to try the paths without it too.
void allow_squeeze(bool allow);

}  // namespace ravolin
