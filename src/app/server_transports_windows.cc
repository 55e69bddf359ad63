#include "app/server_transports.h"

#include "ftp/ftp_transport.h"
#include "prefetch/prefetching_transport.h"
#include "update/server_line.h"

// FTP only so far: the HTTP(S) transport is libcurl's, which this build
// does not link, so "http" and "https" lines are reported as servers not
// supported, and the next server line is tried.
TransportRegistry ServerTransports() {
  return TransportRegistry{{std::string(kPlainServerScheme), PrefetchingTransportFactory(FtpTransportFactory())}};
}
