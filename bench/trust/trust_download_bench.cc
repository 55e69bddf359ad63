// bench_trust_download: one large "O" entry (1 GiB by default) installed by
// the real updater-cli from vsftpd on loopback, once with field 6 in its
// list line (the SHA-256 of the served file, checked as the bytes arrive)
// and, in the same run, from the same file under a line without digests.
// Each timed run is a whole `updater-cli --server 0 --update` in a fresh
// game folder: start-up, login, lists, the download, the install and its
// flush to disk. The list with digests is the one `mkupdate publish`
// wrote; the other is it with the digests cut off. The two sides take
// turns (the first of each pair alternates); medians are printed.
//
// Usage: bench_trust_download [--mib M] [--runs R] [--dir PARENT] [--small]
// (defaults: 1024 MiB, 3 runs each, a folder under the temporary folder,
// removed afterwards; --small is --mib 8, a quick check that it works).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ftp_servers.h"
#include "trust_bench_support.h"

namespace fs = std::filesystem;
using namespace trust_bench;

namespace {

struct Options {
  int64_t mib = 1024;
  int64_t runs = 3;
  std::string dir;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--small") {
      options.mib = 8;
      continue;
    }
    if (i + 1 >= argc || (flag != "--mib" && flag != "--runs" && flag != "--dir"))
      throw std::runtime_error("usage: bench_trust_download [--mib M] [--runs R] [--dir PARENT] [--small]");
    const std::string value = argv[++i];
    if (flag == "--mib") options.mib = PositiveNumber(flag, value);
    if (flag == "--runs") options.runs = PositiveNumber(flag, value);
    if (flag == "--dir") options.dir = value;
  }
  return options;
}

// A server folder holding the published file (a hard link, no copy) under
// a list of the given header and lines (fields joined by spaces).
void MakeServerFolder(const std::string& folder, const std::string& published_file, const std::string& header,
                      const std::vector<std::vector<std::string>>& lines) {
  fs::create_directories(folder);
  fs::create_hard_link(published_file, folder + fs::path(published_file).filename().string());
  std::string text = header + "\r\n";
  for (const std::vector<std::string>& fields : lines) {
    for (size_t i = 0; i < fields.size(); ++i) text += (i ? " " : "") + fields[i];
    text += "\r\n";
  }
  std::ofstream(folder + "update3.dat", std::ios::binary) << text;
}

std::string FirstLine(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string line;
  std::getline(file, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The game folder of one run, pointed at the server.
std::string FreshGame(const WorkFolder& work, int port) {
  const std::string game = work.path() + "game/";
  fs::remove_all(game);
  fs::create_directories(game);
  std::ofstream(game + "isp0.dat", std::ios::binary) << IspList(port);
  return game;
}

// One whole update into a fresh game folder; seconds taken. Throws unless
// the file was installed whole.
double TimeUpdate(const WorkFolder& work, int port, const std::string& local, int64_t size) {
  const std::string game = FreshGame(work, port);
  sync();  // what earlier runs left unwritten is not this run's to flush
  const double seconds = TimeUpdaterCli({"--dir", game, "--server", "0", "--update"}).seconds;
  std::error_code error;
  if (fs::file_size(game + local, error) != static_cast<uintmax_t>(size))
    throw std::runtime_error("the update did not install " + local + " whole");
  fs::remove_all(game);
  return seconds;
}

// Proves that this build checks field 6: a line whose digest differs from
// the served file must pass the entry over and exit with 3.
void ExpectDigestRefused(const WorkFolder& work, int port, const std::string& local) {
  const std::string game = FreshGame(work, port);
  const test_support::CliResult r = test_support::RunUpdaterCli({"--dir", game, "--server", "0", "--update"});
  if (r.exit_code != 3 || r.err.find("SHA-256") == std::string::npos || fs::exists(game + local))
    throw std::runtime_error("a download whose SHA-256 differs from field 6 was not refused (exit " +
                             std::to_string(r.exit_code) + "):\n" + r.out + r.err);
  fs::remove_all(game);
}

void Run(const Options& options) {
  WorkFolder work(options.dir);
  const int64_t size = options.mib << 20;
  std::printf("bench_trust_download: one %lld MiB \"O\" entry, updater-cli --update from vsftpd on 127.0.0.1 "
              "(work folder %s)\n",
              static_cast<long long>(options.mib), work.path().c_str());
  std::fflush(stdout);

  // Publish the release with mkupdate, which writes fields 6 and 7.
  const std::string release = work.path() + "release/";
  WriteNoise(release + "Big.bin", size, 1);
  std::ofstream(work.path() + "release.rules") << "raw Big.bin\n";
  const std::string digests = work.path() + "digests/";
  Publish(release, digests, work.path() + "release.rules");
  fs::remove_all(release);
  const std::vector<std::vector<std::string>> published = ListFields(digests + "update3.dat");
  if (published.size() != 1 || published[0].size() != 7 || published[0][0] != "O" || published[0][5].size() != 64)
    throw std::runtime_error("mkupdate did not publish one \"O\" line with its digests");
  const std::string header = FirstLine(digests + "update3.dat");
  const std::string served_file = digests + published[0][1];
  const std::string local = published[0][2];

  std::vector<std::string> plain_line(published[0].begin(), published[0].begin() + 5);
  MakeServerFolder(work.path() + "plain/", served_file, header, {plain_line});
  std::vector<std::string> wrong_line = published[0];
  wrong_line[5].back() = wrong_line[5].back() == '0' ? '1' : '0';
  MakeServerFolder(work.path() + "wrong/", served_file, header, {wrong_line});

  using test_support::FtpServer;
  using test_support::FtpServerKind;
  auto with_server = FtpServer::Start(FtpServerKind::kVsftpd, digests);
  auto plain_server = FtpServer::Start(FtpServerKind::kVsftpd, work.path() + "plain/");
  {
    auto wrong_server = FtpServer::Start(FtpServerKind::kVsftpd, work.path() + "wrong/");
    ExpectDigestRefused(work, wrong_server->port(), local);
  }

  // One untimed run of each side first: both start from the same caches.
  TimeUpdate(work, with_server->port(), local, size);
  TimeUpdate(work, plain_server->port(), local, size);
  std::vector<double> with, without;
  for (int64_t run = 0; run < options.runs; ++run) {
    const bool with_first = run % 2 == 0;
    if (with_first) with.push_back(TimeUpdate(work, with_server->port(), local, size));
    without.push_back(TimeUpdate(work, plain_server->port(), local, size));
    if (!with_first) with.push_back(TimeUpdate(work, with_server->port(), local, size));
  }

  const double with_median = Median(with), without_median = Median(without);
  std::printf("medians of %lld runs each (served file in the page cache; every run installs into a fresh game "
              "folder and flushes it to disk):\n",
              static_cast<long long>(options.runs));
  std::printf("  with field 6 (SHA-256 checked as it arrives) %9.3f s   (runs: %s)\n", with_median,
              RunList(with).c_str());
  std::printf("  without field 6                               %9.3f s   (runs: %s)\n", without_median,
              RunList(without).c_str());
  std::printf("  ratio with / without: %.3f (goal: at most 1.10)\n", with_median / without_median);
  std::printf("  a digest that differs was refused (exit 3): field 6 is checked in this build\n");
}

}  // namespace

int main(int argc, char** argv) { return trust_bench::BenchMain(argc, argv, "bench_trust_download", ParseOptions, Run); }
