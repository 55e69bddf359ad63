#include "reliability/reliability_report.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace reliability {
namespace {

constexpr const char* kHeader =
    "# Reliability report\n\n"
    "| fault or input tried | count | outcome | anything lost |\n"
    "|---|---|---|---|\n";

std::string Cell(std::string text) {
  for (char& c : text) {
    if (c == '|') c = '/';
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

void ReportRow(const std::string& fault, int count, const std::string& outcome, const std::string& lost) {
  const std::string path = std::string(UPDATER_BINARY_DIR) + "/reliability-report.md";
  const int lock = open((path + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  if (lock >= 0) flock(lock, LOCK_EX);

  const std::string key = "| " + Cell(fault) + " |";
  const std::string row = key + " " + std::to_string(count) + " | " + Cell(outcome) + " | " + Cell(lost) + " |";
  std::vector<std::string> rows;
  std::ifstream in(path);
  bool replaced = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("| ", 0) != 0 || line.rfind("| fault or input tried", 0) == 0) continue;
    if (line.rfind(key, 0) == 0) {
      line = row;
      replaced = true;
    }
    rows.push_back(line);
  }
  if (!replaced) rows.push_back(row);
  std::ofstream out(path, std::ios::trunc);
  out << kHeader;
  for (const std::string& line : rows) out << line << "\n";
  out.close();

  if (lock >= 0) close(lock);  // closing releases the lock
}

}  // namespace reliability
