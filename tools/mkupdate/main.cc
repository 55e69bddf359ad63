// mkupdate: the publisher's tool that builds, checks and shows what the
// updater downloads. See Usage() for the commands.
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "byte_size.h"
#include "inspect.h"
#include "key_pair.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "publish.h"
#include "release_tree.h"
#include "server_folder.h"
#include "server_list.h"
#include "set_check.h"
#include "set_signing.h"
#include "signature_check.h"
#include "trust/minisign_keys.h"

namespace {

const char kUsage[] = R"(Usage: mkupdate <command> [options]

Builds what the game's updater downloads from an FTP server folder.

Commands:
  publish GAME SERVER [--rules FILE] [--level 1-9] [--version V]
                      [--sign SECRETKEY [--expires DAYS]] [--delta-min SIZE]
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
      --sign KEY    sign update3.dat and bulletin.htm (see sign)
      --expires N   the signatures expire after N days (default 30)
      --delta-min SIZE  E and O files of at least SIZE bytes (4M, 512K or
                    a count of bytes; default 4M; 0: none) get a chunk
                    index, <server file>.cdx, so that updaters which know
                    it fetch only the changed parts of a changed file
      Every line of update3.dat carries the SHA-256 of its server file
      and, for E and O entries, of the installed file and of the chunk
      index when it has one.
  keygen DIR
      Writes a new key pair: DIR/update.key, the secret key (no password,
      readable only by you; keep it outside the game and server folders),
      and DIR/update.pub, the public key, which players' game folders need
      as update.pub. Never overwrites a key. minisign -G -W makes the same
      kind of key pair.
  sign SERVER --key SECRETKEY [--expires DAYS]
      Signs update3.dat, and bulletin.htm when present, with a minisign
      secret key without a password: writes update3.dat.minisig and
      bulletin.htm.minisig, trusted comment "timestamp:<now>" TAB
      "file:<name>" TAB "expires:<now + DAYS>" (default 30 days). Sign
      again before the signatures expire. A key inside SERVER (or, for
      publish, inside GAME) is refused, and so is a list without SHA-256
      digests or a clock behind the set's last signature.
  datec GAME [-o FILE]
      Writes the reference list of the file check, GAME/datec.dat by
      default: size and modification time of every file of GAME (times in
      this machine's time zone; set TZ to the players' zone). Refuses file
      names over 30 bytes and folders over 40 bytes, naming them.
  check SERVER [--key PUBLICKEY]
      Verifies SERVER against its update3.dat: every file present with the
      listed size and SHA-256 digests, gzip files intact, bundles
      well-formed, chunk indexes present and of their files, no local name twice, versions of one width. With a
      public key, also the signatures of update3.dat and bulletin.htm:
      present, made by that key for that file, not expired. Prints one line per problem
      and exits with status 1 when there is any.
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
  mkupdate keygen ~/keys
  mkupdate publish game /srv/ftp/update --sign ~/keys/update.key
  mkupdate check /srv/ftp/update --key ~/keys/update.pub
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

// DAYS of --expires: 1 to mkupdate::kMaxExpiryDays; 0 when text is none of them.
int ExpiryDays(const std::string& text) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  int days = std::stoi(text);
  return days <= mkupdate::kMaxExpiryDays ? days : 0;
}

const std::string kExpiresRange = "--expires takes a number of days from 1 to " + std::to_string(mkupdate::kMaxExpiryDays);

int RunPublish(const std::vector<std::string>& args) {
  mkupdate::PublishOptions options;
  options.now = std::time(nullptr);
  std::vector<std::string> folders;
  bool expires_given = false;
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
    } else if (a == "--delta-min" && has_value) {
      std::optional<int64_t> size = mkupdate::ParseByteSize(args[++i]);
      if (!size) return Fail("--delta-min takes a size: a count of bytes, or one with K, M or G (4M, 512K), 0 for none");
      options.delta_min = *size;
    } else if (a == "--sign" && has_value) {
      options.sign_key_path = args[++i];
    } else if (a == "--expires" && has_value) {
      options.expiry_days = ExpiryDays(args[++i]);
      if (options.expiry_days == 0) return Fail(kExpiresRange);
      expires_given = true;
    } else if (!a.empty() && a[0] == '-') {
      return Fail("unknown or incomplete option " + a + " (see mkupdate --help)");
    } else {
      folders.push_back(a);
    }
  }
  if (folders.size() != 2) return Fail("publish needs a game folder and a server folder (see mkupdate --help)");
  if (expires_given && options.sign_key_path.empty()) return Fail("--expires goes with --sign");
  options.game_dir = folders[0];
  options.server_dir = folders[1];
  mkupdate::Publish(options, std::cout);
  return 0;
}

int RunKeygen(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
    return Fail("keygen needs the folder for the key pair (see mkupdate --help)");
  mkupdate::WriteKeyPair(args[0], std::cout);
  return 0;
}

int RunSign(const std::vector<std::string>& args) {
  std::string server, key_path;
  int days = mkupdate::kDefaultExpiryDays;
  for (size_t i = 0; i < args.size(); ++i) {
    bool has_value = i + 1 < args.size();
    if (args[i] == "--key" && has_value) {
      key_path = args[++i];
    } else if (args[i] == "--expires" && has_value) {
      days = ExpiryDays(args[++i]);
      if (days == 0) return Fail(kExpiresRange);
    } else if (server.empty() && !args[i].empty() && args[i][0] != '-') {
      server = args[i];
    } else {
      return Fail("sign takes a server folder, --key SECRETKEY and optionally --expires DAYS (see mkupdate --help)");
    }
  }
  if (server.empty() || key_path.empty()) return Fail("sign needs a server folder and --key SECRETKEY");
  trust::SecretKey key = mkupdate::LoadSigningKey(key_path, server);
  mkupdate::SignServerFolder(server, key, std::time(nullptr), days, std::cout);
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
  std::string server, key_path;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--key" && i + 1 < args.size())
      key_path = args[++i];
    else if (server.empty() && !args[i].empty() && args[i][0] != '-')
      server = args[i];
    else
      return Fail("check takes one server folder and optionally --key PUBLICKEY");
  }
  if (server.empty()) return Fail("check needs one server folder");
  std::optional<trust::PublicKey> key;
  if (!key_path.empty()) key = trust::ReadPublicKeyFile(key_path);
  std::vector<std::string> problems = mkupdate::CheckServerFolder(server);
  mkupdate::SignatureReport signatures;
  if (key && platform::FileExists(mkupdate::InFolder(server, mkupdate::kServerListName))) {
    signatures = mkupdate::CheckSignatures(server, *key, std::time(nullptr));
    problems.insert(problems.end(), signatures.problems.begin(), signatures.problems.end());
  }
  for (const std::string& problem : problems) std::cout << problem << "\n";
  if (!problems.empty()) return 1;
  std::cout << "ok: " << server << " is a sound update set";
  if (key) std::cout << ", " << signatures.summary;
  std::cout << "\n";
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
    if (command == "keygen") return RunKeygen(args);
    if (command == "sign") return RunSign(args);
    if (command == "inspect") return RunInspect(args);
  } catch (const std::exception& error) {
    std::cerr << "mkupdate: " << error.what() << "\n";
    return 1;
  }
  return Fail("unknown command " + command + " (see mkupdate --help)");
}
