// A list of lines with at most one selected entry.
#pragma once

#include "vcl/control.h"
#include "vcl/strings.h"

class TListBox : public TControl {
 public:
  explicit TListBox(TComponent* owner);
  ControlKind Kind() const override { return ControlKind::kListBox; }

  // The lines; call Invalidate() after changing them on a visible box.
  TStrings Items;

  // Selected entry, -1 when none. Selecting an index that is not an entry
  // leaves no entry selected.
  int ItemIndex() const;
  void SetItemIndex(int index);

  vcl::FontSpec Font;

 private:
  int item_index_ = -1;
};
