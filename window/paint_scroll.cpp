// Painting the drawn items of the form, and scrolling the whole form (child
// controls included) in whole cells.
#include <cstdio>

#include "window/form_window.h"
#include "window/label_text.h"
#include "settings/window_data.h"

namespace ravolin {

namespace {

void paint_item(HDC dc, int row, int language) {
    const FormItem& f = kFormTable[row];
    PixelRect p = item_rect(row);
    // An item reaching past the left edge is not drawn at all; only the left
    // edge is tested, an item cut at the top is drawn and clipped.
    if (p.left < 0) return;
    RECT r{p.left, p.top, p.right, p.bottom};
    char number[50];
    const UINT format = f.style;
    switch (f.kind) {
        case kKindPaintedLabel:
            draw_label(dc, item_label(row, language), &r, format);
            break;
        case kKindPaintedSlotText:
            if (is_slot_index(f.ref)) draw_utf8_text(dc, g_text_slots[f.ref], &r, format);
            break;
        case kKindPaintedDecimal:
        case kKindPaintedHex:
            if (!is_setting_index(f.ref)) break;
            if (f.kind == kKindPaintedHex)
                std::snprintf(number, sizeof number, "%#x", static_cast<unsigned>(g_settings[f.ref]));
            else
                std::snprintf(number, sizeof number, "%d", static_cast<int>(g_settings[f.ref]));
            DrawTextA(dc, number, -1, &r, format);
            break;
        case kKindPaintedEdge:
            DrawEdge(dc, &r, f.style, static_cast<UINT>(f.aux));
            break;
        default:
            break;
    }
}

// Moves the content of one bar's direction after a scroll request.
// Returns the cells moved (0: nothing moved).
std::int32_t scroll_bar(HWND main, int bar, WPARAM request, std::int32_t origin) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    if (!GetScrollInfo(main, bar, &si)) return 0;
    const ScrollBarState state{si.nMin, si.nMax, static_cast<std::int32_t>(si.nPage), si.nPos,
                               si.nTrackPos};
    const std::int32_t old_pos = si.nPos;
    SCROLLINFO set{};
    set.cbSize = sizeof set;
    set.fMask = SIF_POS;
    set.nPos = new_scroll_position(LOWORD(request), state);
    SetScrollInfo(main, bar, &set, TRUE);
    SCROLLINFO back{};
    back.cbSize = sizeof back;
    back.fMask = SIF_POS;
    if (!GetScrollInfo(main, bar, &back) || back.nPos == old_pos) return 0;
    return scroll_delta(old_pos, back.nPos, origin);
}

void set_bar(HWND main, int bar, std::int32_t max, std::int32_t page) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE;
    si.nMin = 0;
    si.nMax = max;
    si.nPage = static_cast<UINT>(page);
    SetScrollInfo(main, bar, &si, TRUE);
}

}  // namespace

void paint_form(HWND main) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(main, &ps);
    if (dc == nullptr) return;
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    const int language = g_settings[kSettingLanguage];
    for (int row = 0; row < kFormRows; ++row) {
        if (is_painted_kind(kFormTable[row].kind)) paint_item(dc, row, language);
    }
    EndPaint(main, &ps);
}

void resize_form(HWND main, LPARAM client_size) {
    const std::int32_t cols = visible_cells(LOWORD(client_size), g_cell.width);
    const std::int32_t rows = visible_cells(HIWORD(client_size), g_cell.height);
    bool moved = false;
    if (std::int32_t d = pull_back(g_scroll_origin.row, rows, kFormRowsExtent)) {
        ScrollWindow(main, 0, d * g_cell.height, nullptr, nullptr);
        g_scroll_origin.row += d;
        moved = true;
    }
    if (std::int32_t d = pull_back(g_scroll_origin.col, cols, kFormCols)) {
        ScrollWindow(main, d * g_cell.width, 0, nullptr, nullptr);
        g_scroll_origin.col += d;
        moved = true;
    }
    if (moved) InvalidateRect(main, nullptr, TRUE);
    set_bar(main, SB_VERT, kFormRowsExtent, rows);
    set_bar(main, SB_HORZ, kFormCols, cols);
}

void scroll_form_vertical(HWND main, WPARAM request) {
    std::int32_t d = scroll_bar(main, SB_VERT, request, g_scroll_origin.row);
    if (d == 0) return;
    ScrollWindow(main, 0, d * g_cell.height, nullptr, nullptr);
    g_scroll_origin.row += d;
    UpdateWindow(main);
}

void scroll_form_horizontal(HWND main, WPARAM request) {
    std::int32_t d = scroll_bar(main, SB_HORZ, request, g_scroll_origin.col);
    if (d == 0) return;
    ScrollWindow(main, d * g_cell.width, 0, nullptr, nullptr);
    g_scroll_origin.col += d;
    // Every painted item is redrawn: one scrolled back past the left edge
    // must reappear whole.
    InvalidateRect(main, nullptr, TRUE);
}

}  // namespace ravolin
