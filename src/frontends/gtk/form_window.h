// The native window of one form: a top-level GtkWindow holding a drawing
// area that paints the form's controls and a fixed container for the web
// views. Mouse input on it goes back to the form; a drag by the window
// system and moves by the user are reported back as the form's position.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frontends/gtk/control_painter.h"
#include "vcl/backend.h"

class TForm;
class TListBox;

namespace gtkui {

class FormWindow {
 public:
  explicit FormWindow(TForm& form);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  GtkWindow* window() const { return GTK_WINDOW(window_); }
  // Container for the form's native child views (form coordinates).
  GtkFixed* children() const { return GTK_FIXED(fixed_); }

  // Applies the form's position, size, caption and border style.
  void SyncFromForm();
  void Show(bool modal, GtkWindow* transient_for);
  void Hide();
  bool Shown() const { return gtk_widget_get_visible(window_); }
  void QueueDraw() { gtk_widget_queue_draw(canvas_); }
  // The union of `rects` becomes the outline and the input area; an empty
  // list makes the window rectangular again.
  void SetShape(const std::vector<vcl::Rect>& rects);
  // Moves the window with the pointer until the pressed button is released.
  void BeginMoveDrag();
  // True while the form is being told of a move the user made; the form's
  // bounds change then needs no native move.
  bool ReportingMove() const { return syncing_; }

 private:
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer self);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);
  // Scrolls each list box so that a newly selected entry is shown.
  void RevealSelections();
  void SelectListEntry(int x, int y);
  // Runs `input` on the message loop unless this window is gone by then.
  void Deliver(std::function<void()> input);
  std::string DecodedCaption() const;

  TForm& form_;
  GtkWidget* window_;
  GtkWidget* fixed_;
  GtkWidget* canvas_;
  bool syncing_ = false;  // applying the form's own bounds: no echo back
  // Set once the user has dragged the window: from then on the window
  // system's positions are the form's.
  bool moved_by_user_ = false;
  // The press that a window drag continues.
  guint press_button_ = 0;
  double press_x_root_ = 0;
  double press_y_root_ = 0;
  guint32 press_time_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  ListTops list_tops_;                       // scrolled list boxes
  std::map<const TListBox*, int> revealed_;  // selection last scrolled into view
};

}  // namespace gtkui
