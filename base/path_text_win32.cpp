// Windows: narrow file names are in the ANSI code page; the system knows its
// lead bytes.
#include <windows.h>

#include "base/path_text.h"

namespace ravolin {

const LeadBytes& system_lead_bytes() {
    static const LeadBytes table = [] {
        LeadBytes t{};
        for (unsigned b = 0x80; b <= 0xFF; ++b) t.lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) != 0;
        return t;
    }();
    return table;
}

}  // namespace ravolin
