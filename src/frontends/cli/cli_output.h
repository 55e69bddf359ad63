// What updater-cli prints: one line per status text and per message box,
// and on a terminal the byte progress on one line that is rewritten.
#pragma once

#include <cstdio>
#include <string>

class CliOutput {
 public:
  // raw: print the bytes as stored instead of converting them to UTF-8.
  explicit CliOutput(bool raw) : raw_(raw) {}

  // The language letter that decides how texts are decoded ('t' Big5,
  // 's' GB2312, otherwise as they are).
  void SetLanguage(char lang_letter) { lang_letter_ = lang_letter; }

  // A text on its own line of stdout (line ends at its end are dropped).
  void Line(const std::string& bytes);
  // The byte progress, rewritten in place and fitted to the terminal's
  // width (see FitToColumns); nothing unless stdout is a terminal whose
  // width is known, since a line that wraps scrolls at every rewrite.
  void Progress(const std::string& bytes);
  // A sentence on its own line of stderr.
  void Problem(const std::string& sentence);

 private:
  std::string Decode(const std::string& bytes) const;
  void EndProgressLine();

  bool raw_;
  char lang_letter_ = 'n';
  bool progress_shown_ = false;
};
