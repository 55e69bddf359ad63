#include "frontends/cli/cli_output.h"

#include <optional>

#include "frontends/cli/progress_line.h"
#include "platform/display_text.h"
#include "platform/process.h"

std::string CliOutput::Decode(const std::string& bytes) const {
  return raw_ ? bytes : platform::TextToUtf8(bytes, lang_letter_);
}

void CliOutput::EndProgressLine() {
  if (!progress_shown_) return;
  std::fputc('\n', stdout);
  progress_shown_ = false;
}

void CliOutput::Line(const std::string& bytes) {
  EndProgressLine();
  std::string text = Decode(bytes);
  // A server's reply carried into a box keeps its line end; the line has its own.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void CliOutput::Progress(const std::string& bytes) {
  const std::optional<int> columns = platform::TerminalColumns(platform::StandardStream::kOutput);
  if (!columns) return;
  // Fitted after decoding: the columns are those of the characters shown.
  const std::string text = FitToColumns(Decode(bytes), *columns);
  std::fputc('\r', stdout);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputs("\x1b[K", stdout);  // clear what a longer earlier text left
  std::fflush(stdout);
  progress_shown_ = true;
}

void CliOutput::Problem(const std::string& sentence) {
  EndProgressLine();
  std::fflush(stdout);
  std::fprintf(stderr, "updater-cli: %s\n", sentence.c_str());
  std::fflush(stderr);
}
