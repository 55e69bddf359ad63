// The comparison of the server list with the record written as its nested
// loops state it: every server line scans the record from line 1. Quadratic;
// the reference result for tests and the peer figure for the benchmark.
#pragma once

#include <string>

#include "lists/pending_list.h"

// Kept apart from the code under test, with its own field splitting.
namespace test_support::nested_loops {

inline std::string Field(std::string line, int n) {
  line += ' ';
  bool separator = true;
  int counter = 0;
  size_t start = std::string::npos;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != ' ' && separator) {
      separator = false;
      if (++counter == n) start = i;
    } else if (line[i] == ' ' && !separator) {
      if (counter == n) return line.substr(start, i - start);
      separator = true;
    }
  }
  return "";
}

inline bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

inline bool Greater(const std::string& a, const std::string& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x > y;
  }
  return a.size() > b.size();
}

inline PendingEntries Compare(const LineList& server, const LineList& record) {
  PendingEntries result;
  const size_t m = record.size();
  for (size_t i = 1; i < server.size(); ++i) {
    const std::string& s = server[i];
    const std::string name = Field(s, 3);
    const std::string version = Field(s, 4);
    for (size_t r = 1; r <= m - 1 && m > 0; ++r) {
      if (SameName(name, Field(record[r], 1))) {
        if (Greater(version, Field(record[r], 2))) {
          result.names.push_back(name);
          result.pending.push_back("U " + std::to_string(r) + " " + s);
        }
        break;
      } else if (r == m - 1) {
        result.names.push_back(name);
        result.pending.push_back(s);
      }
    }
  }
  return result;
}

}  // namespace test_support::nested_loops
