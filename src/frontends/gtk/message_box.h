// Modal message boxes: the confirmation (Yes/No, question icon), the
// information box (OK), the standard error box and the unpacker's "Abort" box.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "vcl/backend.h"

namespace gtkui {

// "&Yes" as a GTK mnemonic label ("_Yes"); a literal underscore is doubled.
std::string MnemonicLabel(const std::string& label);

// Shows the box over `parent` (may be null), runs it modally (pumping the
// one message loop) and returns the id of the button pressed, or the id of
// the last button when the box is closed otherwise. Texts are decoded from
// `charset`.
int RunMessageBox(const vcl::MessageBoxRequest& request, const std::string& charset,
                  GtkWindow* parent);

}  // namespace gtkui
