#include "form/layout_math.h"

#include <cstring>

#include "base/bounded_text.h"

namespace ravolin {

Cell cell_from_metrics(std::int32_t ave_char_width, std::uint32_t pitch_and_family,
                       std::int32_t height, std::int32_t external_leading) {
    Cell c;
    c.width = ave_char_width;
    if (pitch_and_family & 1u) c.width = ave_char_width * 3 / 2;
    c.height = height + external_leading;
    // Nothing may divide by a zero cell later, whatever a font reports.
    if (c.width < 1) c.width = 1;
    if (c.height < 1) c.height = 1;
    return c;
}

PixelRect item_rect(std::int32_t left, std::int32_t top, std::int32_t right,
                    std::int32_t bottom, Cell cell, ScrollOrigin origin) {
    PixelRect r;
    r.left = left * cell.width / 10 + origin.col * cell.width;
    r.right = right * cell.width / 10 + origin.col * cell.width;
    r.top = top * cell.height / 10 + origin.row * cell.height;
    r.bottom = bottom * cell.height / 10 + origin.row * cell.height;
    return r;
}

PixelSize default_window_size(Cell cell) {
    return PixelSize{cell.width * 540 / 10 + 10, cell.height * 240 / 10};
}

std::int32_t visible_cells(std::int32_t client_pixels, std::int32_t cell_pixels) {
    if (cell_pixels <= 0) return 0;
    return client_pixels / cell_pixels;
}

std::int32_t pull_back(std::int32_t origin, std::int32_t visible, std::int32_t extent) {
    if (origin >= 0 || visible <= origin + extent) return 0;
    std::int32_t d = visible - (origin + extent);
    if (d > -origin) d = -origin;
    return d;
}

std::int32_t new_scroll_position(int request, const ScrollBarState& bar) {
    // request   new position
    switch (request) {
        case 0: return bar.pos - 1;          // line up / left
        case 1: return bar.pos + 1;          // line down / right
        case 2: return bar.pos - bar.page;   // page up / left
        case 3: return bar.pos + bar.page;   // page down / right
        case 4: return bar.pos;              // thumb released: already there
        case 5: return bar.track_pos;        // thumb dragged
        case 6: return bar.min;              // top / left end
        case 7: return bar.max;              // bottom / right end
        default: return bar.pos;             // end of scroll and anything else
    }
}

std::int32_t scroll_delta(std::int32_t old_pos, std::int32_t new_pos, std::int32_t origin) {
    std::int32_t d = old_pos - new_pos;
    if (d > -origin) d = -origin;
    return d;
}

bool saved_rect_usable(std::int32_t left, std::int32_t top, std::int32_t right,
                       std::int32_t bottom) {
    std::int64_t w = std::int64_t{right} - left;
    std::int64_t h = std::int64_t{bottom} - top;
    return w > 5 && h > 5 && w <= INT32_MAX && h <= INT32_MAX;
}

namespace {

// Length of the overlap of [a0, a1) and [b0, b1); 0 when they do not meet.
std::int64_t overlap(std::int64_t a0, std::int64_t a1, std::int64_t b0, std::int64_t b1) {
    const std::int64_t lo = a0 > b0 ? a0 : b0;
    const std::int64_t hi = a1 < b1 ? a1 : b1;
    return hi > lo ? hi - lo : 0;
}

std::int64_t at_most(std::int64_t v, std::int64_t limit) { return v < limit ? v : limit; }

// Start of a span of `size` (no larger than [lo, hi)) moved as little as
// possible to lie inside [lo, hi).
std::int64_t fit_span(std::int64_t start, std::int64_t size, std::int64_t lo, std::int64_t hi) {
    if (start + size > hi) start = hi - size;
    if (start < lo) start = lo;
    return start;
}

}  // namespace

PixelRect reachable_window_rect(const PixelRect& saved, const PixelRect* work_areas,
                                std::size_t area_count, const PixelRect& nearest,
                                std::int32_t title_height) {
    const std::int64_t width = std::int64_t{saved.right} - saved.left;
    const std::int64_t height = std::int64_t{saved.bottom} - saved.top;
    const std::int64_t band = title_height > 0 ? title_height : 1;
    const std::int64_t need_w = at_most(40, width), need_h = at_most(8, band);
    for (std::size_t i = 0; i < area_count; ++i) {
        const PixelRect& a = work_areas[i];
        if (overlap(saved.left, saved.right, a.left, a.right) >= need_w &&
            overlap(saved.top, std::int64_t{saved.top} + band, a.top, a.bottom) >= need_h)
            return saved;
    }
    if (area_count == 0 || nearest.right <= nearest.left || nearest.bottom <= nearest.top) return saved;
    const std::int64_t w = at_most(width, std::int64_t{nearest.right} - nearest.left);
    const std::int64_t h = at_most(height, std::int64_t{nearest.bottom} - nearest.top);
    const std::int64_t left = fit_span(saved.left, w, nearest.left, nearest.right);
    const std::int64_t top = fit_span(saved.top, h, nearest.top, nearest.bottom);
    return PixelRect{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                     static_cast<std::int32_t>(left + w), static_cast<std::int32_t>(top + h)};
}

bool initial_dialog_name(const char* pattern, const LeadBytes& lead, char* out, std::size_t cap) {
    if (cap == 0) return false;
    const std::size_t len = std::strlen(pattern);
    // Everything after the last backslash becomes "*.*", but the first
    // character (the whole of a double-byte one) always stays; a pattern
    // ending in a backslash, or of one character, stays as it is.
    std::size_t keep = after_last_separator(pattern, lead, Separators::kBackslash);
    const std::size_t first = char_length(pattern, lead);
    if (keep < first) keep = first;
    const bool wild = keep < len;
    std::size_t n = keep < cap ? keep : cap - 1;
    std::memcpy(out, pattern, n);
    out[n] = '\0';
    bool fits = n == keep;
    if (wild) fits = append_text(out, cap, "*.*") && fits;
    return fits;
}

bool wrap_display(const char* name, const LeadBytes& lead, char* out, std::size_t cap) {
    if (cap == 0) return false;
    out[0] = '\0';
    std::size_t used = 0;
    bool fits = true;
    // Appends name[from, to) without ever writing past out[cap - 1].
    auto put = [&](const char* from, std::size_t n) {
        std::size_t room = cap - 1 - used;
        if (n > room) {
            n = room;
            fits = false;
        }
        std::memcpy(out + used, from, n);
        used += n;
        out[used] = '\0';
    };
    std::size_t line_start = 0;
    std::size_t count = 0;  // bytes: a double-byte character is two columns wide
    std::size_t i = 0;
    for (std::size_t n; (n = char_length(name + i, lead)) != 0; i += n) {
        if (count >= 40 && is_separator(name[i], Separators::kBackslash)) {
            put(name + line_start, i + 1 - line_start);
            put("\n     ", 6);
            line_start = i + 1;
            count = 0;
        } else {
            count += n;
        }
    }
    put(name + line_start, i - line_start);
    return fits;
}

std::int32_t toggle_language(std::int32_t language) {
    // Only 0 and 1 occur (the load brings anything else to 0); an odd value
    // also lands on Japanese rather than overflowing.
    return language == 0 ? 1 : 0;
}

}  // namespace ravolin
