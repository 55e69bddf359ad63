// The bundle trailer and extraction: the input is the unpacked bundle,
// taken apart into a scratch game folder. Nothing may be written beside
// that folder, and every member written must lie inside it.
#include <cstdint>
#include <cstdlib>

#include "platform/errors.h"
#include "scratch_folder.h"
#include "update/bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::ScratchFolder scratch;
  scratch.Empty();
  const std::string bundle = scratch.Write("input.bnd", data, size);
  try {
    const BundleExtraction result = ExtractBundle(scratch.path(), bundle);
    if (result.extracted < 0 || result.extracted > kBundleMaxMembers) abort();
    if (result.unwritable > static_cast<int>(result.skipped.size())) abort();
  } catch (const Exception&) {
    // Unreadable bundles and impossible counts are reported by exceptions.
  }
  scratch.Empty();  // aborts when a member climbed out
  return 0;
}
