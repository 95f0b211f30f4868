#include "batch/wildcard.h"

#include <cstring>

namespace ravolin {
namespace {

// Matches the first plen bytes of pattern against the whole name. Greedy with
// a single backtrack point: the last '*' seen takes one byte more each time
// the rest fails, which is linear in practice and never recursive.
bool match_prefix(const char* p, std::size_t plen, const char* n) {
    std::size_t pi = 0, ni = 0;
    std::size_t star = static_cast<std::size_t>(-1), star_ni = 0;
    const std::size_t nlen = std::strlen(n);
    while (ni < nlen) {
        if (pi < plen && p[pi] == '*') {
            star = pi++;
            star_ni = ni;
        } else if (pi < plen && (p[pi] == '?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (star != static_cast<std::size_t>(-1)) {
            pi = star + 1;
            ni = ++star_ni;
        } else {
            return false;
        }
    }
    while (pi < plen && p[pi] == '*') ++pi;
    return pi == plen;
}

}  // namespace

bool wildcard_match(const char* pattern, const char* name) {
    const std::size_t plen = std::strlen(pattern);
    if (match_prefix(pattern, plen, name)) return true;
    if (plen >= 2 && pattern[plen - 2] == '.' && pattern[plen - 1] == '*' && std::strchr(name, '.') == nullptr) {
        return match_prefix(pattern, plen - 2, name);
    }
    return false;
}

}  // namespace ravolin
