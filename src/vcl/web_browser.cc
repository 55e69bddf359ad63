#include "vcl/web_browser.h"

#include "vcl/application.h"

TWebBrowser::TWebBrowser(TComponent* owner) : TControl(owner) {}

TWebBrowser::~TWebBrowser() {
  if (Application.HasBackend()) Application.Backend().WebViewDestroy(*this);
}

void TWebBrowser::Navigate(const std::string& address) {
  location_ = address;
  Application.Backend().WebViewNavigate(*this, address);
}

void TWebBrowser::Changed() {
  Application.Backend().WebViewChanged(*this);
  TControl::Changed();
}
