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
// What became of a file beyond the lists: the window only counts (the store
// keeps the counts), the console names it, with the reason (a system error
// or one of the platform's own) for the failures.
enum FileReport {
    ReportUnreadable,      // a file or folder that could not be opened or read
    ReportChanged,         // changed while it was read: nothing written
    ReportNotWritten,      // its digest could not be written
    ReportNotRemoved,      // its digest could not be deleted (also listed as hashed)
    ReportMalformed,       // a stored value that is no 64-byte digest; listed next
    ReportEdited,          // other contents, and the record says it was edited; listed next as altered
    ReportUpdated,         // an edited file whose digest was written anew (update)
    ReportRefreshed,       // the same contents, the record beside the digest written anew (update)
};
void ReportFile(FileReport report, const PathChar* displayText, int error);

// What was read of the file the next report or list entry names, for a front
// end that shows it (the console's JSON lines); null where there is nothing.
struct FileDetails {
    const uint8_t* stored;  // storedLength bytes as read
    int storedLength;
    const uint8_t* computed;  // 64 bytes
    const FileFacts* facts;   // size and last-write time as hashed
};
void DescribeFile(const FileDetails& details);
// ParseTargets' message for a target that cannot be looked at (front end's
// thread): the window shows message, the console the target and the reason.
void ShowTargetError(const PathChar* message, const PathChar* target, int error);

// The end of a run as one request, so that no command slips in between its
// steps: final progress tick, timer off, RestoreCommands, StartButton enabled
// when enableStart, the closing text, taskbar progress off, the pause cleared
// (Paused 0, PauseGate set), and mode Idle last.
void CloseRun(const PathChar* closingText, bool enableStart);
