// The system's socket headers, for the socket files of this folder.
// Internal to platform.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/windows_loop.h"

// WSAPoll has no read hang-up of its own; the loop reports Winsock's
// FD_CLOSE under this bit.
#define POLLRDHUP kPollPeerClosed
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#endif
