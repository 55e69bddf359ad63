#include "platform/file_system.h"

#include <cstring>

namespace platform {

std::string ErrorText(int error_number) { return std::strerror(error_number); }

std::string PartialFileOf(const std::string& path) { return path + std::string(kPartialFileSuffix); }

}  // namespace platform
