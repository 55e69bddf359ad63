// Socket error numbers in the WinSock numbering the FTP layer reports
// ("10061:Connection refused"), and the per-thread "last socket error"
// that every call in socket_stream.h and resolver.h sets on failure.
#pragma once

#include <string>

namespace platform {

// The numbers the upper layers test by name; the rest come from the mapping.
inline constexpr int kWsaEWouldBlock = 10035;
inline constexpr int kWsaENotConn = 10057;
inline constexpr int kWsaHostNotFound = 11001;

// Maps a POSIX errno value to its WinSock number (ECONNREFUSED → 10061,
// ECONNRESET → 10054, ETIMEDOUT → 10060, ENOTCONN → 10057, EAGAIN → 10035,
// ...). 0 stays 0; an errno without a WinSock twin maps to 10022 (invalid
// argument) rather than to a number no table knows. POSIX only: Windows
// reports the WinSock numbers themselves.
int WinSockErrorFromErrno(int errno_value);

// The error of the last failed socket or lookup call on this thread, like
// WSAGetLastError. Calls that succeed leave it unchanged.
int LastSocketError();

// "10061:Connection refused"; "" for 0; "Unknown Error No. <n>" for a
// number the table does not know.
std::string WinSockErrorMessage(int error_number);
void SetLastSocketError(int winsock_error);

}  // namespace platform
