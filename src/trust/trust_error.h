// The error of a key or signature file that cannot be used: malformed,
// of an algorithm this library does not handle, or protected by a password.
#pragma once

#include "platform/errors.h"

namespace trust {

class ETrustError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace trust
