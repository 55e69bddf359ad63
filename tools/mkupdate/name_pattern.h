// Shell-style name patterns, as the rules file writes them: '*' matches any
// run of characters, '?' any one, "[...]" one of a set ("[a-z]" ranges,
// "[!...]" or "[^...]" its complement; a '[' without its ']' is itself).
// '/' is an ordinary character, so '*' and '?' match across folders; ASCII
// letters match ignoring case.
#pragma once

#include <string_view>

namespace mkupdate {

bool MatchesNamePattern(std::string_view pattern, std::string_view name);

}  // namespace mkupdate
