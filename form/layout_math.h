// The arithmetic of the main window's form, as pure functions of numbers and
// strings: cell size, item rectangles, default size, visible cells, scroll
// pull-back and new positions, the open-file dialog's initial name, the
// wrapped display of a chosen name and the language toggle. No Win32 here, so
// all of it is unit-tested natively; the Win32 glue in window/ only
// feeds it numbers.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/path_text.h"

namespace ravolin {

// Layout unit in pixels, fixed once from the main window's font.
struct Cell {
    std::int32_t width;
    std::int32_t height;
};

// How far the form is scrolled, in whole cells; never positive.
struct ScrollOrigin {
    std::int32_t col;
    std::int32_t row;
};

struct PixelRect {
    std::int32_t left, top, right, bottom;
};

struct PixelSize {
    std::int32_t width, height;
};

// The form reaches 52 cell widths to the right and 20 cell heights down: the
// scroll ranges run over 0..52 columns and 0..20 rows.
constexpr std::int32_t kFormCols = 52;
constexpr std::int32_t kFormRowsExtent = 20;

// Cell from the text metrics of the window's font. The fixed-pitch bit is set
// for a variable-pitch font (the platform's naming is inverted), which gets a
// cell one and a half average characters wide.
Cell cell_from_metrics(std::int32_t ave_char_width, std::uint32_t pitch_and_family,
                       std::int32_t height, std::int32_t external_leading);

// Pixel rectangle of an item whose edges are in tenths of a cell. Each edge is
// scaled and truncated on its own, then shifted by the scroll origin.
PixelRect item_rect(std::int32_t left, std::int32_t top, std::int32_t right,
                    std::int32_t bottom, Cell cell, ScrollOrigin origin);

// Outer window size of the default size button: 54 cells plus 10 pixels wide,
// 24 cells high.
PixelSize default_window_size(Cell cell);

// Whole cells that fit in a client extent; a part cell does not count.
std::int32_t visible_cells(std::int32_t client_pixels, std::int32_t cell_pixels);

// Cells to move the content back (toward the origin) after a resize when the
// client area reaches past the form's far edge; 0 when nothing moves. The
// result never makes the origin positive.
std::int32_t pull_back(std::int32_t origin, std::int32_t visible, std::int32_t extent);

// A scroll bar's state as the window system reports it.
struct ScrollBarState {
    std::int32_t min, max, page, pos, track_pos;
};

// The position a scroll request asks for (before the system clamps it).
std::int32_t new_scroll_position(int request, const ScrollBarState& bar);

// Cells the content moves after the bar went from old_pos to new_pos
// (positive toward the top or left), capped so the origin stays <= 0.
std::int32_t scroll_delta(std::int32_t old_pos, std::int32_t new_pos, std::int32_t origin);

// Whether a saved window rectangle is worth restoring: wider and higher than
// 5 pixels. Works in 64 bits, so edited extreme values cannot overflow.
bool saved_rect_usable(std::int32_t left, std::int32_t top, std::int32_t right,
                       std::int32_t bottom);

// The open-file dialog's name buffer, and the wrapped display made from the
// chosen name: a longer name is cut.
constexpr std::size_t kDialogNameSize = 1000;

// Where a restored window goes. It stays where it was saved while its title
// bar can still be grabbed on one of the monitors' work areas: the band
// title_height pixels high at its top must meet one of them at least 40
// pixels wide (or the window's width) and 8 pixels high (or the band's
// height). Otherwise it moves onto `nearest`, the work area nearest to it:
// the same size, cut to the work area's where larger, pushed just far enough
// to lie inside it. With no work areas known (or an empty nearest one) it
// stays where it was saved.
PixelRect reachable_window_rect(const PixelRect& saved, const PixelRect* work_areas,
                                std::size_t area_count, const PixelRect& nearest,
                                std::int32_t title_height);

// Initial name for the open-file dialog: the file pattern with all
// after its last backslash replaced by "*.*" (the first character is never
// replaced). The pattern is read a character at a time by `lead`, so the
// second byte of a double-byte character is no backslash. Written into out
// (cap bytes); returns false when it had to be cut.
bool initial_dialog_name(const char* pattern, const LeadBytes& lead, char* out, std::size_t cap);

// Display text of a chosen name: a backslash with at least 40 characters
// before it on its display line ends that line; the next one starts with a
// line feed and five blanks. Characters are read by `lead` as above; a
// double-byte character counts two. Written into out (cap bytes); returns
// false when it had to be cut.
bool wrap_display(const char* name, const LeadBytes& lead, char* out, std::size_t cap);

// Next language of the language button: 0 Japanese, 1 English, and back.
std::int32_t toggle_language(std::int32_t language);

}  // namespace ravolin
