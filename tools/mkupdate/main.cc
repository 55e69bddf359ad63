// mkupdate: the publisher's tool that builds, checks and shows what the
// updater downloads. See Usage() for the commands.
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "inspect.h"
#include "platform/errors.h"
#include "publish.h"
#include "release_tree.h"
#include "server_folder.h"
#include "set_check.h"

namespace {

const char kUsage[] = R"(Usage: mkupdate <command> [options]

Builds what the game's updater downloads from an FTP server folder.

Commands:
  publish GAME SERVER [--rules FILE] [--level 1-9] [--version V]
      Writes the release in the folder GAME (the files as players should
      have them) into the folder SERVER (what the FTP server serves;
      created when missing): gzip files, bundles and "update3.dat". Run it
      again after changing GAME: unchanged files keep their entry and
      version, changed and new files get a new version that the updater
      sees as newer (YYYYMMDDnn: the date, then a counter), files that left
      GAME are dropped from the list (players keep their copy). New files
      are written first and "update3.dat" last, so players never see half
      a set.
      --rules FILE  bundles and uncompressed files (see below)
      --level N     gzip level (default 6)
      --version V   the version of the new and changed files; it must be
                    greater than every version the set has issued
  datec GAME [-o FILE]
      Writes the reference list of the file check, GAME/datec.dat by
      default: size and modification time of every file of GAME (times in
      this machine's time zone; set TZ to the players' zone). Refuses file
      names over 30 bytes and folders over 40 bytes, naming them.
  check SERVER
      Verifies SERVER against its update3.dat: every file present with the
      listed size, gzip files intact, bundles well-formed, no local name
      twice, versions of one width. Prints one line per problem and exits
      with status 1 when there is any.
  inspect FILE...
      Lists the members of a bundle (gzip-compressed or not), or the
      records of a reference list (a file named datec.dat).

Rules file (one rule per line, '#' starts a comment):
  <type> <bundle local name> <package or -> <member pattern>...
      type C (files only) or T, A, S, W (texture, animation, static mesh,
      sound sources, then imported into a package by the game's tool). The
      local name is where the updater unpacks the bundle before taking it
      apart; its part before the first dot names the source folder given
      to the import tool. Patterns match names in GAME ('*' and '?' also
      across folders, case ignored). A bundle holds at most 100 files.
  raw <pattern>...
      These files are served as they are (type O), not gzip-compressed.
      Files that gzip does not make smaller are served as they are anyway.

Examples:
  mkupdate datec game
  mkupdate publish game /srv/ftp/update --rules release.rules
  mkupdate check /srv/ftp/update
  mkupdate inspect /srv/ftp/update/Trees.bnd.gz game/datec.dat

  release.rules:
    T Trees.bnd   Trees   Trees/*.bmp
    S Rocks.bnd   Rocks   Rocks/*
    C Maps.bnd    -       Maps/*.map
    raw *.ogg *.png
)";

int Fail(const std::string& text) {
  std::cerr << "mkupdate: " << text << "\n";
  return 2;
}

int RunPublish(const std::vector<std::string>& args) {
  mkupdate::PublishOptions options;
  options.now = std::time(nullptr);
  std::vector<std::string> folders;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool has_value = i + 1 < args.size();
    if (a == "--rules" && has_value) {
      options.rules_path = args[++i];
    } else if (a == "--level" && has_value) {
      std::string level = args[++i];
      if (level.size() != 1 || level[0] < '1' || level[0] > '9') return Fail("--level takes 1 to 9");
      options.level = level[0] - '0';
    } else if (a == "--version" && has_value) {
      options.version = args[++i];
      if (options.version.find_first_of(" \t\r\n") != std::string::npos) return Fail("a version holds no spaces");
    } else if (!a.empty() && a[0] == '-') {
      return Fail("unknown or incomplete option " + a + " (see mkupdate --help)");
    } else {
      folders.push_back(a);
    }
  }
  if (folders.size() != 2) return Fail("publish needs a game folder and a server folder (see mkupdate --help)");
  options.game_dir = folders[0];
  options.server_dir = folders[1];
  mkupdate::Publish(options, std::cout);
  return 0;
}

int RunDatec(const std::vector<std::string>& args) {
  std::string game, out;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size())
      out = args[++i];
    else if (game.empty() && !args[i].empty() && args[i][0] != '-')
      game = args[i];
    else
      return Fail("datec takes a game folder and optionally -o FILE (see mkupdate --help)");
  }
  if (game.empty()) return Fail("datec needs a game folder");
  if (out.empty()) out = mkupdate::InFolder(game, "datec.dat");
  size_t count = mkupdate::WriteDatec(game, out);
  std::cout << "wrote " << out << ": " << count << " file record(s) and the trailer\n";
  return 0;
}

int RunCheck(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("check needs one server folder");
  std::vector<std::string> problems = mkupdate::CheckServerFolder(args[0]);
  for (const std::string& problem : problems) std::cout << problem << "\n";
  if (!problems.empty()) return 1;
  std::cout << "ok: " << args[0] << " is a sound update set\n";
  return 0;
}

int RunInspect(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("inspect needs at least one file");
  bool sound = true;
  for (const std::string& path : args) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (mkupdate::SameNameIgnoringCase(name, "datec.dat"))
      mkupdate::InspectDatec(path, std::cout);
    else
      sound = mkupdate::InspectBundle(path, std::cout) && sound;
  }
  return sound ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::cout << kUsage;
    return args.empty() ? 2 : 0;
  }
  std::string command = args[0];
  args.erase(args.begin());
  try {
    if (command == "publish") return RunPublish(args);
    if (command == "datec") return RunDatec(args);
    if (command == "check") return RunCheck(args);
    if (command == "inspect") return RunInspect(args);
  } catch (const std::exception& error) {
    std::cerr << "mkupdate: " << error.what() << "\n";
    return 1;
  }
  return Fail("unknown command " + command + " (see mkupdate --help)");
}
