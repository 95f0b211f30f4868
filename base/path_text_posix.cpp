// POSIX: names are UTF-8 or plain bytes, where 0x5C is always a backslash.
#include "base/path_text.h"

namespace ravolin {

const LeadBytes& system_lead_bytes() { return kNoLeadBytes; }

}  // namespace ravolin
