// Installs a fresh headless backend as the application's backend for one
// test, and releases every form and resets the application afterwards.
#pragma once

#include <gtest/gtest.h>

#include "frontends/headless/headless_backend.h"
#include "vcl/application.h"

namespace test_support {

class HeadlessAppTest : public ::testing::Test {
 protected:
  HeadlessAppTest() {
    Application.SetBackend(&backend);
    Application.SetHaltHandler([this](int code) { halt_codes.push_back(code); });
  }
  ~HeadlessAppTest() override {
    Application.Shutdown();
    Application.Title.clear();
    Application.SetHaltHandler([](int code) { std::_Exit(code); });
    Application.SetBackend(nullptr);
  }

  HeadlessBackend backend;
  std::vector<int> halt_codes;  // codes Application.Halt was called with
};

}  // namespace test_support
