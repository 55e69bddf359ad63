// Big5ToGB and the conversion of texts for display: any bytes convert
// without fault, and the GB2312 text never grows past its source.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/display_text.h"
#include "texts/big5_to_gb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string big5(reinterpret_cast<const char*>(data), size);
  const std::string gb = Big5ToGB(big5);
  if (gb.size() > big5.size()) abort();
  for (const char lang : {'t', 's', 'n'}) (void)platform::TextToUtf8(big5, lang);
  return 0;
}
