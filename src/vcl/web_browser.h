// An embedded HTML view. The backend gives it a native view of its own that
// lies above the painted controls of its form.
#pragma once

#include <string>

#include "vcl/control.h"

class TWebBrowser : public TControl {
 public:
  explicit TWebBrowser(TComponent* owner);
  ~TWebBrowser() override;
  ControlKind Kind() const override { return ControlKind::kWebBrowser; }

  // Loads a local file path or a web address; "" shows an empty page.
  void Navigate(const std::string& address);
  // The last address navigated to.
  const std::string& LocationURL() const { return location_; }

 protected:
  void Changed() override;

 private:
  std::string location_;
};
