// Times the comparison of a server list with the record: the indexed
// comparison at 100,000 x 100,000 lines against the nested loops at
// 10,000 x 10,000. Prints the figures and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "support/pending_list_reference.h"
#include "update/pending_list.h"

namespace {

struct Lists {
  LineList server;
  LineList record;
};

// A record of `count` installed files and a server list naming the same
// files in another order and case, a tenth of them at a later version,
// plus a tenth of new files.
Lists MakeLists(int count, unsigned seed) {
  std::mt19937 random(seed);
  Lists lists;
  lists.record.push_back(kRecordHeader);
  lists.server.push_back("update3 header");
  std::vector<int> order(count);
  for (int i = 0; i < count; ++i) {
    order[i] = i;
    lists.record.push_back("Folder" + std::to_string(i % 97) + "\\File" + std::to_string(i) + ".utx 20240101");
  }
  std::shuffle(order.begin(), order.end(), random);
  for (int k = 0; k < count; ++k) {
    const int i = order[k];
    const bool is_new = k % 10 == 0;
    const std::string folder = "FOLDER" + std::to_string(i % 97);
    const std::string name = is_new ? "New\\Extra" + std::to_string(k) + ".u" : folder + "\\file" + std::to_string(i) + ".UTX";
    const std::string version = k % 10 == 1 ? "20240615" : "20240101";
    lists.server.push_back("T File" + std::to_string(i) + ".gz " + name + " " + version + " 123456 File" +
                           std::to_string(i));
  }
  return lists;
}

template <typename Compare>
double BestMilliseconds(int runs, const Lists& lists, Compare compare, size_t& queued) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const PendingEntries result = compare(lists.server, lists.record);
    const auto stop = std::chrono::steady_clock::now();
    queued = result.pending.size();
    best = std::min(best, std::chrono::duration<double, std::milli>(stop - start).count());
  }
  return best;
}

}  // namespace

int main() {
  const Lists large = MakeLists(100000, 1);
  const Lists small = MakeLists(10000, 2);
  size_t queued_large = 0, queued_small = 0, queued_small_nested = 0;

  const double indexed_large = BestMilliseconds(5, large, ComparePendingEntries, queued_large);
  const double indexed_small = BestMilliseconds(5, small, ComparePendingEntries, queued_small);
  const double nested_small = BestMilliseconds(1, small, test_support::nested_loops::Compare, queued_small_nested);

  std::printf("ComparePendingEntries 100,000 x 100,000: %8.1f ms (%zu queued; target < 150 ms)\n", indexed_large,
              queued_large);
  std::printf("ComparePendingEntries  10,000 x  10,000: %8.1f ms (%zu queued)\n", indexed_small, queued_small);
  std::printf("nested loops          10,000 x  10,000: %8.1f ms (%zu queued)\n", nested_small, queued_small_nested);
  std::printf("nested 10k / indexed 100k: %.1f x; nested / indexed at 10k: %.0f x\n", nested_small / indexed_large,
              nested_small / indexed_small);
  return queued_small == queued_small_nested && indexed_large < 150.0 ? 0 : 1;
}
