// Reading a file of any size from start to end in blocks of fixed size, so
// memory does not depend on the file (hashing a whole game folder).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/block_pool.h"

namespace platform {

// Hands the file's bytes to consume in order, in blocks of at most
// block_size bytes (each with a share in its block, which a consumer may
// keep), and returns the byte count. An empty file never calls
// consume. Throws EFOpenError "Cannot open file
// <path>: <reason>" when it cannot be opened, EInOutError "Cannot read
// <path>: <reason>" when reading fails; exceptions of consume pass through.
int64_t ReadFileInBlocks(const std::string& path, size_t block_size, const BlockConsumer& consume);

}  // namespace platform
