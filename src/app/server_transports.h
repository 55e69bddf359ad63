// The transport of each scheme a server line may name, as this system's
// build offers them.
#pragma once

#include "transport/transport_registry.h"

TransportRegistry ServerTransports();
