#include "frontends/cli/cli_options.h"

#include <charconv>
#include <string_view>

namespace {

// The value of a decimal number that is the whole text, or nullopt.
std::optional<int> WholeNumber(std::string_view text) {
  int n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return n;
}

}  // namespace

const char* CliUsage() {
  return "Usage: updater-cli [--dir DIR] [--server N] [--raw] [--yes]\n"
         "                   [--update] [--forced] [--check] [--verify] [--start-game]\n"
         "                   [--max-rate KIB] [--connections N]\n"
         "\n"
         "Checks the game folder against the update server and, when asked,\n"
         "installs the update. The status line and every message box are\n"
         "printed one per line.\n"
         "\n"
         "  --dir DIR      the game folder (default: the folder of this program)\n"
         "  --server N     confirm entry N of the server list (0 = first; the\n"
         "                 number of servers means \"Other\"); default: the\n"
         "                 entry remembered in isp1.dat\n"
         "  --raw          print texts as stored (Big5 or GB2312), not as UTF-8\n"
         "  --yes          answer questions Yes (default: No)\n"
         "  --update       install the files the check found\n"
         "  --forced       reinstall every file of the server list (with --yes;\n"
         "                 without it the question is answered No)\n"
         "  --check        check the game files against datec.dat and repair\n"
         "                 what differs (after the update, once the game can start;\n"
         "                 exit 3 when one is not repaired: ErrorList.TXT lists it)\n"
         "  --verify       compare every installed file of the record with the\n"
         "                 SHA-256 its server list gives, and fetch again each\n"
         "                 that differs (exit 3 when one is still wrong)\n"
         "  --start-game   start the game at the end\n"
         "  --max-rate KIB cap the download rate of all connections together at\n"
         "                 KIB KiB/s (0 = no cap); default: MAXRATE under [NETWORK]\n"
         "                 in FtpConfig.ini\n"
         "  --connections N  how many connections fetch files ahead beside the one\n"
         "                 that installs them (2 to 16; 1 turns fetching ahead off:\n"
         "                 one connection, one file at a time); default: CONNECTIONS\n"
         "                 under [NETWORK] in FtpConfig.ini, else 4\n"
         "\n"
         "Exit status: 0 done (also when the game was started), 1 no server\n"
         "usable, 2 bad arguments, 3 an error was shown or a file stays wrong,\n"
         "4 the run stopped at a file in use, 5 another run holds the game folder,\n"
         "128 + N a stop signal N ended it (130 Ctrl-C; the record is saved).\n";
}

std::optional<CliOptions> ParseCliOptions(int argc, const char* const* argv, std::string& error) {
  CliOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&](std::string_view name) -> std::optional<std::string_view> {
      if (i + 1 >= argc) {
        error = std::string(name) + " needs a value";
        return std::nullopt;
      }
      return std::string_view(argv[++i]);
    };
    if (arg == "--dir") {
      const auto dir = value(arg);
      if (!dir) return std::nullopt;
      if (dir->empty()) {
        error = "--dir needs a folder";
        return std::nullopt;
      }
      options.dir = std::string(*dir);
    } else if (arg == "--server") {
      const auto text = value(arg);
      if (!text) return std::nullopt;
      const std::optional<int> n = WholeNumber(*text);
      if (!n || *n < 0) {
        error = "--server needs an entry number (0 or more), not \"" + std::string(*text) + "\"";
        return std::nullopt;
      }
      options.server = n;
    } else if (arg == "--raw") {
      options.raw = true;
    } else if (arg == "--yes") {
      options.yes = true;
    } else if (arg == "--update") {
      options.update = true;
    } else if (arg == "--forced") {
      options.forced = true;
    } else if (arg == "--check") {
      options.check = true;
    } else if (arg == "--verify") {
      options.verify = true;
    } else if (arg == "--start-game") {
      options.start_game = true;
    } else if (arg == "--max-rate") {
      const auto text = value(arg);
      if (!text) return std::nullopt;
      const std::optional<int> kib = WholeNumber(*text);
      if (!kib || *kib < 0) {
        error = "--max-rate needs a rate in KiB/s (0 or more), not \"" + std::string(*text) + "\"";
        return std::nullopt;
      }
      options.max_rate = kib;
    } else if (arg == "--connections") {
      const auto text = value(arg);
      if (!text) return std::nullopt;
      const std::optional<int> n = WholeNumber(*text);
      if (!n || *n < 1 || *n > 16) {
        error = "--connections needs a number from 1 to 16, not \"" + std::string(*text) + "\"";
        return std::nullopt;
      }
      options.connections = n;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else {
      error = "unknown argument \"" + std::string(arg) + "\"";
      return std::nullopt;
    }
  }
  return options;
}
