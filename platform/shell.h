// Explorer's ways to the window, for the current user alone: a Send To
// shortcut and a verb on folders and drives. Windows only (shell_win32.cpp);
// the verbs' arguments are here so that the window's seeding can be tested
// with them on every system.
#pragma once

#include "platform/platform.h"

// What a verb passes after the window's quoted path; Explorer puts the
// folder in place of %V. A drive root arrives as C:\ and quoted would end in
// \", which the window's splitter reads as an escaped quote; a drive root
// holds no blank, so it goes unquoted. A folder's path never ends in \.
const PathChar FolderVerbArguments[] = PT("\"%V\"");
const PathChar DriveVerbArguments[] = PT("%V");

enum ShellEntry { SendToEntry, FolderVerbEntry, DriveVerbEntry, ShellEntryCount };

struct ShellEntryState {
    PathString place;    // the shortcut's path, or the verb's registry key
    PathString program;  // what it starts; empty when it is not there
    bool present;
    bool programExists;
};

// The full path of the running executable; empty when it cannot be had.
PathString RunningProgramPath();
// Writes (or mends) the three entries so that they start window, a full
// path. 0, or the system error of the first step that failed.
int RegisterShellEntries(const PathChar* window);
// Deletes what RegisterShellEntries writes and tells the shell; states says
// what was there before. 0, or the system error of a step that failed.
int UnregisterShellEntries(ShellEntryState states[ShellEntryCount]);
void QueryShellEntries(ShellEntryState states[ShellEntryCount]);
