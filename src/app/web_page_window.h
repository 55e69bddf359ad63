// The full-screen web-page windows of the home-page and account buttons.
#pragma once

#include <string>

#include "update/update_engine.h"

// Built-in addresses, used when FtpConfig.ini gives none.
inline constexpr char kDefaultHomePageUrl[] = "https://www.quelmar.example/";
inline constexpr char kDefaultAccountUrl[] = "https://www.quelmar.example/account/";

// HomePageUrl when set, else the built-in home page.
std::string HomePageAddress(const RFtpConfigType& config);
// AccountUrl when set; else an empty page for language 's', the built-in
// account page otherwise.
std::string AccountPageAddress(const RFtpConfigType& config, char lang_letter);

// Opens a window as large as the screen, centred on it, with a web view
// filling it at `address`; shows it modally and destroys it when it is
// closed. Pumps messages while it is open.
void OpenWebPageWindow(const std::string& address);
