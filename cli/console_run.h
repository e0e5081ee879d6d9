// The console's side of a run: the three result lists, which the worker
// keeps and prints from itself through the window services, while the main
// thread ticks the progress line and watches the signals.
//
// Threads: the main thread parses, starts one worker per run (CheckRun or
// WriteRun) and serves it until it ends; the worker calls the window services
// on its own thread, and its hashing threads (store/hash_pool.h) call none.
// Lists, counters and both output channels belong to whoever holds the
// console's lock, so a record never interleaves with the progress line. The
// main thread waits on the lock's condition, at most a tenth of a second at a
// time; the worker waits only for the lock, except after Ctrl-C, when it halts
// for good at its next service call that reports no written digest.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "store/file_outcome.h"
#include "store/operation_state.h"
#include "store/window_services.h"

struct ConsoleRunRecord {
    // The worker's while a run is under way; read them once it has returned.
    std::vector<PathString> lists[3];
    // The verdicts of the run that print no record, one bit each.
    uint32_t silent;
    // How the told outcomes are printed: PrintOutcome where null.
    void (*printOutcome)(const FileOutcome& outcome);
    bool showProgress;
    PathString closingText;
};

extern ConsoleRunRecord ConsoleRun;

// Once before the first run: the signal handlers.
void PrepareConsoleRuns();
// The verdicts of the next run that are told (bit v for Verdict v).
void SetToldVerdicts(uint32_t told);
// While set, Ctrl-C ends the process at once (130): a run waiting for
// another's ledger has begun nothing, and that one may never end.
void InterruptEndsProcess(bool ends);

// Start the run of the given mode and serve it until its worker has ended: 0,
// or ExitInterrupted after Ctrl-C (nothing half written, every digest written
// reported), or ExitFailed when no worker could be started.
int ServeCheckRun(OperationMode mode);
int ServeWriteRun(OperationMode mode, ResultList source);
