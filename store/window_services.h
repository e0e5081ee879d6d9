// The runs reach their front end only through these procedures. Each
// executable links exactly one definition of them: the dialog's, the
// console's, or the recording double of the tests. Every call is synchronous:
// it returns when the front end has carried it out (the dialog on its own
// thread, the console on the caller's).
#pragma once

#include "platform/platform.h"

enum ResultList { AlteredList = 0, HashedList = 1, UnhashedList = 2 };

void SetStatusText(const PathChar* text);
void ListClear(ResultList list);
void ListAppend(ResultList list, const PathChar* text);
int ListCount(ResultList list);
// Copies entry index (terminated) into out; its length, ListEntryPastEnd, or
// ListEntryTooLong when it does not fit in capacity units.
const int ListEntryPastEnd = -1;
const int ListEntryTooLong = -2;
int ListEntry(ResultList list, int index, PathChar* out, int capacity);
void ListDelete(ResultList list, int index);
void EnableStart();
void SetStartCaption(const PathChar* caption);
// Empties the three progress fields (and moves the focus to the target field).
void ClearStatusBar();
void SetProgressTimer(bool running);
// One file's outcome (store/file_outcome.h), once for every file a run
// judges, in the order of the walk or list: the front end lists it, marks
// it, names it and counts it as its verdict says.
struct FileOutcome;
void CommitOutcome(const FileOutcome& outcome);
// ParseTargets' message for a target that cannot be looked at (front end's
// thread): the window shows message, the console the target and the reason.
void ShowTargetError(const PathChar* message, const PathChar* target, int error);

// The end of a run as one request, so that no command slips in between its
// steps: final progress tick, timer off, RestoreCommands, StartButton enabled
// when enableStart, the closing text, taskbar progress off, the pause cleared
// (Paused 0, PauseGate set), and mode Idle last.
void CloseRun(const PathChar* closingText, bool enableStart);
