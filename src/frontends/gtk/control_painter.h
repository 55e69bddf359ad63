// Paints one control of the component model with cairo, in form
// coordinates. Web views are native widgets and are not painted here.
#pragma once

#include <cairo.h>

#include <string>

class TControl;
class TListBox;

namespace gtkui {

// Paints `control` clipped to its bounds. `charset` decodes its texts.
void PaintControl(cairo_t* cr, TControl& control, const std::string& charset);

// Height of one entry of a list box in its font (at least 1).
int ListItemHeight(const TListBox& list);

}  // namespace gtkui
