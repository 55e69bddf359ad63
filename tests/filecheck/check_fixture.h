// A main window (headless) on a fresh game folder for the file check's
// tests, with the status texts and refused names it reports recorded.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/locale_env.h"
#include "support/game_folder.h"
#include "support/headless_app.h"

namespace test_support {

// Runs the test in a fresh current folder, which is not the game folder.
class ScopedCurrentFolder {
 public:
  ScopedCurrentFolder() : old_(getcwd(nullptr, 0)) {
    if (chdir(folder.path().c_str()) != 0) ADD_FAILURE() << "chdir";
  }
  ~ScopedCurrentFolder() {
    if (chdir(old_) != 0) ADD_FAILURE() << "chdir back";
    free(old_);
  }
  TempFolder folder;

 private:
  char* old_;
};

class CheckWindowTest : public HeadlessAppTest {
 protected:
  CheckWindowTest() : locale_("en_US.UTF-8") {
    Application.Title = "Vortftpup";
    game.WriteAllSkins();
    form = Application.CreateForm<TForm1>(game.path());
    form->OnStatusText = [this](const std::string& text) { status_texts.push_back(text); };
    form->OnRefusedName = [this](const std::string& sentence) { refused.push_back(sentence); };
  }

 private:
  ScopedLocale locale_;  // before the window: it picks its language at creation

 protected:
  GameFolder game;
  TForm1* form = nullptr;
  std::vector<std::string> status_texts;  // every SetStatusText, in order
  std::vector<std::string> refused;       // every OnRefusedName sentence
};

}  // namespace test_support
