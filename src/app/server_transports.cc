#include "app/server_transports.h"

#include "ftp/ftp_transport.h"
#include "http/http_transport.h"
#include "prefetch/prefetching_transport.h"
#include "update/server_line.h"

// Each fetching ahead: FTP over helper connections, HTTP on its own multi
// handle.
TransportRegistry ServerTransports() {
  return TransportRegistry{{std::string(kPlainServerScheme), PrefetchingTransportFactory(FtpTransportFactory())},
                           {"http", HttpTransportFactory()},
                           {"https", HttpTransportFactory()}};
}
