#include "base/path_text.h"

namespace ravolin {
namespace {

constexpr LeadBytes lead_range(unsigned from1, unsigned to1, unsigned from2, unsigned to2) {
    LeadBytes t{};
    for (unsigned b = from1; b <= to1; ++b) t.lead[b] = true;
    for (unsigned b = from2; b <= to2; ++b) t.lead[b] = true;
    return t;
}

}  // namespace

const LeadBytes kNoLeadBytes{};
const LeadBytes kCodePage932LeadBytes = lead_range(0x81, 0x9F, 0xE0, 0xFC);

std::size_t char_length(const char* text, const LeadBytes& lead) {
    if (text[0] == '\0') return 0;
    return lead.lead[static_cast<unsigned char>(text[0])] && text[1] != '\0' ? 2 : 1;
}

bool is_separator(char first_byte, Separators separators) {
    return first_byte == '\\' || (first_byte == '/' && separators == Separators::kBackslashAndSlash);
}

std::size_t after_last_separator(const char* text, const LeadBytes& lead, Separators separators) {
    std::size_t end = 0;
    for (std::size_t i = 0, n; (n = char_length(text + i, lead)) != 0; i += n) {
        if (is_separator(text[i], separators)) end = i + 1;
    }
    return end;
}

}  // namespace ravolin
