// The console's command line: one command, its options, its operands.
#pragma once

#include <vector>

#include "platform/platform.h"

enum CommandKind {
    NoCommand,
    CheckCommand,
    ListCommand,
    CreateCommand,
    RewriteCommand,
    RemoveCommand,
    UpdateCommand,
    ExportCommand,
    ImportCommand,
    ShowCommand,
    DigestCommand,
    ShellCommand,
    HelpCommand,
    VersionCommand,
};

struct CommandOptionsRecord {
    CommandKind command;
    bool nulRecords;  // -0: records end with NUL instead of a line feed
    bool yes;         // remove without asking
    bool hex;         // show as one line of 128 hex digits
    bool progress;    // the progress line also when standard error is no terminal
    bool quiet;       // neither progress line nor closing text
    bool oneFileSystem;  // -x: the walk stays on the file system of each target
    bool json;           // --json: one JSON object a record
    bool excludes;       // --exclude or --exclude-from given (the patterns are the store's)
    int jobs;            // -j: hashing threads; 0 until given
    // export and import: -o (empty: standard output), --relative-to (empty:
    // the current folder), --format (ManifestFormat), --verify.
    PathString output;
    PathString relativeTo;
    int format;
    bool verify;
    // The schedule: its values are the store's (store/schedule.h).
    bool noLedger;       // --no-ledger
    bool slice;          // --slice K/N given
    bool budget;         // --budget given
    PathString olderThan;  // --older-than as typed; empty when not given
    std::vector<PathString> operands;
};

extern CommandOptionsRecord CommandOptions;

// The first five add up; the others stand alone.
const int ExitAltered = 1;
const int ExitUnhashed = 2;
const int ExitFailed = 4;
const int ExitEdited = 8;
const int ExitStaleRecord = 16;
const int ExitUsage = 64;
// import: a manifest with a line that is none of the formats.
const int ExitBadManifest = 65;
// None of the targets (or files of show and digest) exists; one missing
// among others is a file that could not be read.
const int ExitNoTarget = 66;
const int ExitInterrupted = 130;

// Fills CommandOptions; 0, or ExitUsage once the problem has been printed.
int ParseCommandLine(const std::vector<PathString>& args);
void PrintHelp();
void PrintVersion();
