#include "platform/socket_errors.h"

namespace platform {

namespace {
thread_local int last_socket_error = 0;
}  // namespace

int LastSocketError() { return last_socket_error; }

void SetLastSocketError(int winsock_error) { last_socket_error = winsock_error; }

}  // namespace platform
