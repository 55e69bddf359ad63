#include "platform/display_text.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

const char* EncodingFor(char lang_letter) {
  switch (lang_letter) {
    case 't':
      return "BIG5";
    case 's':
      return "GBK";
    default:
      return "UTF-8";
  }
}

// Owns one iconv descriptor.
class Decoder {
 public:
  explicit Decoder(const char* from) : cd_(iconv_open("UTF-8", from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot decode ") + from);
    }
  }
  ~Decoder() { iconv_close(cd_); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  std::string Decode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    char block[1024];
    while (in_left > 0) {
      char* out_ptr = block;
      std::size_t out_left = sizeof block;
      const std::size_t result = iconv(cd_, &in, &in_left, &out_ptr, &out_left);
      out.append(block, out_ptr - block);
      if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
      // EILSEQ or EINVAL (a character cut off at the end): mark one byte.
      out.append(kReplacement);
      ++in;
      --in_left;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string TextToUtf8(std::string_view bytes, char lang_letter) {
  Decoder decoder(EncodingFor(lang_letter));
  return decoder.Decode(bytes);
}

}  // namespace platform
