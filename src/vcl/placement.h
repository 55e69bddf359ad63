// The rectangle a form or a control occupies, and the ways to change it.
// Every change goes through SetBounds, which each kind of object defines.
#pragma once

#include "vcl/backend.h"

class TPlacement {
 public:
  virtual ~TPlacement() = default;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height) = 0;
  vcl::Rect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }

 protected:
  // Stores the rectangle; false when it is the one already stored.
  bool StoreBounds(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return false;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    return true;
  }

 private:
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
};
