#include "rules.h"

#include <sstream>

#include "name_pattern.h"
#include "platform/errors.h"
#include "release_tree.h"

namespace mkupdate {

namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line.substr(0, line.find('#')));
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string WithBackslashes(std::string name) {
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

}  // namespace

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  return MatchesNamePattern(ToSlashes(pattern), ToSlashes(name));
}

Rules ParseRules(const std::string& text, const std::string& path) {
  Rules rules;
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    auto fail = [&](const std::string& what) {
      throw Exception(path + ":" + std::to_string(number) + ": " + what);
    };
    if (words[0] == "raw") {
      if (words.size() < 2) fail("\"raw\" needs at least one pattern");
      rules.raw_patterns.insert(rules.raw_patterns.end(), words.begin() + 1, words.end());
      continue;
    }
    if (words[0].size() != 1 || std::string("CTASW").find(words[0][0]) == std::string::npos)
      fail("unknown rule \"" + words[0] + "\" (expected C, T, A, S, W or raw)");
    if (words.size() < 4) fail("a bundle rule needs: type, local name, package (or -), member patterns");
    BundleRule rule;
    rule.type = words[0][0];
    rule.local_name = WithBackslashes(words[1]);
    rule.package = words[2] == "-" ? "" : words[2];
    if (rule.type != 'C' && rule.package.empty()) fail("a bundle of type " + words[0] + " needs a package name");
    rule.patterns.assign(words.begin() + 3, words.end());
    rule.line = number;
    bool merged = false;
    for (BundleRule& known : rules.bundles) {
      if (!SameNameIgnoringCase(known.local_name, rule.local_name)) continue;
      if (known.type != rule.type || known.package != rule.package)
        fail("bundle " + rule.local_name + " was declared on line " + std::to_string(known.line) +
             " with another type or package");
      known.patterns.insert(known.patterns.end(), rule.patterns.begin(), rule.patterns.end());
      merged = true;
    }
    if (!merged) rules.bundles.push_back(rule);
  }
  return rules;
}

}  // namespace mkupdate
