// Wall time of `mkupdate publish` for a release of many files, as a ratio to
// `gzip -6 -r` of the same files, both pinned to one core (taskset -c 0),
// measured in the same run after the files have been read once into the
// page cache. Wall time and processor time (user + system) are printed:
// on a busy machine the processor time is the steadier figure. Also shows
// a republish with nothing changed.
//
// Usage: mkupdate_publish_bench [--files N] [--mib M] [--dir FOLDER]
// (defaults: 10000 files, 2048 MiB, a folder under /tmp, removed afterwards).
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

// Content of one file: mostly text-like data (compresses about 3:1), some
// structured binary data, and a tenth of the files incompressible.
std::string MakeContent(std::mt19937_64& rng, size_t size, int kind) {
  static const char* const kWords[] = {"castle ", "sword ", "water ", "forest ", "dragon ", "quest ", "stone ",
                                       "shield ", "river ", "night ", "tower ", "gold ", "path ", "mage "};
  std::string data;
  data.reserve(size + 16);
  if (kind == 0) {
    while (data.size() < size) {
      data += kWords[rng() % 14];
      if (rng() % 9 == 0) data += std::to_string(rng() % 100000) + "\r\n";
    }
  } else if (kind == 1) {
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

int64_t FolderBytes(const fs::path& folder) {
  int64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) total += static_cast<int64_t>(entry.file_size());
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 10000;
  int64_t mib = 2048;
  fs::path root = fs::temp_directory_path() / ("mkupdate-bench-" + std::to_string(::getpid()));
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--files") files = std::atoi(argv[i + 1]);
    else if (flag == "--mib") mib = std::atoll(argv[i + 1]);
    else if (flag == "--dir") root = argv[i + 1];
  }
  fs::path game = root / "game", server = root / "server", gz = root / "gzip";
  fs::remove_all(root);
  fs::create_directories(server);

  std::mt19937_64 rng(20261208);
  int64_t mean = mib * 1024 * 1024 / files;
  for (int i = 0; i < files; ++i) {
    size_t size = static_cast<size_t>(mean / 5 + static_cast<int64_t>(rng() % static_cast<uint64_t>(mean * 8 / 5)));
    int kind = i % 10 == 9 ? 2 : (i % 10 >= 7 ? 1 : 0);
    fs::path path = game / ("Folder" + std::to_string(i % 50)) / ("file" + std::to_string(i) + ".dat");
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << MakeContent(rng, size, kind);
  }
  int64_t release_bytes = FolderBytes(game);
  std::string quiet = " > /dev/null";
  TimeCommand("cat $(find '" + game.string() + "' -type f) > /dev/null");  // into the page cache

  Timing publish = TimeCommand("taskset -c 0 '" MKUPDATE_PATH "' publish '" + game.string() + "' '" +
                               server.string() + "'" + quiet);
  TimeCommand("cp -al '" + game.string() + "' '" + gz.string() + "'");
  Timing gzip = TimeCommand("taskset -c 0 gzip -6 -r -f '" + gz.string() + "'");
  Timing republish = TimeCommand("taskset -c 0 '" MKUPDATE_PATH "' publish '" + game.string() + "' '" +
                                 server.string() + "'" + quiet);

  std::printf("release: %d files, %.1f MiB\n", files, static_cast<double>(release_bytes) / (1024 * 1024));
  std::printf("                               wall s    cpu s\n");
  std::printf("mkupdate publish:             %8.2f %8.2f  (server folder %.1f MiB)\n", publish.wall, publish.cpu,
              static_cast<double>(FolderBytes(server)) / (1024 * 1024));
  std::printf("gzip -6 -r of the same files: %8.2f %8.2f  (%.1f MiB)\n", gzip.wall, gzip.cpu,
              static_cast<double>(FolderBytes(gz)) / (1024 * 1024));
  std::printf("republish, nothing changed:   %8.2f %8.2f\n", republish.wall, republish.cpu);
  std::printf("ratio publish / gzip -6:      %8.3f %8.3f  (target 1.1 or better)\n", publish.wall / gzip.wall,
              publish.cpu / gzip.cpu);
  fs::remove_all(root);
  return 0;
}
