// The few Win32 style and drawing values the form table needs, in one place,
// so the tables build on every platform. They carry our own names (not the
// platform's macro names) so this header and <windows.h> can be included
// together; the Windows test build checks each against <windows.h>.
#pragma once
#include <cstdint>

namespace ravolin {

// Window styles (CreateWindowExA)
constexpr std::uint32_t kWsChild = 0x40000000u;      // WS_CHILD
constexpr std::uint32_t kWsVisible = 0x10000000u;    // WS_VISIBLE
constexpr std::uint32_t kWsBorder = 0x00800000u;     // WS_BORDER
constexpr std::uint32_t kWsVscroll = 0x00200000u;    // WS_VSCROLL
constexpr std::uint32_t kBsPushButton = 0x0u;        // BS_PUSHBUTTON
constexpr std::uint32_t kSsLeft = 0x0u;              // SS_LEFT
constexpr std::uint32_t kEsMultiline = 0x0004u;      // ES_MULTILINE
constexpr std::uint32_t kEsAutoVscroll = 0x0040u;    // ES_AUTOVSCROLL
constexpr std::uint32_t kEsAutoHscroll = 0x0080u;    // ES_AUTOHSCROLL

// DrawTextA format flags
constexpr std::uint32_t kDtLeft = 0x0u;              // DT_LEFT
constexpr std::uint32_t kDtTop = 0x0u;               // DT_TOP
constexpr std::uint32_t kDtPathEllipsis = 0x4000u;   // DT_PATH_ELLIPSIS

}  // namespace ravolin
