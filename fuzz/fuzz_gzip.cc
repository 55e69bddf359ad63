// The unpacker: any downloaded bytes are unpacked into the scratch game
// folder without fault; the result code is one of the documented ones.
#include <cstdint>
#include <cstdlib>

#include "gzip/gzip.h"
#include "scratch_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::ScratchFolder scratch;
  scratch.Empty();
  TGzip gzip;
  gzip.FileSource = scratch.Write("download.gz", data, size);
  gzip.FileDestination = scratch.path() + "unpacked.u";
  gzip.DeleteSource = true;
  gzip.WindowOnError = true;
  gzip.ProgressStep = 7;
  gzip.OnErrorBox = [](const std::string&, const std::string&) {};
  gzip.OnProgress = [](int percent) {
    if (percent < 0 || percent > 100) abort();
  };
  gzip.OnCloseFailed = [] { abort(); };  // a close never fails here
  const int result = gzip.Unpack();
  // The source exists and the destination can be made: the bytes unpack,
  // or they are damaged and the destination is left as it was.
  if (result != TGzip::kUnpacked && result != TGzip::kDamaged) abort();
  return 0;
}
