// Paints one control of the component model with cairo, in form
// coordinates. Web views are native widgets and are not painted here.
#pragma once

#include <cairo.h>

#include <map>
#include <string>

class TControl;
class TListBox;

namespace gtkui {

// First shown entry of each scrolled list box (absent: the first entry).
using ListTops = std::map<const TListBox*, int>;

// Paints `control` clipped to its bounds. `charset` (the application's)
// decodes its texts unless the control's font fixes its own.
void PaintControl(cairo_t* cr, TControl& control, const std::string& charset, const ListTops& tops);

// Height of one entry of a list box in its font (at least 1).
int ListItemHeight(const TListBox& list);
// Number of entries that fit in the list box (at least 1).
int ListVisibleRows(const TListBox& list);
// Entry under the form point (x, y) of the list box, or -1.
int ListEntryAt(const TListBox& list, int top_index, int x, int y);

}  // namespace gtkui
