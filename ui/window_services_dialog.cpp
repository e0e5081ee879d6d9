// The window services of the dialog. A worker's request becomes one
// synchronous message to MainWindow, carried out by the dialog procedure on
// the UI thread in order with the window's own changes; on the UI thread
// itself the message is a direct call.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <string>
#include <vector>

#include "store/file_outcome.h"
#include "store/operation_state.h"
#include "store/window_services.h"
#include "ui/window.h"

enum WindowService : UINT {
    ServiceSetStatusText = WM_APP + 1,
    ServiceListClear,
    ServiceListAppend,
    ServiceListCount,
    ServiceListEntries,
    ServiceListDelete,
    ServiceEnableStart,
    ServiceSetStartCaption,
    ServiceClearStatusBar,
    ServiceSetProgressTimer,
    ServiceShowTargetError,
    ServiceCommitOutcome,
    ServiceCloseRun,
    ServiceLast = ServiceCloseRun,
};

// A write run reads its source list an entry a file, twice (the sizes, then
// the writes): the entries come over EntryBatchSize at a time and wait on the
// run's thread while no one but the run itself (by its deletions) has changed
// that list, as ListChanges counts; a new window counts as a change.
const int EntryBatchSize = 256;
static std::atomic<unsigned> ListChanges[3];
struct EntryBatchRecord {
    int list;  // -1: none
    unsigned changes;
    int first;  // the index of entries[0]
    bool toEnd;
    std::vector<std::wstring> entries;
};
// Stays empty when the window is gone, so that a worker still running after
// Exit finds its list ended rather than empty entries.
static EntryBatchRecord Batch = {-1, 0, 0, false, {}};

struct CloseRunRequest {
    const PathChar* closingText;
    bool enableStart;
};

static LRESULT Request(WindowService service, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(MainWindow, service, wParam, lParam);
}

// While hashing threads read, the file a run hands over is not the one being
// read: the status text then says "Processing..." and names no file.
static std::atomic<bool> NamingFiles{true};

// A run changes its lists and the status text once a file: each list's redraw
// is held from its first change, and a status text coming within
// StatusTextPeriod of the last one drawn waits, until DrawHeldChanges (each
// tick). A worker keeps such a text itself, without a message to the window.
const ULONGLONG StatusTextPeriod = 250;
static SRWLOCK StatusLock = SRWLOCK_INIT;
static std::wstring WaitingStatus;
static bool StatusWaiting;
static std::atomic<ULONGLONG> StatusDrawnAt{0};

// False when the text is to be drawn now; else it waits, under StatusLock.
static bool KeepStatusText(const wchar_t* text) {
    AcquireSRWLockExclusive(&StatusLock);
    StatusWaiting = GetTickCount64() - StatusDrawnAt.load() < StatusTextPeriod;
    if (StatusWaiting) WaitingStatus = text;
    bool kept = StatusWaiting;
    ReleaseSRWLockExclusive(&StatusLock);
    return kept;
}

void SetStatusText(const PathChar* text) {
    if (NamingFiles.load() && !KeepStatusText(text)) Request(ServiceSetStatusText, 0, reinterpret_cast<LPARAM>(text));
}
void ListClear(ResultList list) { Request(ServiceListClear, list, 0); }
void ListAppend(ResultList list, const PathChar* text) {
    Request(ServiceListAppend, list, reinterpret_cast<LPARAM>(text));
}
int ListCount(ResultList list) { return static_cast<int>(Request(ServiceListCount, list, 0)); }

static bool BatchHolds(ResultList list, int index) {
    if (Batch.list != list || Batch.changes != ListChanges[list].load() || index < Batch.first) return false;
    return index - Batch.first < static_cast<int>(Batch.entries.size()) || Batch.toEnd;
}

int ListEntry(ResultList list, int index, PathChar* out, int capacity) {
    if (index < 0) return ListEntryPastEnd;
    if (!BatchHolds(list, index)) {
        Batch.list = -1;
        Batch.changes = ListChanges[list].load();
        Batch.first = index;
        Batch.toEnd = false;
        Batch.entries.clear();
        Request(ServiceListEntries, list, reinterpret_cast<LPARAM>(&Batch));
    }
    size_t at = static_cast<size_t>(index - Batch.first);
    if (Batch.list != list || at >= Batch.entries.size()) return ListEntryPastEnd;
    const std::wstring& entry = Batch.entries[at];
    if (entry.size() >= static_cast<size_t>(capacity)) return ListEntryTooLong;
    entry.copy(out, entry.size());
    out[entry.size()] = 0;
    return static_cast<int>(entry.size());
}

// The run's own deletion leaves its batch standing, moved up by one entry.
void ListDelete(ResultList list, int index) {
    if (Batch.list == list && index < Batch.first) {
        --Batch.first;
    } else if (Batch.list == list && static_cast<size_t>(index - Batch.first) < Batch.entries.size()) {
        Batch.entries.erase(Batch.entries.begin() + (index - Batch.first));
    }
    Request(ServiceListDelete, list, index);
}
void EnableStart() { Request(ServiceEnableStart, 0, 0); }
void SetStartCaption(const PathChar* caption) {
    Request(ServiceSetStartCaption, 0, reinterpret_cast<LPARAM>(caption));
}
void ClearStatusBar() { Request(ServiceClearStatusBar, 0, 0); }
void SetProgressTimer(bool running) {
    OperationMode mode = static_cast<OperationMode>(OperationState.mode.load());
    bool pooled = running && OperationState.HashThreads > 1 && mode != List && mode != Remove;
    if (pooled) Request(ServiceSetStatusText, 0, reinterpret_cast<LPARAM>(L"Processing..."));
    NamingFiles = !pooled;
    Request(ServiceSetProgressTimer, running, 0);
}

// A file is told by its list entry alone, and only where it has one: the
// counts of the closing text stay with the run.
void CommitOutcome(const FileOutcome& outcome) {
    if (ListOfOutcome(static_cast<OperationMode>(OperationState.mode.load()), outcome.verdict) < 0) return;
    Request(ServiceCommitOutcome, 0, reinterpret_cast<LPARAM>(&outcome));
}

void ShowTargetError(const PathChar* message, const PathChar*, int) {
    Request(ServiceShowTargetError, 0, reinterpret_cast<LPARAM>(message));
}

void CloseRun(const PathChar* closingText, bool enableStart) {
    CloseRunRequest request = {closingText, enableStart};
    NamingFiles = true;
    Request(ServiceCloseRun, 0, reinterpret_cast<LPARAM>(&request));
}

bool IsWindowServiceMessage(UINT message) { return message >= ServiceSetStatusText && message <= ServiceLast; }

static HWND ListControl(WPARAM list) {
    switch (list) {
        case AlteredList: return Controls.AlteredList;
        case HashedList: return Controls.HashedList;
        case UnhashedList: return Controls.UnhashedList;
    }
    return nullptr;
}

// Up to EntryBatchSize entries from batch->first on. LB_GETTEXT has no bound
// of its own: each entry gets a buffer of the length the list gives.
static void CopyListEntries(WPARAM list, EntryBatchRecord* batch) {
    HWND control = ListControl(list);
    int count = static_cast<int>(SendMessageW(control, LB_GETCOUNT, 0, 0));
    int end = count - batch->first < EntryBatchSize ? count : batch->first + EntryBatchSize;
    int i = batch->first;
    for (; i < end; ++i) {
        LRESULT length = SendMessageW(control, LB_GETTEXTLEN, i, 0);
        if (length == LB_ERR) break;
        std::wstring entry(static_cast<size_t>(length) + 1, L'\0');
        LRESULT got = SendMessageW(control, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&entry[0]));
        if (got == LB_ERR) break;
        entry.resize(static_cast<size_t>(got));
        batch->entries.push_back(std::move(entry));
    }
    batch->toEnd = i >= count;
    batch->list = static_cast<int>(list);
}

void CountNewLists() {
    for (std::atomic<unsigned>& changes : ListChanges) ++changes;
}

static bool ListHeld[3];

static HWND HoldList(WPARAM list) {
    HWND control = ListControl(list);
    if (control && !ListHeld[list]) {
        SendMessageW(control, WM_SETREDRAW, FALSE, 0);
        ListHeld[list] = true;
    }
    return control;
}

static void ShowStatusText(const wchar_t* text) {
    if (KeepStatusText(text)) return;
    SetWindowTextW(Controls.StatusText, text);
    StatusDrawnAt = GetTickCount64();
}

void DrawHeldChanges() {
    for (int list = 0; list < 3; ++list) {
        if (!ListHeld[list]) continue;
        HWND control = ListControl(list);
        SendMessageW(control, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(control, nullptr, TRUE);
        ListHeld[list] = false;
    }
    std::wstring waiting;
    AcquireSRWLockExclusive(&StatusLock);
    bool drawn = StatusWaiting;
    if (drawn) waiting.swap(WaitingStatus);
    StatusWaiting = false;
    ReleaseSRWLockExclusive(&StatusLock);
    if (drawn) {
        SetWindowTextW(Controls.StatusText, waiting.c_str());
        StatusDrawnAt = GetTickCount64();
    }
}

// The end of a run as one step of the UI thread, so that no command (a Start
// click above all) finds the controls restored but the mode not yet Idle.
static void CloseRunOnWindow(const CloseRunRequest& request) {
    ProgressTick();
    KillTimer(MainWindow, ProgressTimerId);
    RestoreCommands();
    if (request.enableStart) EnableWindow(Controls.StartButton, TRUE);
    SetWindowTextW(Controls.StatusText, request.closingText);
    SetTaskbarState(TBPF_NOPROGRESS);
    OperationState.Paused = 0;
    SetGate(OperationState.PauseGate);
    OperationState.mode = Idle;
}

LRESULT CarryOutWindowService(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case ServiceSetStatusText:
            ShowStatusText(reinterpret_cast<const PathChar*>(lParam));
            return 0;
        case ServiceListClear:
            ++ListChanges[wParam];
            SendMessageW(HoldList(wParam), LB_RESETCONTENT, 0, 0);
            return 0;
        case ServiceListAppend:
            ++ListChanges[wParam];
            SendMessageW(HoldList(wParam), LB_ADDSTRING, 0, lParam);
            return 0;
        case ServiceListCount:
            return SendMessageW(ListControl(wParam), LB_GETCOUNT, 0, 0);
        case ServiceListEntries:
            CopyListEntries(wParam, reinterpret_cast<EntryBatchRecord*>(lParam));
            return 0;
        case ServiceListDelete:
            SendMessageW(HoldList(wParam), LB_DELETESTRING, static_cast<WPARAM>(lParam), 0);
            return 0;
        case ServiceEnableStart:
            EnableWindow(Controls.StartButton, TRUE);
            return 0;
        case ServiceSetStartCaption:
            SetWindowTextW(Controls.StartButton, reinterpret_cast<const PathChar*>(lParam));
            return 0;
        case ServiceClearStatusBar:
            ClearStatusBarParts();
            return 0;
        case ServiceSetProgressTimer:
            if (wParam) {
                SetTimer(MainWindow, ProgressTimerId, ProgressTimerPeriod, nullptr);
            } else {
                KillTimer(MainWindow, ProgressTimerId);
            }
            return 0;
        case ServiceShowTargetError:
            // The platform's default caption, an OK button, the error icon.
            MessageBoxW(MainWindow, reinterpret_cast<const PathChar*>(lParam), nullptr, MB_OK | MB_ICONERROR);
            return 0;
        case ServiceCommitOutcome: {
            const FileOutcome& outcome = *reinterpret_cast<const FileOutcome*>(lParam);
            int list = ListOfOutcome(static_cast<OperationMode>(OperationState.mode.load()), outcome.verdict);
            if (list < 0) return 0;
            HWND control = HoldList(static_cast<WPARAM>(list));
            ++ListChanges[list];
            if (list == AlteredList) {
                AppendAlteredEntry(outcome);
            } else {
                SendMessageW(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(outcome.text));
            }
            return 0;
        }
        case ServiceCloseRun:
            CloseRunOnWindow(*reinterpret_cast<const CloseRunRequest*>(lParam));
            return 0;
    }
    return 0;
}
