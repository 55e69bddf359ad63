// The interface a front-end implements so the component model can reach a
// screen. The model (src/vcl) owns geometry, z-order, visibility, hit
// testing and mouse capture; a backend only paints what the model lists,
// measures text, loads bitmaps, shows boxes and web views, and feeds input
// back through TForm::MouseDown / MouseMove / MouseUp / CloseRequested.
//
// Two implementations: frontends/headless (deterministic, scripted) and
// frontends/gtk. Every call arrives on the user-interface thread.
//
// Stability: this interface is shared with the GTK front-end; additions are
// listed here with their reason.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TForm;
class TWebBrowser;

namespace vcl {

struct Size {
  int width = 0;
  int height = 0;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;   // exclusive
  int bottom = 0;  // exclusive
};

// 0x00BBGGRR as the stored colour values of the window designs use it.
using Color = std::uint32_t;
inline constexpr Color kBlack = 0x000000;
inline constexpr Color kAqua = 0xFFFF00;    // red 0, green 255, blue 255
inline constexpr Color kYellow = 0x00FFFF;  // red 255, green 255, blue 0

struct FontSpec {
  std::string name;  // face name as the design gives it ("Arial", "Courier New")
  int height = 16;   // pixel height of the character cell
  Color color = kBlack;
  // Character set of the texts drawn in this font ("BIG5", ...), fixed by
  // a window design whatever the language; empty: Application.CharSet.
  std::string charset = "";
};

// A bitmap as a backend loaded it. `handle` is the backend's own pixel
// store (the GTK backend keeps a GdkPixbuf there; headless keeps nothing).
struct BitmapInfo {
  int width = 0;
  int height = 0;
  std::shared_ptr<void> handle;
};

enum class MessageIcon { kNone, kError, kQuestion, kWarning, kInformation };

struct MessageButton {
  std::string label;  // "OK", "&Yes", "&No", "&Abort" ('&' marks the mnemonic)
  int id = 0;         // returned when pressed (IDOK, IDYES, IDNO, IDABORT)
};

struct MessageBoxRequest {
  std::string text;     // bytes in Application.CharSet
  std::string caption;  // bytes in Application.CharSet
  MessageIcon icon = MessageIcon::kNone;
  std::vector<MessageButton> buttons;  // at least one
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Size of the screen the windows are placed on.
  virtual Size ScreenSize() = 0;

  // Width and height in pixels of `bytes` (text in Application.CharSet)
  // drawn in `font`. Used for the AutoSize of labels.
  virtual Size MeasureText(const FontSpec& font, const std::string& bytes) = 0;

  // Loads a BMP file from a real path. Returns false when the file is
  // missing or not a readable bitmap; `out` is then untouched.
  [[nodiscard]] virtual bool LoadBitmap(const std::string& real_path, BitmapInfo& out) = 0;

  // The form's look changed: repaint it later from form.PaintList() (the
  // visible controls in z-order, bottom first). Cheap; may be called often.
  virtual void InvalidateForm(TForm& form) = 0;

  // Shows the form's top-level window at form.Left()/Top() with its size and
  // caption. `modal`: other windows of the process take no input until
  // HideForm. The model runs the modal loop itself (platform::WaitForEvent);
  // a backend may use this call to script an answer (headless).
  virtual void ShowForm(TForm& form, bool modal) = 0;
  virtual void HideForm(TForm& form) = 0;
  // Position, size or caption of a shown or hidden form changed.
  virtual void FormBoundsChanged(TForm& form) = 0;
  // The form object is going away; drop every native resource of it.
  virtual void DestroyForm(TForm& form) = 0;

  // Cuts the form's outline (and input area) to the union of `rects`, in
  // form coordinates. An empty list restores the plain rectangle.
  virtual void SetWindowShape(TForm& form, const std::vector<Rect>& rects) = 0;

  // Lets the user move the form with the pointer until the button that is
  // down now is released (the caption-drag system command).
  virtual void StartWindowDrag(TForm& form) = 0;

  // Shows a modal box and returns the id of the button pressed; a box
  // closed without a button returns the id of its last button.
  virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;

  // Web views: a TWebBrowser gets its native view on the first Changed call
  // (its bounds, visibility or form changed), a navigation per Navigate, and
  // the view is dropped by WebViewDestroy.
  virtual void WebViewChanged(TWebBrowser& browser) = 0;
  virtual void WebViewNavigate(TWebBrowser& browser, const std::string& address) = 0;
  virtual void WebViewDestroy(TWebBrowser& browser) = 0;

  // Single instance: looks for a top-level window whose title is exactly
  // `title`; when found, brings it to the front, shows it and returns true.
  virtual bool ActivateWindowTitled(const std::string& title) = 0;
};

}  // namespace vcl
