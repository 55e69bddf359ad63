// A transport that fetches the engine's planned downloads ahead of it over
// further connections to the same server. The engine still asks for one
// download at a time, in its own order; each planned one is by then
// already on disk or on its way, so on a link with real round trips the
// connections overlap their waits instead of leaving the link idle.
#pragma once

#include "transport/transport.h"

// Wraps `single` (the transport of one connection): with
// NetworkSettings::Connections above 1, each transport it makes logs in
// Connections helper connections, each on a thread of its own, once the
// first download is planned. The engine's own connection downloads what
// they did not fetch; while it waits for one of theirs, it fetches small
// planned files itself. A helper the server
// refuses (a "421", a per-address limit) is left out silently; a download
// ahead that fails is fetched again by Download on the engine's
// connection. With Connections 1 the transport is `single`'s own.
TransportFactory PrefetchingTransportFactory(TransportFactory single);
