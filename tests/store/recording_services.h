// A front end for the store's tests: it records what the runs ask of the
// window and lets the test wait for the end of a run.
#pragma once

#include <string>
#include <vector>

#include "store/file_outcome.h"
#include "store/operation_state.h"
#include "store/window_services.h"

struct RecordedReport {
    Verdict verdict;
    PathString path;
    int error;
};

struct RecordedRun {
    std::vector<PathString> lists[3];
    std::vector<PathString> statusTexts;
    std::vector<PathString> unreadable;
    std::vector<PathString> targetErrors;
    std::vector<RecordedReport> reports;  // every outcome committed, in order
    std::vector<std::string> events;  // service calls in order, by name
    PathString closingText;
    bool closed;
    bool startEnabled;
};

extern RecordedRun Recorded;

// Fresh state and lists (the lists can be kept to test what a run keeps).
void ResetRecording(bool keepLists);
// Sets the mode, starts the worker and waits until it has closed the run.
// False when it did not close within the time.
bool RunAndWait(OperationMode mode, uint32_t milliseconds = 20000);
bool RunWriteAndWait(OperationMode mode, ResultList source, uint32_t milliseconds = 20000);
bool WaitForClose(uint32_t milliseconds);
std::vector<PathString> ListSnapshot(ResultList list);
