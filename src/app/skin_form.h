// TSkinForm: the picture that is the whole face of a borderless window and
// the holder of the window's stored outline (Mask2). It always sits at the
// form's top-left corner; a left-button press on it lets the user move the
// window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vcl/backend.h"
#include "vcl/image.h"

class TSkinForm : public TImage {
 public:
  explicit TSkinForm(TComponent* owner);

  // Placing it on a form makes the form borderless, then pins the skin to 0, 0.
  void SetParent(TForm* form) override;
  // top and left are always 0, whatever is asked.
  void SetBounds(int left, int top, int width, int height) override;

  // Reads a stored Mask2 payload: a little-endian int32 byte count n, then
  // n bytes of region data (a 32-byte header of size, type 1, count, byte
  // size and bounding box, then count rectangles of four int32 each). n = 0
  // means no region. The rectangles become the parent form's window shape.
  // Throws Exception "Invalid window outline data" when the payload is
  // shorter than it says or the region data is malformed; the window then
  // stays rectangular.
  void ReadMask2(std::string_view payload);
  // The payload to store: 4 zero bytes when the component holds no region,
  // else the byte count and the region data.
  std::string WriteMask2() const;

  bool HasRegion() const { return has_region_; }
  // The rectangles of the outline read last (kept for the component's life,
  // also after a new picture made it forget its region).
  const std::vector<vcl::Rect>& OutlineRects() const { return rects_; }

  // A left-button press hands the mouse to the window system to move the
  // window; other buttons do nothing but the OnMouseDown event.
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

 protected:
  // A new picture forgets the region; the window keeps its outline.
  void PictureChanged() override { has_region_ = false; }

 private:
  void ApplyShape();

  std::string region_data_;  // the n bytes of the last Mask2 read
  std::vector<vcl::Rect> rects_;
  bool has_region_ = false;
};
