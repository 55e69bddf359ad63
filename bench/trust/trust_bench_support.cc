#include "trust_bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace trust_bench {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// xorshift64*: fast enough that making 2 GiB costs far less than hashing it.
class Noise {
 public:
  explicit Noise(uint64_t seed) : state_(seed * 2 + 1) {}
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }

 private:
  uint64_t state_;
};

constexpr size_t kBlock = 1 << 20;

// Writes `bytes` to path in blocks of at most kBlock; fill(block) gives
// each block its bytes without changing its size.
template <typename Fill>
void WriteBlocks(const std::string& path, int64_t bytes, Fill fill) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string block;
  for (int64_t left = bytes; left > 0;) {
    block.resize(static_cast<size_t>(std::min<int64_t>(left, kBlock)));
    fill(block);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
    left -= static_cast<int64_t>(block.size());
  }
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace

WorkFolder::WorkFolder(const std::string& parent) {
  const std::filesystem::path base = parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent);
  std::string pattern = (base / "trust_bench.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder under " + base.string());
  path_ = pattern + "/";
}

WorkFolder::~WorkFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteNoise(const std::string& path, int64_t bytes, uint64_t seed) {
  Noise noise(seed);
  WriteBlocks(path, bytes, [&noise](std::string& block) {
    for (size_t i = 0; i < block.size(); i += 8) {
      const uint64_t v = noise.Next();
      std::memcpy(block.data() + i, &v, std::min<size_t>(8, block.size() - i));
    }
  });
}

void WriteText(const std::string& path, int64_t bytes, uint64_t seed) {
  static const char* const kWords[] = {"castle ", "sword ",  "water ", "forest ", "dragon ", "quest ", "stone ",
                                       "shield ", "river ", "night ", "tower ",  "gold ",   "path ",  "mage "};
  Noise noise(seed);
  WriteBlocks(path, bytes, [&noise](std::string& block) {
    const size_t size = block.size();
    block.clear();
    while (block.size() < size) {
      const uint64_t v = noise.Next();
      block += kWords[v % 14];
      if (v % 9 == 0) block += std::to_string(v % 100000) + "\r\n";
    }
    block.resize(size);
  });
}

double TimeTool(std::vector<std::string> argv_text, const std::string& stdout_path) {
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const auto start = Clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + argv_text[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = SecondsSince(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv_text[0] + " failed");
  return seconds;
}

double Publish(const std::string& release, const std::string& server, const std::string& rules) {
  return TimeTool({MKUPDATE_PATH, "publish", release, server, "--rules", rules}, "/dev/null");
}

std::string IspList(int port) { return "Bench 127.0.0.1 " + std::to_string(port) + " 10000 anonymous\r\nend\r\n"; }

TimedCli TimeUpdaterCli(const std::vector<std::string>& args) {
  TimedCli run;
  const auto start = Clock::now();
  run.result = test_support::RunUpdaterCli(args);
  run.seconds = SecondsSince(start);
  if (run.result.exit_code != 0) {
    std::string command = "updater-cli";
    for (const std::string& arg : args) command += " " + arg;
    throw std::runtime_error(command + " exited with " + std::to_string(run.result.exit_code) + ":\n" +
                             run.result.out + run.result.err);
  }
  return run;
}

void DropPageCache() {
  sync();
  std::ofstream drop("/proc/sys/vm/drop_caches");
  if (!(drop << "3\n" << std::flush))
    throw std::runtime_error("cannot empty the page cache (/proc/sys/vm/drop_caches needs root)");
}

std::vector<std::vector<std::string>> ListFields(const std::string& list_path) {
  std::ifstream list(list_path, std::ios::binary);
  if (!list) throw std::runtime_error("cannot read " + list_path);
  std::vector<std::vector<std::string>> lines;
  std::string line;
  std::getline(list, line);  // the header
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string field; words >> field;) fields.push_back(field);
    lines.push_back(fields);
  }
  return lines;
}

double Median(std::vector<double> values) {
  if (values.empty()) throw std::runtime_error("no runs to take the median of");
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string RunList(const std::vector<double>& values) {
  std::string text;
  char number[32];
  for (double v : values) {
    std::snprintf(number, sizeof number, "%s%.3f", text.empty() ? "" : " ", v);
    text += number;
  }
  return text;
}

int64_t PositiveNumber(const std::string& flag, const std::string& text) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoll(text) == 0)
    throw std::runtime_error(flag + " takes a positive whole number, not \"" + text + "\"");
  return std::stoll(text);
}

}  // namespace trust_bench
