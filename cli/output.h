// What the console prints: records of listed files on standard output;
// messages, errors and the progress line on standard error.
#pragma once

#include "platform/console.h"
#include "platform/platform.h"
#include "store/file_outcome.h"
#include "store/front_end_text.h"
#include "store/window_services.h"

// "quorvane" or "quorvane-cli", as messages and the help name the program.
extern const PathChar ProgramName[];

// ASCII text in the system's own strings.
PathString Widen(const char* ascii);

void PrintText(ConsoleChannel channel, const PathString& text);
// word, two blanks, path, then a line feed; escaped as cli/record_text.h
// says where the path would break the line (raw with -0, ending in NUL).
// With --json one JSON object a line instead, with the reason when given.
void PrintRecord(const PathChar* word, const PathString& path, const PathString& reason = PathString());
// The word of a verdict in records ("altered", "stale-record", ...).
const PathChar* VerdictWord(Verdict verdict);
// A file's outcome as its record or JSON line (with what was read of the
// file) on standard output and, for a failure or an older version brought
// back, the reason on standard error.
void PrintOutcome(const FileOutcome& outcome);
// One line on standard error.
void PrintMessage(const PathString& line);
// "quorvane: path: reason".
void PrintFileError(const PathString& path, const PathString& reason);
// The system's text for an error, or the store's own reasons in words.
PathString ReasonText(int error);
// The problem, the usage line and a hint; returns ExitUsage.
int PrintUsageError(const PathString& problem);

// The three texts of a progress tick as one line, rewritten in place.
void DrawProgressLine(const ProgressTexts& texts);
void ClearProgressLine();
