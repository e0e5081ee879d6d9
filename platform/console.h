// What differs between the systems' consoles: the arguments, the two output
// channels, terminals, the signals of a run and the end of the process. One
// implementation per system (console_posix.cpp, console_win32.cpp), linked by
// the console front end only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

enum ConsoleChannel { StandardOutput, StandardError };

// The arguments after the program's own name, in the system's native strings
// (on Windows taken from the wide command line, not from argv).
void ReadCommandArguments(int argc, char** argv, std::vector<PathString>* args);

// Text as the system's console shows it: bytes as they are on POSIX; on
// Windows UTF-16 to a console and UTF-8 when redirected.
void WriteChannel(ConsoleChannel channel, const PathChar* text, size_t length);
void FlushChannels();
// False when standard output refused some of what was written to it (a full
// disk, a closed file); call after FlushChannels.
bool OutputComplete();
bool ChannelIsTerminal(ConsoleChannel channel);
// Standard output goes to the file at path from here on, created or emptied
// (export -o); false, with LastPlatformError, when it cannot be opened.
bool RedirectStandardOutput(const PathChar* path);
// The file standard output writes to; false where it is none (a terminal, a pipe).
bool StandardOutputIdentity(FileIdentity* identity);
bool InputIsTerminal();
// One line of standard input without its line end; false at its end.
bool ReadInputLine(PathString* line);
// Standard input's bytes as they come, appended until its end or until more
// than limit are there; false after a failed read (LastPlatformError).
bool ReadStandardInput(size_t limit, std::string* bytes);

// Ctrl-C and termination call onInterrupt, on a signal handler or the
// system's own thread: it may only set lock-free atomics. The closing of the
// console window or session (Windows) calls onEnding, which may wait a little
// before the process is ended under it. Ctrl-Z stops the process (POSIX) and
// the stopped time is handed over afterwards.
void InstallRunSignals(void (*onInterrupt)(), void (*onEnding)());
bool InterruptRequested();
// 100-ns units the process spent stopped since the previous call.
uint64_t TakeStoppedTime();
// A thread started between the two calls never receives the run's signals,
// so that their handlers run on the main thread.
void HoldRunSignals();
void ReleaseRunSignals();

// Flushes the channels and ends the process at once, with a worker that may
// still be running: nothing is torn down under its feet.
[[noreturn]] void EndProcess(int status);
