// The FTP implementation of the engine's transport: one TFtpClient per
// transport, its events forwarded to TransportEvents.
#pragma once

#include <memory>

#include "transport/transport.h"

// A factory of FTP transports, for UpdateEngine.
TransportFactory FtpTransportFactory();
