// The publisher's rules file: which release files form which bundle, and
// which files ship uncompressed. One rule per line, fields separated by
// spaces, '#' starts a comment:
//
//   <type> <bundle local name> <package|-> <member pattern>...
//   raw <pattern>...
//
// <type> is C, T, A, S or W. The bundle's local name is the temporary name
// the updater unpacks it to (its part before the first dot also names the
// source folder handed to the import tool); the package is the package
// name without extension ("-" for C, required otherwise). Lines with the
// same type and local name add members to one bundle. Patterns match the
// release names with '/' or '\' as separator, ignoring case; '*' and '?'
// match across folders. "raw" files ship as "O" entries, uncompressed.
#pragma once

#include <string>
#include <vector>

namespace mkupdate {

struct BundleRule {
  char type = 'C';
  std::string local_name;  // Windows-style
  std::string package;     // empty for C
  std::vector<std::string> patterns;
  int line = 0;
};

struct Rules {
  std::vector<BundleRule> bundles;
  std::vector<std::string> raw_patterns;
};

// Parses the rules text. Throws Exception "<path>:<line>: <what is wrong>"
// for an unknown rule, a missing field or a bundle without a package.
Rules ParseRules(const std::string& text, const std::string& path);

// True when the release name (Windows-style) matches the pattern.
bool MatchesPattern(const std::string& pattern, const std::string& name);

}  // namespace mkupdate
