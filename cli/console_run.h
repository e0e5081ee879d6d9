// The console's main thread in the part of the window's UI thread: it keeps
// the three result lists, carries out the worker's requests one at a time,
// prints what they mean, ticks the progress line and watches the signals.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "store/operation_state.h"
#include "store/window_services.h"

struct ConsoleRunRecord {
    std::vector<PathString> lists[3];
    // Printed when the worker appends to, or deletes from, list i; null: silent.
    const PathChar* appendWord[3];
    const PathChar* deleteWord[3];
    int unreadableCount;  // files and folders not read, or changed while read
    bool namedByReport;   // the next append is of a file already named
    bool showProgress;
    PathString closingText;
};

extern ConsoleRunRecord ConsoleRun;

// Once before the first run: the request gates and the signal handlers.
void PrepareConsoleRuns();
void SetRecordWords(const PathChar* altered, const PathChar* hashed, const PathChar* unhashed);

// Start the run of the given mode and serve it until it closes: 0, or
// ExitInterrupted after Ctrl-C (nothing half written), or ExitFailed when
// no worker could be started.
int ServeCheckRun(OperationMode mode);
int ServeWriteRun(OperationMode mode, ResultList source);
