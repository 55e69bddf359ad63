// What the trust benchmarks share: a work folder, generated release files,
// a stopwatch around tools and updater-cli, the published list's fields,
// and medians.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli_runner.h"

namespace trust_bench {

// The main of a benchmark: options parsed (a bad one: its sentence, exit
// 2), then run (a failure: "<name>: <sentence>", exit 1).
template <typename Options>
int BenchMain(int argc, char** argv, const char* name, Options (*parse)(int, char**), void (*run)(const Options&)) {
  Options options;
  try {
    options = parse(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  try {
    run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
    return 1;
  }
  return 0;
}

// A fresh folder under `parent` (the system's temporary folder when
// empty), removed with everything in it when the object goes.
class WorkFolder {
 public:
  explicit WorkFolder(const std::string& parent);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // The folder, ending in '/'.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Writes `bytes` pseudo-random bytes that gzip cannot shrink, creating the
// file's folders; the same seed gives the same bytes.
void WriteNoise(const std::string& path, int64_t bytes, uint64_t seed);
// Writes `bytes` of text-like bytes (gzip shrinks them several times).
void WriteText(const std::string& path, int64_t bytes, uint64_t seed);

// Runs argv (argv[0] looked up in PATH, standard input /dev/null, standard
// output sent to stdout_path, standard error inherited) and waits for it.
// Returns the wall time in seconds; throws std::runtime_error naming the
// tool when it cannot start or does not exit with 0.
double TimeTool(std::vector<std::string> argv, const std::string& stdout_path);

// Runs `mkupdate publish RELEASE SERVER --rules RULES`, its report thrown
// away; returns seconds. Throws as TimeTool.
double Publish(const std::string& release, const std::string& server, const std::string& rules);

// The isp0.dat of a game folder whose only server is vsftpd on this port
// of 127.0.0.1 (anonymous login).
std::string IspList(int port);

struct TimedCli {
  double seconds = 0;
  test_support::CliResult result;
};
// Runs updater-cli with args as a user runs it, the whole process timed;
// throws std::runtime_error with what it printed unless it exits with 0.
TimedCli TimeUpdaterCli(const std::vector<std::string>& args);

// Writes dirty pages out and empties the page cache (needs root); throws
// std::runtime_error when it cannot.
void DropPageCache();

// The data lines of a list file (header and line ends dropped), each
// split at spaces into its fields.
std::vector<std::vector<std::string>> ListFields(const std::string& list_path);

// The median; the mean of the middle two for an even count.
double Median(std::vector<double> values);
// "1.234 1.250 1.301": each run's seconds in the order run.
std::string RunList(const std::vector<double>& values);

// The value of a command-line flag as a positive whole number; throws
// std::runtime_error naming the flag otherwise.
int64_t PositiveNumber(const std::string& flag, const std::string& text);

}  // namespace trust_bench
