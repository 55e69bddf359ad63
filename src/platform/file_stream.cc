// The parts of OutputFile that only use the descriptor, the same on every
// system; opening, writing and closing are in the twins.
#include "platform/file_stream.h"

#include <memory>

#include "platform/file_identity.h"
#include "platform/flush_behind.h"

namespace platform {

OutputFile::~OutputFile() { (void)Close(); }

std::optional<FileIdentity> OutputFile::Identity() const {
  if (fd_ < 0) return std::nullopt;
  return IdentityOfOpenFile(fd_);
}

void OutputFile::FlushWhileWriting() {
  if (fd_ >= 0 && !flush_behind_) flush_behind_ = std::make_unique<FlushBehind>(fd_);
}

}  // namespace platform
