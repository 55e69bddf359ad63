// The order in which the update check tries the servers of "isp0.dat".
#pragma once

#include <functional>
#include <string>

#include "lists/list_file.h"

// What the server dialog leaves for the update check, read when the
// check starts.
struct ServerChoice {
  int ItemIndex = -1;    // selected entry of the dialog's list, -1 when none
  int Count = 0;         // entries of that list: the servers, then "Other"
  LineList ServerLines;  // the lines of "isp0.dat" as the dialog read them
};

// Random(m): a whole number from 0 to m - 1, and 0 when m is 0 or less.
using RandomSource = std::function<int(int m)>;

// A source seeded from the clock, as each check uses.
RandomSource ClockSeededRandom();

// Builds the server order from the dialog's choice and the current lines
// of "isp0.dat" (`isp0_lines`, its last line being "end"):
// - "Other" chosen (the last entry of the choice list): every line in random
//   order, except that the last line always stays last;
// - entry p chosen: the choice list's server line p first (for p = 0, in
//   60 of 100 draws a server entry drawn uniformly instead), removed from
//   the rest, which follow in random order with the last line last.
// Throws EListError "List index out of bounds (<p>)" when the choice
// selects no entry (p = -1) or names a line that does not exist.
LineList BuildServerOrder(const ServerChoice& choice, LineList isp0_lines, const RandomSource& random);
