#include "vcl/list_box.h"

TListBox::TListBox(TComponent* owner) : TControl(owner) {}

int TListBox::ItemIndex() const {
  // The lines may have shrunk under a selection.
  return item_index_ < Items.Count() ? item_index_ : -1;
}

void TListBox::SetItemIndex(int index) {
  item_index_ = (index >= 0 && index < Items.Count()) ? index : -1;
  Invalidate();
}
