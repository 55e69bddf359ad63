// The file check's measure pass over a reference list of 65,535 files on a
// warm cache, against `find DIR -type f -printf '%s %T@\n'` over the same
// files in the same run (best of several rounds each).
//
//   bench_filecheck [files]   (default 65535)
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/form1.h"
#include "filecheck/check_list.h"
#include "filecheck/measure_pass.h"
#include "filecheck/datec_builder.h"
#include "frontends/headless/headless_backend.h"
#include "support/temp_folder.h"
#include "vcl/application.h"

extern char** environ;

namespace {

constexpr int kRounds = 5;
constexpr int kFilesPerFolder = 1024;
constexpr int64_t kStamp = 1700000000;

// No skin bitmaps here: every bitmap loads as an empty picture.
class BenchBackend : public HeadlessBackend {
 public:
  bool LoadBitmap(const std::string&, vcl::BitmapInfo& out) override {
    out = vcl::BitmapInfo{};
    return true;
  }
};

// A game folder of `count` files in folders of 1024, and its datec.dat.
void BuildGameFolder(const test_support::TempFolder& game, int count) {
  std::vector<test_support::DatecEntry> entries;
  entries.reserve(count);
  for (int i = 0; i < count; ++i) {
    const std::string folder = "Folder" + std::to_string(i / kFilesPerFolder);
    const std::string name = "File" + std::to_string(i) + ".dat";
    const std::string bytes(static_cast<size_t>(i % 97), 'x');
    const std::string path = game.Write(folder + "/" + name, bytes);
    test_support::SetLastWrite(path, kStamp + 2 * (i % 1000));
    entries.push_back({name, folder + "\\", test_support::Days(kStamp + 2 * (i % 1000)),
                       static_cast<int32_t>(bytes.size())});
  }
  game.Write("datec.dat", test_support::BuildDatec(entries));
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One run of find over the folder, its output thrown away; seconds taken.
double TimeFind(const std::string& dir) {
  std::vector<std::string> args{"find", dir, "-type", "f", "-printf", "%s %T@\\n"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (posix_spawnp(&pid, "find", &actions, nullptr, argv.data(), environ) != 0) {
    std::perror("find");
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double taken = Seconds(std::chrono::steady_clock::now() - start);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "find failed\n");
    std::exit(1);
  }
  return taken;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 65535;
  if (count < 1 || count > 65535) {
    std::fprintf(stderr, "files: 1 to 65535\n");
    return 2;
  }
  BenchBackend backend;
  Application.SetBackend(&backend);
  test_support::TempFolder game;
  std::printf("building %d files...\n", count);
  BuildGameFolder(game, count);
  TForm1* form = Application.CreateForm<TForm1>(game.path());

  double best_check = 1e9;
  double best_find = 1e9;
  size_t mismatches = 0;
  for (int round = 0; round <= kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<CheckRecord> records = ReadCheckList(game.path() + "datec.dat");
    mismatches = MeasureFiles(form->Engine, records).size();
    const double check = Seconds(std::chrono::steady_clock::now() - start);
    const double find = TimeFind(game.path());
    if (round == 0) continue;  // warms the cache for both
    best_check = std::min(best_check, check);
    best_find = std::min(best_find, find);
  }
  if (mismatches != 0) {
    std::fprintf(stderr, "%zu files did not match their records\n", mismatches);
    return 1;
  }
  std::printf("measure pass (datec.dat read + %d files): %.1f ms\n", count, best_check * 1000);
  std::printf("find -type f -printf '%%s %%T@\\n'        : %.1f ms\n", best_find * 1000);
  std::printf("ratio measure / find: %.2f (aim: 1.5 or better)\n", best_check / best_find);
  Application.Shutdown();
  Application.SetBackend(nullptr);
  return 0;
}
