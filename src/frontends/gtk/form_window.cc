#include "frontends/gtk/form_window.h"

#include <algorithm>

#include "frontends/gtk/control_painter.h"
#include "frontends/gtk/text_codec.h"
#include "platform/event_loop.h"
#include "vcl/application.h"
#include "vcl/form.h"
#include "vcl/list_box.h"

namespace gtkui {
namespace {

TMouseButton ToMouseButton(guint button) {
  switch (button) {
    case 2: return TMouseButton::mbMiddle;
    case 3: return TMouseButton::mbRight;
    default: return TMouseButton::mbLeft;
  }
}

TShiftState ToShift(guint state) {
  return {(state & GDK_SHIFT_MASK) != 0, (state & GDK_CONTROL_MASK) != 0,
          (state & GDK_MOD1_MASK) != 0};
}

}  // namespace

FormWindow::FormWindow(TForm& form)
    : form_(form),
      window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      fixed_(gtk_fixed_new()),
      canvas_(gtk_drawing_area_new()) {
  gtk_container_add(GTK_CONTAINER(window_), fixed_);
  gtk_fixed_put(GTK_FIXED(fixed_), canvas_, 0, 0);
  gtk_widget_add_events(canvas_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK);
  g_signal_connect(canvas_, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(canvas_, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(canvas_, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(canvas_, "scroll-event", G_CALLBACK(OnScroll), this);
  g_signal_connect(window_, "configure-event", G_CALLBACK(OnConfigure), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  gtk_widget_show(fixed_);
  gtk_widget_show(canvas_);
  SyncFromForm();
}

FormWindow::~FormWindow() { gtk_widget_destroy(window_); }

void FormWindow::SyncFromForm() {
  syncing_ = true;
  const std::string title = DecodedCaption();
  gtk_window_set_title(window(), title.c_str());
  gtk_window_set_decorated(window(), form_.BorderStyle() != TFormBorderStyle::bsNone);
  const int width = form_.Width() > 0 ? form_.Width() : 1;
  const int height = form_.Height() > 0 ? form_.Height() : 1;
  gtk_widget_set_size_request(canvas_, width, height);
  gtk_window_resize(window(), width, height);
  gtk_window_move(window(), form_.Left(), form_.Top());
  syncing_ = false;
}

void FormWindow::Show(bool modal, GtkWindow* transient_for) {
  SyncFromForm();
  gtk_window_set_modal(window(), modal);
  gtk_window_set_transient_for(window(), transient_for);
  gtk_widget_show(window_);
  gtk_window_move(window(), form_.Left(), form_.Top());  // some window managers place on map
  gtk_window_present(window());
}

void FormWindow::Hide() {
  gtk_window_set_modal(window(), FALSE);
  gtk_widget_hide(window_);
}

void FormWindow::SetShape(const std::vector<vcl::Rect>& rects) {
  if (rects.empty()) {
    gtk_widget_shape_combine_region(window_, nullptr);
    gtk_widget_input_shape_combine_region(window_, nullptr);
    return;
  }
  std::vector<cairo_rectangle_int_t> boxes;
  boxes.reserve(rects.size());
  for (const vcl::Rect& r : rects)
    if (r.right > r.left && r.bottom > r.top)
      boxes.push_back({r.left, r.top, r.right - r.left, r.bottom - r.top});
  cairo_region_t* region = cairo_region_create_rectangles(boxes.data(), static_cast<int>(boxes.size()));
  gtk_widget_shape_combine_region(window_, region);
  gtk_widget_input_shape_combine_region(window_, region);
  cairo_region_destroy(region);
}

void FormWindow::BeginMoveDrag() {
  if (press_button_ == 0) return;
  moved_by_user_ = true;
  gtk_window_begin_move_drag(window(), static_cast<gint>(press_button_),
                             static_cast<gint>(press_x_root_), static_cast<gint>(press_y_root_),
                             press_time_);
}

gboolean FormWindow::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
  auto* me = static_cast<FormWindow*>(self);
  cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);  // the form's own colour
  cairo_paint(cr);
  me->RevealSelections();
  for (TControl* control : me->form_.PaintList())
    PaintControl(cr, *control, Application.CharSet, me->list_tops_);
  return TRUE;
}

void FormWindow::RevealSelections() {
  for (TControl* control : form_.Controls()) {
    if (control->Kind() != ControlKind::kListBox) continue;
    const auto* list = static_cast<const TListBox*>(control);
    const int selected = list->ItemIndex();
    auto seen = revealed_.find(list);
    if (selected < 0 || (seen != revealed_.end() && seen->second == selected)) continue;
    revealed_[list] = selected;
    int& top = list_tops_[list];
    const int rows = ListVisibleRows(*list);
    if (selected < top) top = selected;
    if (selected >= top + rows) top = selected - rows + 1;
  }
}

// The wheel scrolls a list box under the pointer, three entries a notch.
gboolean FormWindow::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer self) {
  auto* me = static_cast<FormWindow*>(self);
  TControl* control = me->form_.ControlAtPos(static_cast<int>(event->x), static_cast<int>(event->y));
  if (control == nullptr || control->Kind() != ControlKind::kListBox) return FALSE;
  if (event->direction != GDK_SCROLL_UP && event->direction != GDK_SCROLL_DOWN) return FALSE;
  const auto* list = static_cast<const TListBox*>(control);
  const int last_top = std::max(0, list->Items.Count() - ListVisibleRows(*list));
  int& top = me->list_tops_[list];
  top = std::clamp(top + (event->direction == GDK_SCROLL_DOWN ? 3 : -3), 0, last_top);
  me->QueueDraw();
  return TRUE;
}

gboolean FormWindow::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->type != GDK_BUTTON_PRESS) return TRUE;  // double-click extras: one press each
  auto* me = static_cast<FormWindow*>(self);
  me->press_button_ = event->button;
  me->press_x_root_ = event->x_root;
  me->press_y_root_ = event->y_root;
  me->press_time_ = event->time;
  const int x = static_cast<int>(event->x), y = static_cast<int>(event->y);
  const TMouseButton button = ToMouseButton(event->button);
  const TShiftState shift = ToShift(event->state);
  me->Deliver([me, button, shift, x, y] {
    me->SelectListEntry(x, y);
    me->form_.MouseDown(button, shift, x, y);
  });
  return TRUE;
}

gboolean FormWindow::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* me = static_cast<FormWindow*>(self);
  const int x = static_cast<int>(event->x), y = static_cast<int>(event->y);
  const TMouseButton button = ToMouseButton(event->button);
  const TShiftState shift = ToShift(event->state);
  me->Deliver([me, button, shift, x, y] {
    me->press_button_ = 0;
    me->form_.MouseUp(button, shift, x, y);
  });
  return TRUE;
}

gboolean FormWindow::OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self) {
  auto* me = static_cast<FormWindow*>(self);
  if (me->syncing_ || !me->moved_by_user_) return FALSE;
  if (event->x != me->form_.Left() || event->y != me->form_.Top()) {
    me->syncing_ = true;  // the user moved the window: the form follows
    me->form_.SetBounds(event->x, event->y, me->form_.Width(), me->form_.Height());
    me->syncing_ = false;
  }
  return FALSE;
}

gboolean FormWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  auto* me = static_cast<FormWindow*>(self);
  me->Deliver([me] { me->form_.CloseRequested(); });
  return TRUE;  // the form decides; it hides or destroys the window itself
}

// GTK may hand over input inside its frame cycle, where a handler that
// waits (a message box, an FTP operation) would stop the window from being
// repainted; the model therefore gets its input from a message of its own.
void FormWindow::Deliver(std::function<void()> input) {
  std::weak_ptr<bool> alive = alive_;
  platform::PostMessage([alive, input = std::move(input)] {
    if (!alive.expired()) input();
  });
}

std::string FormWindow::DecodedCaption() const {
  return DecodeText(form_.Caption(), Application.CharSet);
}

// A press on a list box selects the entry under the pointer, as a native
// list does, before the form sees the press.
void FormWindow::SelectListEntry(int x, int y) {
  TControl* control = form_.ControlAtPos(x, y);
  if (control == nullptr || control->Kind() != ControlKind::kListBox) return;
  auto* list = static_cast<TListBox*>(control);
  const auto top = list_tops_.find(list);
  const int index = ListEntryAt(*list, top != list_tops_.end() ? top->second : 0, x, y);
  if (index >= 0) {
    revealed_[list] = index;  // already in view
    list->SetItemIndex(index);
  }
}

}  // namespace gtkui
