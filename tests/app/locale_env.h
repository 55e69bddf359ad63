// Sets the locale environment the updater reads its language from, for
// one scope, and restores the previous values afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class ScopedLocale {
 public:
  explicit ScopedLocale(const std::string& name) {
    for (int i = 0; i < 3; ++i) {
      const char* old = std::getenv(kVars[i]);
      if (old != nullptr) saved_[i] = old;
      ::unsetenv(kVars[i]);
    }
    ::setenv("LC_ALL", name.c_str(), 1);
  }
  ~ScopedLocale() {
    for (int i = 0; i < 3; ++i) {
      if (saved_[i]) ::setenv(kVars[i], saved_[i]->c_str(), 1);
      else ::unsetenv(kVars[i]);
    }
  }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

 private:
  static constexpr const char* kVars[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> saved_[3];
};
