// Reading of INI files with the lenient rules of the Windows profile functions.
#pragma once

#include <string>

namespace platform {

// Value of key in [section] of the INI file at path (a real path), or
// default_value when the file, the section or the key is missing.
// Section and key names match ignoring ASCII case, after trimming spaces
// and tabs; the first matching section, and in it the first matching key,
// wins. The value is trimmed; one pair of matching quotes around it ('...'
// or "...") is removed. Lines whose first non-blank character is ';' are
// comments. Line breaks may be CR LF, LF or CR. Never throws for I/O.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value);

}  // namespace platform
