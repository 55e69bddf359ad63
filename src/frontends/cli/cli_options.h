// The command line of updater-cli.
#pragma once

#include <optional>
#include <string>

struct CliOptions {
  std::string dir;                 // game folder; "" = the executable's folder
  std::optional<int> server;       // entry of the server list to confirm
  bool raw = false;                // print texts as stored, unconverted
  bool yes = false;                // answer questions Yes
  bool update = false;             // press the update button when files wait
  bool forced = false;             // press the forced-update button (its question: see yes)
  bool check = false;              // run the file check against datec.dat at the end
  bool verify = false;             // compare installed files with their SHA-256 and repair
  bool start_game = false;         // press the start-game button at the end
  std::optional<int> max_rate;     // cap in KiB/s over FtpConfig.ini's (0 = none)
  std::optional<int> connections;  // connections fetching ahead over FtpConfig.ini's
  bool help = false;
};

// Parses argv[1..argc-1]. Returns the options, or nullopt with a sentence
// for the person in `error` ("unknown option --x", "--server needs a
// number", ...).
std::optional<CliOptions> ParseCliOptions(int argc, const char* const* argv, std::string& error);

// The usage text printed by --help and after a bad argument.
const char* CliUsage();
