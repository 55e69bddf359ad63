#include "inspect.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "utc_time.h"
#include "bundle_format.h"
#include "datec_format.h"
#include "gzip_stream.h"
#include "platform/errors.h"
#include "platform/file_system.h"

namespace mkupdate {

namespace {

// "YYYY-MM-DD HH:MM:SS" of a day count (days since 1899-12-30, local time).
std::string DayCountText(double days) {
  if (!std::isfinite(days) || days < 0 || days > 2958466) return "(invalid time)";
  int64_t seconds = std::llround((days - 25569.0) * 86400.0);
  const std::tm utc = UtcTime(seconds);  // the count is already local time
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  return text;
}

}  // namespace

bool InspectBundle(const std::string& path, std::ostream& out) {
  PayloadReader reader(path);
  std::vector<char> block(kStreamBlock);
  std::string tail;
  int64_t size = 0;
  for (size_t got; (got = reader.Read(block.data(), block.size())) > 0;) {
    size += static_cast<int64_t>(got);
    tail.append(block.data(), got);
    if (tail.size() > kBundleTrailerSize) tail.erase(0, tail.size() - kBundleTrailerSize);
  }
  BundleTrailer trailer = tail.size() == kBundleTrailerSize ? DecodeBundleTrailer(tail) : BundleTrailer{};
  out << path << ": " << (reader.compressed() ? "gzip-compressed " : "") << "bundle of " << size << " bytes, "
      << trailer.count << " member(s)\n";
  for (const BundleMember& m : trailer.members) {
    char line[64];
    std::snprintf(line, sizeof line, "%12lld %12lld %12lld  ", static_cast<long long>(m.start),
                  static_cast<long long>(m.end), static_cast<long long>(m.end - m.start));
    out << line << m.name << "\n";
  }
  std::vector<std::string> problems = BundleProblems(trailer, size);
  for (const std::string& problem : problems) out << "problem: " << problem << "\n";
  return problems.empty();
}

void InspectDatec(const std::string& path, std::ostream& out) {
  std::string bytes = platform::ReadWholeFile(path);
  int32_t count = 0;
  std::vector<CheckRecord> records;
  try {
    records = DecodeDatec(bytes, &count);
  } catch (const Exception& error) {
    throw Exception(path + ": " + error.what());
  }
  out << path << ": trailer count " << count << ", " << records.size() << " file record(s)\n";
  if (bytes.size() < static_cast<size_t>(count) * kDatecRecordSize)
    out << "note: the count is larger than the file; the check reads the missing records as empty\n";
  for (const CheckRecord& r : records) {
    char line[80];
    std::snprintf(line, sizeof line, "%12d  %s (%.8f)  ", r.size, DayCountText(r.time).c_str(), r.time);
    out << line << r.folder << r.name << "\n";
  }
}

size_t WriteDatec(const std::string& game_dir, const std::string& out_path) {
  std::vector<std::string> problems;
  std::vector<ReleaseFile> files = ScanRelease(game_dir, {"datec.dat"}, problems);
  std::vector<CheckRecord> records;
  try {
    records = MakeCheckRecords(files);
  } catch (const Exception& error) {
    problems.push_back(error.what());
  }
  if (!problems.empty()) {
    std::string text = "Cannot write the reference list; nothing was written:";
    for (const std::string& p : problems) text += "\n" + p;
    throw Exception(text);
  }
  platform::WriteFileAtomically(out_path, EncodeDatec(records));
  return records.size();
}

}  // namespace mkupdate
