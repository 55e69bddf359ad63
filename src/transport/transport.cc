#include "transport/transport.h"

void Transport::DownloadRanges(const std::string& remote, const std::vector<ByteRange>& /*ranges*/,
                               int64_t /*served_size*/, const RangeSink& /*sink*/) {
  throw EDownloadError(DownloadFailure::kRefused, "This server cannot send parts of a file (" + remote + ")");
}
