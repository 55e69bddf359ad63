// Template part of file_io.h.
#pragma once

#include <cstring>
#include <vector>

namespace mkupdate {

namespace detail {
// Fills buffer from reader until n bytes or the end; returns the count.
template <typename Reader>
size_t ReadFull(Reader& reader, char* buffer, size_t n) {
  size_t got = 0;
  while (got < n) {
    size_t step = reader.Read(buffer + got, n - got);
    if (step == 0) break;
    got += step;
  }
  return got;
}
}  // namespace detail

template <typename ReaderA, typename ReaderB>
bool SameContent(ReaderA& a, ReaderB& b) {
  std::vector<char> block_a(kStreamBlock), block_b(kStreamBlock);
  for (;;) {
    size_t got_a = detail::ReadFull(a, block_a.data(), block_a.size());
    size_t got_b = detail::ReadFull(b, block_b.data(), block_b.size());
    if (got_a != got_b || std::memcmp(block_a.data(), block_b.data(), got_a) != 0) return false;
    if (got_a < block_a.size()) return true;
  }
}

}  // namespace mkupdate
