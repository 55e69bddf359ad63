#include "update/bundle.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <string_view>

#include "platform/errors.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "platform/temporary_names.h"
#include "update/folder_path.h"
#include "update/install_journal.h"
#include "update/updater_files.h"

namespace {

constexpr std::size_t kCopyBufferSize = 64 * 1024;

// Why the member cannot be written, or "" when it can.
std::string RefusalReason(const std::string& exe_dir, const BundleMember& member, int64_t data_end) {
  if (member.name_too_long) return "its name is longer than 80 bytes";
  if (!platform::IsSafeRelativeName(member.name)) return "its name leaves the game folder";
  if (platform::IsTemporaryFileName(member.name)) return "its name ends in a suffix of the updater's temporary files";
  if (IsUpdaterStateFile(member.name)) return "its name is a file the updater keeps its state in";
  if (!platform::FoldersStayInside(exe_dir, platform::ResolveGameFileName(exe_dir, member.name)))
    return "its name leads out of the game folder through a link";
  if (!member.RangeWithin(data_end))
    return "its data range " + std::to_string(member.start) + ".." + std::to_string(member.end) +
           " lies outside the bundle's " + std::to_string(data_end) + " data bytes";
  return "";
}

// Copies [start, end) of `bundle` to the real path `target` (never through
// a link standing there); false on any read or write failure.
bool CopyRange(std::ifstream& bundle, int64_t start, int64_t end, const std::string& target) {
  platform::OutputFile out(target);
  if (!out.IsOpen()) return false;
  bundle.clear();
  bundle.seekg(start);
  std::array<char, kCopyBufferSize> buffer;
  int64_t left = end - start;
  while (left > 0) {
    const auto chunk = static_cast<std::streamsize>(std::min<int64_t>(left, buffer.size()));
    if (!bundle.read(buffer.data(), chunk)) return false;
    if (out.Write(std::string_view(buffer.data(), static_cast<size_t>(chunk))) != 0) return false;
    left -= chunk;
  }
  return out.Close() == 0;
}

// Writes the member to its partial file and renames that over its name.
// Returns "" or why the member's file could not be written.
std::string WriteMember(const std::string& exe_dir, std::ifstream& bundle, const BundleMember& member) {
  try {
    RequireFolderPath(exe_dir, member.name);
  } catch (const EFOpenError& error) {
    return error.what();
  }
  const std::string target = platform::ResolveGameFileName(exe_dir, member.name);
  const std::string partial = BeginPartialFile(exe_dir, target);
  std::string problem;
  if (!CopyRange(bundle, member.start, member.end, partial)) {
    problem = "cannot write " + target;
  } else if (const int error = platform::ReplaceFile(partial, target); error != 0) {
    problem = "cannot replace " + target + ": " + platform::ErrorText(error);
  } else {
    return "";
  }
  if (std::string left = DiscardTemporaryFile(partial); !left.empty()) problem += "; " + left;
  return problem;
}

}  // namespace

BundleExtraction ExtractBundle(const std::string& exe_dir, const std::string& bundle_path) {
  std::ifstream bundle(bundle_path, std::ios::binary);
  if (!bundle) throw EFOpenError("Cannot open file " + bundle_path);
  bundle.seekg(0, std::ios::end);
  const int64_t size = bundle.tellg();
  if (size < kBundleTrailerSize) throw EInOutError("Read beyond end of file");

  const int64_t data_end = size - kBundleTrailerSize;
  std::array<char, kBundleTrailerSize> bytes;
  bundle.seekg(data_end);
  if (!bundle.read(bytes.data(), bytes.size())) throw EInOutError("Read beyond end of file");

  const BundleTrailer trailer = DecodeBundleTrailer(std::string_view(bytes.data(), bytes.size()));
  if (trailer.count > kBundleMaxMembers) throw ERangeError("Range check error");

  BundleExtraction result;
  for (size_t index = 0; index < trailer.members.size(); ++index) {
    const BundleMember& member = trailer.members[index];
    const size_t k = index + 1;
    const std::string label = "bundle member " + std::to_string(k) + " \"" + member.name + "\"";
    if (std::string reason = RefusalReason(exe_dir, member, data_end); !reason.empty()) {
      result.skipped.push_back(label + " skipped: " + reason);
      continue;
    }
    if (std::string problem = WriteMember(exe_dir, bundle, member); !problem.empty()) {
      result.skipped.push_back(label + " skipped: " + problem);
      ++result.unwritable;
      continue;
    }
    ++result.extracted;
  }
  return result;
}
