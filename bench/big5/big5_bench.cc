// Throughput of Big5ToGB on a long mixed text and on short messages, with
// glibc's iconv BIG5 -> GB2312 (no traditional-to-simplified folding) on the
// same long text as a point of reference.

#include <iconv.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "texts/big5_to_gb.h"
#include "texts/texts.h"

namespace {

using Clock = std::chrono::steady_clock;

// Mostly Big5 characters, with ASCII words and numbers between them, as in
// the updater's messages and Chinese file names.
std::string MixedBig5Text(std::size_t size) {
  std::mt19937 random(11);
  std::string text;
  text.reserve(size + 16);
  while (text.size() < size) {
    if (random() % 8 == 0) {
      text += " update3.dat 42 ";
    } else {
      text += static_cast<char>(0xA4 + random() % 0x1C);  // frequent characters
      const int position = random() % 157;
      text += static_cast<char>(position < 63 ? 0x40 + position : 0xA1 + position - 63);
    }
  }
  text.resize(size);
  return text;
}

template <typename Step>
double BestSeconds(int rounds, Step step) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    step();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

std::size_t IconvBig5ToGb(const std::string& text, std::string& out) {
  iconv_t cd = iconv_open("GB2312//TRANSLIT", "BIG5");
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  out.resize(text.size() * 2);
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  while (in_left > 0) {
    if (iconv(cd, &in, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) {
      ++in;  // skip what has no GB2312 form, as Big5ToGB writes spaces for it
      --in_left;
    }
  }
  iconv_close(cd);
  return out.size() - out_left;
}

}  // namespace

int main() {
  constexpr std::size_t kSize = 64 << 20;
  const std::string text = MixedBig5Text(kSize);
  std::size_t sink = 0;

  const double long_seconds = BestSeconds(5, [&] { sink += Big5ToGB(text).size(); });
  const double mib = static_cast<double>(kSize) / (1 << 20);
  std::printf("Big5ToGB, 64 MiB mixed text : %.1f MiB/s\n", mib / long_seconds);

  // The longest message, converted as a label or box text would be.
  const std::string message(kForcedUpdateQuestion.big5);
  constexpr int kCalls = 2000000;
  const double short_seconds = BestSeconds(3, [&] {
    for (int i = 0; i < kCalls; ++i) sink += Big5ToGB(message).size();
  });
  std::printf("Big5ToGB, %zu-byte message  : %.1f MiB/s, %.0f ns per call\n", message.size(),
              message.size() * static_cast<double>(kCalls) / (1 << 20) / short_seconds,
              short_seconds / kCalls * 1e9);

  std::string out;
  const double iconv_seconds = BestSeconds(3, [&] { sink += IconvBig5ToGb(text, out); });
  std::printf("iconv BIG5 -> GB2312, same text : %.1f MiB/s (reference; no folding)\n",
              mib / iconv_seconds);
  std::printf("ratio Big5ToGB / iconv: %.1f\n", iconv_seconds / long_seconds);
  return sink == 0;  // keeps the conversions from being optimised away
}
