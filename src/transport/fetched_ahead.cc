#include "transport/fetched_ahead.h"

#include "platform/errors.h"
#include "platform/file_blocks.h"
#include "platform/file_system.h"

namespace {

constexpr size_t kSinkBlock = 1 << 20;

}  // namespace

std::optional<std::string> HandOverFetchedAhead(const std::string& ahead_path, const std::string& local_path,
                                                const ByteSink& sink) {
  if (const int error = platform::ReplaceFile(ahead_path, local_path); error != 0)
    return "Cannot create file " + local_path + ": " + platform::ErrorText(error);
  try {
    if (sink) platform::ReadFileInBlocks(local_path, kSinkBlock, sink);
  } catch (const EFOpenError& error) {  // the file fetched ahead cannot be read back
    return error.what();
  } catch (const EInOutError& error) {  // as above
    return error.what();
  }
  return std::nullopt;
}

bool KeepPartFetchedAhead(const std::string& ahead_path, const std::string& local_path) {
  if (platform::ReplaceFile(ahead_path, local_path) == 0) return true;
  (void)platform::RemoveFileIfPresent(ahead_path);  // nothing to continue from: the download starts over
  return false;
}
