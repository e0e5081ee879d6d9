#include "tests/store/recording_services.h"

#include <mutex>

#include "store/store.h"

RecordedRun Recorded;
static std::mutex RecordLock;
static GateHandle RunClosedGate;

void ResetRecording(bool keepLists) {
    std::lock_guard<std::mutex> hold(RecordLock);
    std::vector<PathString> kept[3];
    for (int i = 0; i < 3; ++i) kept[i] = Recorded.lists[i];
    Recorded = RecordedRun();
    if (keepLists) {
        for (int i = 0; i < 3; ++i) Recorded.lists[i] = kept[i];
    }
    InitOperationState();
    if (!RunClosedGate) RunClosedGate = CreateGate(true, false);
    ResetGate(RunClosedGate);
}

bool WaitForClose(uint32_t milliseconds) { return WaitGateFor(RunClosedGate, milliseconds); }

bool RunAndWait(OperationMode mode, uint32_t milliseconds) {
    ResetGate(RunClosedGate);
    OperationState.mode = mode;
    if (!StartCheckRun()) return false;
    return WaitForClose(milliseconds);
}

bool RunWriteAndWait(OperationMode mode, ResultList source, uint32_t milliseconds) {
    ResetGate(RunClosedGate);
    OperationState.mode = mode;
    if (!StartWriteRun(source)) return false;
    return WaitForClose(milliseconds);
}

std::vector<PathString> ListSnapshot(ResultList list) {
    std::lock_guard<std::mutex> hold(RecordLock);
    return Recorded.lists[list];
}

static void Note(const char* event) { Recorded.events.push_back(event); }

void SetStatusText(const PathChar* text) {
    std::lock_guard<std::mutex> hold(RecordLock);
    Recorded.statusTexts.push_back(text);
}

void ListClear(ResultList list) {
    std::lock_guard<std::mutex> hold(RecordLock);
    Note("clear");
    Recorded.lists[list].clear();
}

void ListAppend(ResultList list, const PathChar* text) {
    std::lock_guard<std::mutex> hold(RecordLock);
    Recorded.lists[list].push_back(text);
}

int ListCount(ResultList list) {
    std::lock_guard<std::mutex> hold(RecordLock);
    return static_cast<int>(Recorded.lists[list].size());
}

int ListEntry(ResultList list, int index, PathChar* out, int capacity) {
    std::lock_guard<std::mutex> hold(RecordLock);
    if (index < 0 || index >= static_cast<int>(Recorded.lists[list].size())) return ListEntryPastEnd;
    const PathString& entry = Recorded.lists[list][index];
    int n = static_cast<int>(entry.size());
    if (n > capacity - 1) return ListEntryTooLong;
    entry.copy(out, n);
    out[n] = 0;
    return n;
}

void ListDelete(ResultList list, int index) {
    std::lock_guard<std::mutex> hold(RecordLock);
    Recorded.lists[list].erase(Recorded.lists[list].begin() + index);
}

void EnableStart() {
    std::lock_guard<std::mutex> hold(RecordLock);
    Note("enable start");
    Recorded.startEnabled = true;
}

void SetStartCaption(const PathChar*) {
    std::lock_guard<std::mutex> hold(RecordLock);
    Note("caption");
}

void ClearStatusBar() {
    std::lock_guard<std::mutex> hold(RecordLock);
    Note("clear status bar");
}

void SetProgressTimer(bool running) {
    std::lock_guard<std::mutex> hold(RecordLock);
    Note(running ? "timer on" : "timer off");
}

void CommitOutcome(const FileOutcome& outcome) {
    std::lock_guard<std::mutex> hold(RecordLock);
    if (outcome.verdict == VerdictUnreadable) Recorded.unreadable.push_back(outcome.text);
    Recorded.reports.push_back(RecordedReport{outcome.verdict, outcome.text, outcome.reason});
    int list = ListOfOutcome(static_cast<OperationMode>(OperationState.mode.load()), outcome.verdict);
    if (list >= 0) Recorded.lists[list].push_back(outcome.text);
}

void ShowTargetError(const PathChar* message, const PathChar*, int) {
    std::lock_guard<std::mutex> hold(RecordLock);
    Recorded.targetErrors.push_back(message);
}

void CloseRun(const PathChar* closingText, bool enableStart) {
    {
        std::lock_guard<std::mutex> hold(RecordLock);
        Note("close");
        Recorded.closingText = closingText;
        if (enableStart) Recorded.startEnabled = true;
        Recorded.closed = true;
    }
    OperationState.Paused = 0;
    SetGate(OperationState.PauseGate);
    OperationState.mode = Idle;
    SetGate(RunClosedGate);
}
