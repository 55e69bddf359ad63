// The line and field conventions of the updater's list files ("update3.dat",
// "update2.dat" and the others) and the small text helpers used on their lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Lines of a list file held in memory (line 0 is the header where a list has one).
using LineList = std::vector<std::string>;

// Field n (counted from 1) of a line whose fields are separated by one or
// more spaces (0x20 only; a tab is an ordinary character); leading spaces
// are skipped. Empty when the line has fewer than n fields or n < 1.
std::string LineField(const std::string& line, int n);

// LineField without a copy: a view into line.
std::string_view LineFieldView(std::string_view line, int n);

// The part of name before its first dot; empty when name has no dot.
std::string NameStem(const std::string& name);

// part 1: the text before the last dot of name; part 2: the text after it.
// Empty when name has no dot or part is neither 1 nor 2.
std::string GetNameFirstList(const std::string& name, int part);

// Makes sure every folder of windows_file_name (everything before its last
// backslash or slash) exists under exe_dir (a real folder ending in '/'):
// existing folders are matched ignoring case, missing ones are created with
// the case given. Never reports a failure (a folder that cannot be created
// shows up later when the file is written); a name that would leave exe_dir
// (see platform::IsSafeRelativeName), or whose existing folders lead out of
// it through a link (platform::FoldersStayInside), creates nothing.
void MakeFolderPath(const std::string& exe_dir, const std::string& windows_file_name);

// True when some line of listing equals name, ignoring the case of the
// ASCII letters a-z only (other bytes compare exactly).
bool IsListedOnServer(const std::vector<std::string>& listing, const std::string& name);

// Lines of the list file at path (a real path). Breaks may be CR LF, LF or
// CR; a final break adds no empty line; an empty file gives no lines.
// Throws EFOpenError "Cannot open file <path>" when it cannot be opened.
LineList LoadListFile(const std::string& path);

// Replaces the file at path with lines, each ended by CR LF. Atomic: a
// crash leaves the old or the new file whole (platform::WriteFileAtomically,
// whose errors it throws).
void SaveListFile(const std::string& path, const LineList& lines);
