// What differs between the systems' consoles: the arguments, the two output
// channels, terminals, the signals of a run and the end of the process. One
// implementation per system (console_posix.cpp, console_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

// "quorvane" or "quorvane-cli", as messages and the help name the program.
extern const PathChar ProgramName[];

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
bool InputIsTerminal();
// One line of standard input without its line end; false at its end.
bool ReadInputLine(PathString* line);

// The error of the call that just failed; read it before the next call.
int LastSystemError();
PathString SystemErrorText(int error);

// Ctrl-C and termination only set flags: the one the main loop and the
// worker's services poll, OperationState.ExitRequested and HashingAbandoned,
// so that after them no digest write begins and no hashing reads on. Ctrl-Z
// stops the process (POSIX) and the stopped time is handed over afterwards.
void InstallRunSignals();
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
