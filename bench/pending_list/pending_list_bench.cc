// Times the comparison of a server list with the record: the indexed
// comparison at 100,000 x 100,000 lines against the nested loops at
// 10,000 x 10,000. Prints the figures and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>

#include "support/pending_list_reference.h"
#include "lists/pending_list.h"

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

struct Timing {
  double wall_ms = 1e300;  // best of the runs
  double cpu_ms = 1e300;   // best of the runs: this thread's processor time, which
                           // other programs on a busy machine do not inflate
  size_t queued = 0;
};

double ThreadCpuMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

template <typename Compare>
Timing Measure(int runs, const Lists& lists, Compare compare) {
  Timing timing;
  for (int run = 0; run < runs; ++run) {
    const double cpu_start = ThreadCpuMilliseconds();
    const auto start = std::chrono::steady_clock::now();
    const PendingEntries result = compare(lists.server, lists.record);
    const auto stop = std::chrono::steady_clock::now();
    timing.cpu_ms = std::min(timing.cpu_ms, ThreadCpuMilliseconds() - cpu_start);
    timing.wall_ms = std::min(timing.wall_ms, std::chrono::duration<double, std::milli>(stop - start).count());
    timing.queued = result.pending.size();
  }
  return timing;
}

void Print(const char* what, const Timing& timing) {
  std::printf("%-40s %9.1f ms wall %9.1f ms cpu  (%zu queued)\n", what, timing.wall_ms, timing.cpu_ms, timing.queued);
}

}  // namespace

int main() {
  const Lists large = MakeLists(100000, 1);
  const Lists small = MakeLists(10000, 2);

  const Timing indexed_large = Measure(9, large, ComparePendingEntries);
  const Timing indexed_small = Measure(9, small, ComparePendingEntries);
  const Timing nested_small = Measure(1, small, test_support::nested_loops::Compare);

  Print("ComparePendingEntries 100,000 x 100,000", indexed_large);
  Print("ComparePendingEntries  10,000 x  10,000", indexed_small);
  Print("nested loops          10,000 x  10,000", nested_small);
  std::printf("target: 100,000 x 100,000 under 150 ms\n");
  std::printf("nested at 10k / indexed at 100k: %.1f x (cpu); nested / indexed at 10k: %.0f x (cpu)\n",
              nested_small.cpu_ms / indexed_large.cpu_ms, nested_small.cpu_ms / indexed_small.cpu_ms);
  const bool same_count = indexed_small.queued == nested_small.queued;
  if (!same_count) std::printf("the two comparisons queued different counts\n");
  return same_count ? 0 : 1;
}
