#include "app/web_page_window.h"

#include <memory>

#include "vcl/application.h"
#include "vcl/form.h"
#include "vcl/web_browser.h"

std::string HomePageAddress(const RFtpConfigType& config) {
  return config.HomePageUrl.empty() ? kDefaultHomePageUrl : config.HomePageUrl;
}

std::string AccountPageAddress(const RFtpConfigType& config, char lang_letter) {
  if (!config.AccountUrl.empty()) return config.AccountUrl;
  return lang_letter == 's' ? std::string() : std::string(kDefaultAccountUrl);
}

void OpenWebPageWindow(const std::string& address) {
  const vcl::Size screen = Application.Backend().ScreenSize();
  auto window = std::make_unique<TForm>(nullptr);
  window->Name = "FmWeb";
  // As large as the screen, so centred on it means at 0, 0.
  window->SetBounds(0, 0, screen.width, screen.height);
  auto* browser = new TWebBrowser(window.get());
  browser->SetParent(window.get());
  browser->SetBounds(0, 0, screen.width, screen.height);
  browser->Navigate(address);
  window->ShowModal();
}
