// Unpacking a 256 MiB gzip file with TGzip against `gzip -dc > file`, both
// timed in the same run on the same file. Prints both throughputs and the
// ratio (TGzip's throughput over gzip's; the target is at least 1.3).
//
// Usage: bench_gzip [MiB] [folder]   (defaults: 256, the temp folder)

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "gzip/gzip.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Game-like content: text lines (scripts, lists), little-endian records of
// slowly changing numbers (meshes, animations) and stretches of noise
// (already compressed textures and sounds). Compresses about 3:1.
void WriteSampleData(const std::string& path, std::uint64_t size) {
  static const char* const kWords[] = {"Texture",  "Mesh",  "Sound", "Package", "Quelmar",
                                       "import",   "class", "Actor", "default", "Location",
                                       "Rotation", "=",     "(",     ")",       "\r\n"};
  std::mt19937_64 random(2024);
  std::ofstream out(path, std::ios::binary);
  std::string chunk;
  std::uint64_t written = 0;
  while (written < size) {
    chunk.clear();
    switch (random() % 3) {
      case 0:  // text
        while (chunk.size() < 48 * 1024) {
          chunk += kWords[random() % 15];
          chunk += random() % 3 ? ' ' : static_cast<char>('0' + random() % 10);
        }
        break;
      case 1: {  // records
        std::uint32_t x = random(), y = random(), z = random();
        for (int i = 0; i < 4096; ++i) {
          x += random() % 64;
          y += random() % 8;
          z ^= static_cast<std::uint32_t>(random() % 4) << (random() % 24);
          for (std::uint32_t v : {x, y, z}) chunk.append(reinterpret_cast<const char*>(&v), 4);
        }
        break;
      }
      default:  // noise, less often
        if (random() % 3 == 0) {
          for (int i = 0; i < 4096; ++i) {
            const std::uint64_t v = random();
            chunk.append(reinterpret_cast<const char*>(&v), 8);
          }
        }
        break;
    }
    const std::uint64_t take = std::min<std::uint64_t>(chunk.size(), size - written);
    out.write(chunk.data(), take);
    written += take;
  }
}

// Wall time and processor time (user + system) of one measured step.
struct Timing {
  double wall = 1e9;
  double cpu = 1e9;
};

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs `step` and keeps the best wall and processor times in `best`. The
// processor time is counted for this process (RUSAGE_SELF) or for the
// children it waited for (RUSAGE_CHILDREN).
template <typename Step>
bool Measure(Timing& best, int who, Step step) {
  const double cpu_start = CpuSeconds(who);
  const auto start = Clock::now();
  const bool ok = step();
  best.wall = std::min(best.wall, std::chrono::duration<double>(Clock::now() - start).count());
  best.cpu = std::min(best.cpu, CpuSeconds(who) - cpu_start);
  return ok;
}

bool SameFiles(const std::string& a, const std::string& b) {
  return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t mib = argc > 1 ? std::stoull(argv[1]) : 256;
  std::string folder = (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()) /
                       "bench_gzip.XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string data = folder + "/data.bin";
  const std::string packed = folder + "/data.bin.gz";
  const std::string by_gzip = folder + "/by_gzip.bin";
  const std::string by_tgzip = folder + "/by_tgzip.bin";

  WriteSampleData(data, mib << 20);
  if (std::system(("gzip -6 -c '" + data + "' > '" + packed + "'").c_str()) != 0) {
    std::fprintf(stderr, "gzip failed\n");
    return 1;
  }
  const double packed_mib = static_cast<double>(fs::file_size(packed)) / (1 << 20);

  // Best of five for each, alternating, so both see the same conditions.
  // The machine may be shared: processor time is less disturbed by other
  // work than wall time, so both are reported.
  Timing gzip_time, tgzip_time;
  for (int round = 0; round < 5; ++round) {
    fs::remove(by_gzip);
    const std::string command = "gzip -dc '" + packed + "' > '" + by_gzip + "'";
    if (!Measure(gzip_time, RUSAGE_CHILDREN, [&] { return std::system(command.c_str()) == 0; })) {
      std::fprintf(stderr, "gzip -dc failed\n");
      return 1;
    }

    fs::remove(by_tgzip);
    std::vector<std::string> errors;
    TGzip gzip;
    gzip.FileSource = packed;
    gzip.FileDestination = by_tgzip;
    gzip.WindowOnError = true;
    gzip.OnErrorBox = [&](const std::string& text, const std::string&) { errors.push_back(text); };
    if (!Measure(tgzip_time, RUSAGE_SELF, [&] { return gzip.Unpack() == 0 && errors.empty(); })) {
      std::fprintf(stderr, "TGzip failed\n");
      return 1;
    }
  }
  const bool same = SameFiles(data, by_tgzip) && SameFiles(data, by_gzip);

  const double out_mib = static_cast<double>(mib);
  std::printf("data %llu MiB, gzip file %.1f MiB (ratio %.2f)\n",
              static_cast<unsigned long long>(mib), packed_mib, out_mib / packed_mib);
  std::printf("gzip -dc > file : wall %.3f s (%.1f MiB/s), cpu %.3f s\n", gzip_time.wall,
              out_mib / gzip_time.wall, gzip_time.cpu);
  std::printf("TGzip::Unpack   : wall %.3f s (%.1f MiB/s), cpu %.3f s\n", tgzip_time.wall,
              out_mib / tgzip_time.wall, tgzip_time.cpu);
  std::printf("ratio TGzip / gzip -dc throughput: wall %.2f, cpu %.2f (target >= 1.30)\n",
              gzip_time.wall / tgzip_time.wall, gzip_time.cpu / tgzip_time.cpu);
  std::printf("outputs identical to the data: %s\n", same ? "yes" : "NO");
  fs::remove_all(folder);
  return same ? 0 : 1;
}
