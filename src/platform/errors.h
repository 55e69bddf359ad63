// The one family of exceptions of the program. Each carries the text a
// person reads in the application's error box, so what() is that text.
#pragma once

#include <stdexcept>
#include <cstdint>
#include <string>

// Base of every error the program raises on purpose.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A file could not be opened or created: "Cannot open file %s",
// "Cannot create file %s".
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// Reading or writing an open file failed ("I/O error %d", "Read beyond end of file").
class EInOutError : public Exception {
 public:
  using Exception::Exception;
};

// "I/O error <errno>", the error of a read or write that failed.
inline EInOutError IoError(int error_number) { return EInOutError("I/O error " + std::to_string(error_number)); }

// A text that should be a decimal integer is not: "'%s' is not a valid integer value".
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A list was indexed outside its lines: "List index out of bounds (%d)".
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// A value lies outside the range its type allows: "Range check error".
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

namespace platform {

// Converts decimal text (optional leading spaces and sign, as the Windows
// run-time library accepts it) to a 32-bit integer. Throws EConvertError
// with "'<text>' is not a valid integer value" otherwise, overflow included.
int StrToInt(const std::string& text);

// StrToInt for 64-bit integers (file sizes).
int64_t StrToInt64(const std::string& text);

}  // namespace platform
