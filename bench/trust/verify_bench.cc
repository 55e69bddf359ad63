// bench_verify: `updater-cli --verify` over an installed game of 10,000
// files and 2 GiB by default (a hundredth of the files large, holding
// four fifths of the bytes; sizes spread around each mean) against
// `sha256sum -c` over the same files, in the same run. The game is
// installed as a player has it: the release is published by
// `mkupdate publish` (small files gzip-compressed as "E", the large ones
// "O"), served by vsftpd on loopback and installed by one
// `updater-cli --update`. The checksum file for sha256sum holds field 7 of
// each list line (the installed file's SHA-256) beside its path.
//
// Each timed --verify is the whole process: start-up, login, lists,
// comparison and the hashing. The same
// start without --verify is timed too, to show what of it is hashing.
// The sides take turns; medians are printed. Warm by default (each side
// runs once untimed first, and 2 GiB fits the page cache); --cold empties
// the page cache before every timed run of either side (needs root).
//
// Usage: bench_verify [--files N] [--mib M] [--runs R] [--dir PARENT]
//                     [--cold] [--small]
// (defaults: 10000 files, 2048 MiB, 3 runs each, a folder under the
// temporary folder, removed afterwards; --small is --files 200 --mib 8,
// a quick check that it works).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ftp_servers.h"
#include "trust_bench_support.h"

namespace fs = std::filesystem;
using namespace trust_bench;

namespace {

struct Options {
  int64_t files = 10000;
  int64_t mib = 2048;
  int64_t runs = 3;
  std::string dir;
  bool cold = false;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--small") {
      options.files = 200;
      options.mib = 8;
      continue;
    }
    if (flag == "--cold") {
      options.cold = true;
      continue;
    }
    if (i + 1 >= argc || (flag != "--files" && flag != "--mib" && flag != "--runs" && flag != "--dir"))
      throw std::runtime_error(
          "usage: bench_verify [--files N] [--mib M] [--runs R] [--dir PARENT] [--cold] [--small]");
    const std::string value = argv[++i];
    if (flag == "--files") options.files = PositiveNumber(flag, value);
    if (flag == "--mib") options.mib = PositiveNumber(flag, value);
    if (flag == "--runs") options.runs = PositiveNumber(flag, value);
    if (flag == "--dir") options.dir = value;
  }
  if (options.files < 2) throw std::runtime_error("--files takes 2 or more (small files and at least one large)");
  return options;
}

// `count` sizes that add up to `total`, each drawn around their mean (a
// fifth to nine fifths of it) and then scaled to the total.
std::vector<int64_t> SpreadSizes(std::mt19937_64& rng, int64_t count, int64_t total) {
  const int64_t mean = total / count;
  std::vector<int64_t> sizes;
  int64_t drawn = 0;
  for (int64_t i = 0; i < count; ++i) {
    sizes.push_back(mean / 5 + static_cast<int64_t>(rng() % static_cast<uint64_t>(mean * 8 / 5 + 1)));
    drawn += sizes.back();
  }
  int64_t sum = 0;
  for (int64_t& size : sizes) {
    if (drawn > 0) size = static_cast<int64_t>(static_cast<double>(size) * static_cast<double>(total) / drawn);
    sum += size;
  }
  sizes.back() += total - sum;
  return sizes;
}

// The release: text files in folders of 250 (published as "E") and a
// hundredth of the files large and incompressible (*.bin, "O"), the large
// ones holding four fifths of the `total` bytes.
void MakeRelease(const std::string& release, int64_t files, int64_t total) {
  const int64_t large = std::max<int64_t>(1, files / 100);
  const int64_t small = files - large;
  const int64_t large_bytes = total * 4 / 5;
  std::mt19937_64 rng(20261208);
  const std::vector<int64_t> small_sizes = SpreadSizes(rng, small, total - large_bytes);
  const std::vector<int64_t> large_sizes = SpreadSizes(rng, large, large_bytes);
  for (int64_t i = 0; i < small; ++i)
    WriteText(release + "Data/D" + std::to_string(i / 250) + "/f" + std::to_string(i) + ".txt", small_sizes[i], i);
  for (int64_t i = 0; i < large; ++i)
    WriteNoise(release + "Big/b" + std::to_string(i) + ".bin", large_sizes[i], files + i);
}

// sha256sum's checksum file for the installed game: the installed file's
// SHA-256 from field 7 of each "E" and "O" line, beside its path.
struct Checksums {
  int64_t files = 0;
  int64_t bytes = 0;  // installed, together
};
Checksums WriteChecksums(const std::string& list_path, const std::string& game, const std::string& sums_path) {
  std::ofstream sums(sums_path, std::ios::binary);
  Checksums named;
  for (const std::vector<std::string>& fields : ListFields(list_path)) {
    if (fields.size() < 7 || (fields[0] != "E" && fields[0] != "O")) continue;
    std::string path = game + fields[2];
    for (char& c : path)
      if (c == '\\') c = '/';
    sums << fields[6] << "  " << path << "\n";
    ++named.files;
    named.bytes += static_cast<int64_t>(fs::file_size(path));
  }
  if (!sums.flush()) throw std::runtime_error("cannot write " + sums_path);
  return named;
}

void Run(const Options& options) {
  WorkFolder work(options.dir);
  const int64_t large = std::max<int64_t>(1, options.files / 100);
  std::printf("bench_verify: %lld installed files (%lld small, %lld large), %lld MiB (work folder %s)\n",
              static_cast<long long>(options.files), static_cast<long long>(options.files - large),
              static_cast<long long>(large), static_cast<long long>(options.mib), work.path().c_str());
  std::fflush(stdout);

  const std::string release = work.path() + "release/";
  MakeRelease(release, options.files, options.mib << 20);
  std::ofstream(work.path() + "release.rules") << "raw *.bin\n";
  const std::string served = work.path() + "served/";
  const double publish_seconds = Publish(release, served, work.path() + "release.rules");
  fs::remove_all(release);

  auto server = test_support::FtpServer::Start(test_support::FtpServerKind::kVsftpd, served);
  const std::string game = work.path() + "game/";
  fs::create_directories(game);
  std::ofstream(game + "isp0.dat", std::ios::binary) << IspList(server->port());
  const double install_seconds = TimeUpdaterCli({"--dir", game, "--server", "0", "--update"}).seconds;
  const std::string sums = work.path() + "installed.sha256";
  const Checksums named = WriteChecksums(served + "update3.dat", game, sums);
  if (named.files != options.files)
    throw std::runtime_error("the published list does not give field 7 for every file");
  std::printf("setup: published by mkupdate in %.1f s, installed by updater-cli --update in %.1f s "
              "(%.1f MiB installed)\n",
              publish_seconds, install_seconds, static_cast<double>(named.bytes) / (1 << 20));
  std::fflush(stdout);

  const std::string all_right =
      "verify: " + std::to_string(options.files) + " files checked, 0 repaired, 0 not repaired";
  auto verify = [&] {
    if (options.cold) DropPageCache();
    const TimedCli run = TimeUpdaterCli({"--dir", game, "--server", "0", "--verify"});
    if (run.result.out.find(all_right) == std::string::npos)
      throw std::runtime_error("updater-cli --verify did not report \"" + all_right + "\":\n" + run.result.out);
    return run.seconds;
  };
  auto sha256sum = [&] {
    if (options.cold) DropPageCache();
    return TimeTool({"sha256sum", "-c", sums}, "/dev/null");
  };
  auto check_only = [&] {
    if (options.cold) DropPageCache();
    return TimeUpdaterCli({"--dir", game, "--server", "0"}).seconds;
  };

  if (!options.cold) {
    verify();
    sha256sum();
    check_only();
  }
  std::vector<double> verify_runs, sha256sum_runs, check_runs;
  for (int64_t run = 0; run < options.runs; ++run) {
    const bool verify_first = run % 2 == 0;
    if (verify_first) verify_runs.push_back(verify());
    sha256sum_runs.push_back(sha256sum());
    if (!verify_first) verify_runs.push_back(verify());
    check_runs.push_back(check_only());
  }

  const double verify_median = Median(verify_runs), sha256sum_median = Median(sha256sum_runs);
  const double check_median = Median(check_runs);
  std::printf("medians of %lld runs each, %s:\n", static_cast<long long>(options.runs),
              options.cold ? "page cache emptied before every timed run (sync; echo 3 > /proc/sys/vm/drop_caches)"
                           : "page cache warm (each side ran once untimed first)");
  std::printf("  updater-cli --server 0 --verify (whole run)  %9.3f s   (runs: %s)\n", verify_median,
              RunList(verify_runs).c_str());
  std::printf("  sha256sum -c over the same files             %9.3f s   (runs: %s)\n", sha256sum_median,
              RunList(sha256sum_runs).c_str());
  std::printf("  ratio --verify / sha256sum -c: %.3f (goal: at most 1.0)\n", verify_median / sha256sum_median);
  std::printf("  updater-cli --server 0 without --verify       %9.3f s   (start-up, login, lists;"
              " so about %.3f s of the run is --verify itself)\n",
              check_median, verify_median - check_median);
}

}  // namespace

int main(int argc, char** argv) { return trust_bench::BenchMain(argc, argv, "bench_verify", ParseOptions, Run); }
