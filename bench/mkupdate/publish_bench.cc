// Wall time of `mkupdate publish` for a release of many files, beside
// `gzip -6 -r` of the same files, both pinned to one core (taskset -c 0),
// measured in the same run after the files have been read once into the
// page cache; each figure is the median of several runs. Wall time and
// processor time (user + system) are printed: on a busy machine the
// processor time is the steadier figure. Also shows a republish with
// nothing changed.
//
// Two releases:
//   real   shaped like a documentation tree: thousands of small files in
//          many folders, most under names that many folders share
//          (copyright, README, DATA), with and without a dot, text and
//          incompressible bytes;
//   large  big files of distinct names (mostly compressible).
//
// Usage: mkupdate_publish_bench [--release real|large|both] [--runs R]
//        [--files N] [--mib M] [--dir FOLDER]
// (defaults: both, 3 runs; real: 5400 files, 60 MiB; large: 10000 files,
// 2048 MiB; --files and --mib apply to every release chosen; a folder under
// /tmp, removed afterwards).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

enum class Kind { kText, kStructured, kNoise };

// Mostly text-like data compresses about 3:1, structured binary data less,
// noise not at all.
std::string MakeContent(std::mt19937_64& rng, size_t size, Kind kind) {
  static const char* const kWords[] = {"castle ", "sword ", "water ", "forest ", "dragon ", "quest ", "stone ",
                                       "shield ", "river ", "night ", "tower ", "gold ", "path ", "mage "};
  std::string data;
  data.reserve(size + 16);
  if (kind == Kind::kText) {
    while (data.size() < size) {
      data += kWords[rng() % 14];
      if (rng() % 9 == 0) data += std::to_string(rng() % 100000) + "\r\n";
    }
  } else if (kind == Kind::kStructured) {
    while (data.size() < size) {
      uint64_t v = rng();
      for (int i = 0; i < 8; ++i) data += static_cast<char>(i < 3 ? (v >> (8 * i)) & 0xFF : i * 7);
    }
  } else {
    while (data.size() < size) {
      uint64_t v = rng();
      data.append(reinterpret_cast<const char*>(&v), 8);
    }
  }
  data.resize(size);
  return data;
}

void WriteFile(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

// A size around mean (a fifth to nine fifths of it).
size_t SizeAround(std::mt19937_64& rng, int64_t mean) {
  return static_cast<size_t>(mean / 5 + static_cast<int64_t>(rng() % static_cast<uint64_t>(mean * 8 / 5 + 1)));
}

// Big files of distinct names in 50 folders, a tenth of them noise.
void MakeLargeRelease(const fs::path& game, int files, int64_t mib) {
  std::mt19937_64 rng(20261208);
  int64_t mean = mib * 1024 * 1024 / files;
  for (int i = 0; i < files; ++i) {
    Kind kind = i % 10 == 9 ? Kind::kNoise : (i % 10 >= 7 ? Kind::kStructured : Kind::kText);
    WriteFile(game / ("Folder" + std::to_string(i % 50)) / ("file" + std::to_string(i) + ".dat"),
              MakeContent(rng, SizeAround(rng, mean), kind));
  }
}

// Ten files a folder, as a documentation tree holds them: the same few
// names in every folder, some without a dot, some starting with one; a
// fifth of the files noise (served as they are).
void MakeRealRelease(const fs::path& game, int files, int64_t mib) {
  struct Name {
    const char* name;
    Kind kind;
  };
  static const Name kNames[] = {{"copyright", Kind::kText},       {"README", Kind::kText},
                                {"DATA", Kind::kNoise},           {"changelog.Debian.gz", Kind::kNoise},
                                {"README.txt", Kind::kText},      {"NEWS", Kind::kText},
                                {"index.html", Kind::kText},      {"LICENSE", Kind::kText},
                                {".profile", Kind::kStructured},  {"data.bin", Kind::kStructured}};
  std::mt19937_64 rng(20261208);
  int64_t mean = mib * 1024 * 1024 / files;
  for (int i = 0; i < files; ++i) {
    int folder = i / 10;
    fs::path dir = game / "doc" / ("pkg" + std::to_string(folder));
    if (folder % 3 == 0) dir /= "examples";
    WriteFile(dir / kNames[i % 10].name, MakeContent(rng, SizeAround(rng, mean), kNames[i % 10].kind));
  }
}

struct Timing {
  double wall = 0;
  double cpu = 0;  // user + system time of the command and its children
};

double ChildrenCpuSeconds() {
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Timing TimeCommand(const std::string& command) {
  double cpu_before = ChildrenCpuSeconds();
  auto start = std::chrono::steady_clock::now();
  int status = std::system(command.c_str());
  Timing timing;
  timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timing.cpu = ChildrenCpuSeconds() - cpu_before;
  if (status != 0) {
    std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
    std::exit(1);
  }
  return timing;
}

// Wall and processor time, each the median of its own runs.
Timing Median(std::vector<Timing> runs) {
  auto middle = [&](auto member) {
    std::vector<double> values;
    for (const Timing& run : runs) values.push_back(run.*member);
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  };
  return {middle(&Timing::wall), middle(&Timing::cpu)};
}

int64_t FolderBytes(const fs::path& folder) {
  int64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) total += static_cast<int64_t>(entry.file_size());
  return total;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Publishes the release in root/game `runs` times into a fresh server
// folder, gzips a fresh copy as often, and republishes as often; prints
// the medians.
void Measure(const char* what, const fs::path& root, int files, int runs) {
  fs::path game = root / "game", server = root / "server", gz = root / "gzip";
  TimeCommand("find " + Quoted(game) + " -type f -exec cat {} + > /dev/null");  // into the page cache
  std::string publish_command =
      "taskset -c 0 '" MKUPDATE_PATH "' publish " + Quoted(game) + " " + Quoted(server) + " > /dev/null";
  std::vector<Timing> publish, gzip, republish;
  for (int run = 0; run < runs; ++run) {
    fs::remove_all(server);
    publish.push_back(TimeCommand(publish_command));
    republish.push_back(TimeCommand(publish_command));
    fs::remove_all(gz);
    TimeCommand("cp -al " + Quoted(game) + " " + Quoted(gz));
    gzip.push_back(TimeCommand("taskset -c 0 gzip -6 -r -f " + Quoted(gz)));
  }
  Timing p = Median(publish), g = Median(gzip), r = Median(republish);
  std::printf("\n%s release: %d files, %.1f MiB; medians of %d runs\n", what, files,
              static_cast<double>(FolderBytes(game)) / (1024 * 1024), runs);
  std::printf("                               wall s    cpu s\n");
  std::printf("mkupdate publish:             %8.2f %8.2f  (server folder %.1f MiB)\n", p.wall, p.cpu,
              static_cast<double>(FolderBytes(server)) / (1024 * 1024));
  std::printf("gzip -6 -r of the same files: %8.2f %8.2f  (%.1f MiB)\n", g.wall, g.cpu,
              static_cast<double>(FolderBytes(gz)) / (1024 * 1024));
  std::printf("republish, nothing changed:   %8.2f %8.2f\n", r.wall, r.cpu);
  std::printf("ratio publish / gzip -6:      %8.3f %8.3f  (target 1.1 or better)\n", p.wall / g.wall, p.cpu / g.cpu);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string release = "both";
  int runs = 3, files = 0;
  int64_t mib = 0;
  fs::path root = fs::temp_directory_path() / ("mkupdate-bench-" + std::to_string(::getpid()));
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--release") release = argv[i + 1];
    else if (flag == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    else if (flag == "--files") files = std::atoi(argv[i + 1]);
    else if (flag == "--mib") mib = std::atoll(argv[i + 1]);
    else if (flag == "--dir") root = argv[i + 1];
  }
  if (release != "real" && release != "large" && release != "both") {
    std::fprintf(stderr, "--release takes real, large or both\n");
    return 2;
  }
  if (release != "large") {
    fs::remove_all(root);
    int n = files > 0 ? files : 5400;
    MakeRealRelease(root / "game", n, mib > 0 ? mib : 60);
    Measure("real-shaped", root, n, runs);
  }
  if (release != "real") {
    fs::remove_all(root);
    int n = files > 0 ? files : 10000;
    MakeLargeRelease(root / "game", n, mib > 0 ? mib : 2048);
    Measure("large", root, n, runs);
  }
  fs::remove_all(root);
  return 0;
}
