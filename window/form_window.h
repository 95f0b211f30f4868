// The live main window's form: the child controls made from the form table,
// the cell they are laid out in, and the scroll origin. Everything here runs
// on the window thread.
#pragma once
#include <windows.h>

#include "form/form_table.h"
#include "form/layout_math.h"

namespace ravolin {

// Child control of each form row; null for rows that are no control.
extern HWND g_item_windows[kFormRows];
// Layout unit, fixed by measure_cell during the window set-up.
extern Cell g_cell;
// Scroll origin in whole cells, 0 at start and never positive.
extern ScrollOrigin g_scroll_origin;

// --- controls.cpp
// Cell from the text metrics of the main window's default font.
void measure_cell(HWND main);
// Pixel rectangle of a form row at the current cell and scroll origin.
PixelRect item_rect(int row);
// One child control per control row, with its initial text, check state and
// enabled state. Labels come afterwards from relabel_items.
void create_items(HWND main, HINSTANCE instance);
// Labels of the labelled controls in the current language.
void relabel_items();
// Moves the main window to the rectangle saved last time, if it is usable.
void restore_window_rect(HWND main);

// --- paint_scroll.cpp
void paint_form(HWND main);
void resize_form(HWND main, LPARAM client_size);
void scroll_form_vertical(HWND main, WPARAM request);
void scroll_form_horizontal(HWND main, WPARAM request);

}  // namespace ravolin
