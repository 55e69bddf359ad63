// Turning the byte texts of the updater into UTF-8 where they reach a
// person (the terminal of the command-line front-end), through the
// system's converter.
#pragma once

#include <string>
#include <string_view>

// Decodes `bytes` for display according to the language letter: Big5 for
// 't', GB2312 (read as its superset GBK) for 's', UTF-8 for 'n' and any
// other letter (English texts are ASCII, so they come back unchanged).
// Never fails: each byte that does not start a valid character of the
// encoding becomes U+FFFD and decoding goes on with the next byte.
namespace platform {

std::string TextToUtf8(std::string_view bytes, char lang_letter);

}  // namespace platform
