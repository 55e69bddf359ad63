// updater-cli: the updater without a window, for scripts, servers and tests.
#include <cstdio>
#include <string>
#include <vector>

#include "frontends/cli/cli_options.h"
#include "frontends/cli/cli_session.h"
#include "platform/file_system.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::PrepareStandardStreams();
  const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
  std::vector<const char*> argument_texts;
  for (const std::string& argument : arguments) argument_texts.push_back(argument.c_str());
  std::string error;
  const std::optional<CliOptions> options =
      ParseCliOptions(static_cast<int>(argument_texts.size()), argument_texts.data(), error);
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
    exe_dir = platform::RealFolderPath(options->dir);
    if (exe_dir.empty()) {
      std::fprintf(stderr, "updater-cli: --dir %s: not a folder\n", options->dir.c_str());
      return 2;
    }
  }
  if (exe_dir.empty()) {
    std::fprintf(stderr, "updater-cli: cannot find the folder of its own executable; give --dir\n");
    return 2;
  }
  return RunCliSession(*options, exe_dir);
}
