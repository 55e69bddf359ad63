// The stored window outlines that come with the forms' design data: the
// Mask2 payloads (int32 byte count, then the region data) of the main window
// (TForm1) and of the server dialog (TForm2). Compiled in from
// data/skin/form1.mask2 and data/skin/form2.mask2.
#pragma once

#include <string_view>

std::string_view Form1StoredMask2();
std::string_view Form2StoredMask2();
