// The process itself and the programs it starts: starting the game's
// programs without waiting for them, ending this process, its terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// Result of WinExec when the program was started (any result above 31 means started).
inline constexpr unsigned kWinExecStarted = 33;

// Starts a program and returns at once, as the Windows call does.
// command_line is Windows-style and relative to exe_dir (a real folder
// ending in '/'), e.g. "System\\PKG pkg import texture ..\\Textures\\Trees ..\\Trees":
// its first space-separated word is the program, resolved with
// ResolveGameFileName; the other words are passed unchanged as arguments.
// The program runs with exe_dir as its working folder; show_mode is
// accepted for the caller's sake and not used. The child is reaped, so no
// zombie stays behind.
// Returns 33 when started, 2 when the program file does not exist (or the
// command line is empty), 5 when it is not executable (or is a folder),
// 11 when it is not a program format the system runs, 0 otherwise.
unsigned WinExec(const std::string& exe_dir, const std::string& command_line, int show_mode);

// Why WinExec could not start a program, for a person: the sentence for
// one of its results of 31 or below ("the program file does not exist" for 2).
std::string WinExecFailureText(unsigned result);

// Ends this process with exit status `code` at once: stdio buffers are
// flushed, nothing else runs (no destructors, no exit handlers). For the
// front-ends' halt handlers only.
[[noreturn]] void EndProcessNow(int code);

// This process's id, as the system's tools show it.
long CurrentProcessId();

// True when the standard output (kOutput) or error stream (kError) is a
// terminal rather than a file or a pipe.
enum class StandardStream { kOutput, kError };
bool IsTerminal(StandardStream stream);

// The width in columns of the terminal on that stream: the terminal's own
// size, else $COLUMNS when it is a positive number. nullopt when the stream
// is not a terminal or neither says.
std::optional<int> TerminalColumns(StandardStream stream);

// The program's arguments, argv[0] first, in UTF-8: on Windows read from
// the wide command line, so that a folder named outside the ANSI code page
// arrives whole; elsewhere argv as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes standard output and error carry the program's bytes as they are:
// no line-end translation, and UTF-8 shown as such on a Windows console.
// Nothing to do on POSIX systems.
void PrepareStandardStreams();

}  // namespace platform
