// updater-cli: the updater without a window, for scripts, servers and tests.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "frontends/cli/cli_options.h"
#include "frontends/cli/cli_session.h"
#include "platform/file_system.h"

int main(int argc, char** argv) {
  std::string error;
  const std::optional<CliOptions> options = ParseCliOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "updater-cli: %s\n\n%s", error.c_str(), CliUsage());
    return 2;
  }
  if (options->help) {
    std::fputs(CliUsage(), stdout);
    return 0;
  }
  std::string exe_dir = platform::ExecutableFolder();
  if (!options->dir.empty()) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::canonical(options->dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec)) {
      std::fprintf(stderr, "updater-cli: --dir %s: not a folder\n", options->dir.c_str());
      return 2;
    }
    exe_dir = dir.string();
    if (exe_dir.back() != '/') exe_dir += '/';
  }
  if (exe_dir.empty()) {
    std::fprintf(stderr, "updater-cli: cannot find the folder of its own executable; give --dir\n");
    return 2;
  }
  return RunCliSession(*options, exe_dir);
}
