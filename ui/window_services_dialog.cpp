// The window services of the dialog. A worker's request becomes one
// synchronous message to MainWindow, carried out by the dialog procedure on
// the UI thread in order with the window's own changes; on the UI thread
// itself the message is a direct call.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <string>

#include "store/file_outcome.h"
#include "store/operation_state.h"
#include "store/window_services.h"
#include "ui/window.h"

enum WindowService : UINT {
    ServiceSetStatusText = WM_APP + 1,
    ServiceListClear,
    ServiceListAppend,
    ServiceListCount,
    ServiceListEntry,
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

struct ListEntryRequest {
    int index;
    PathChar* out;
    int capacity;
    // Stays -1 (past the end) when the window is gone, so that a worker still
    // running after Exit finds its list ended rather than empty entries.
    int result;
};

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

void SetStatusText(const PathChar* text) {
    if (NamingFiles.load()) Request(ServiceSetStatusText, 0, reinterpret_cast<LPARAM>(text));
}
void ListClear(ResultList list) { Request(ServiceListClear, list, 0); }
void ListAppend(ResultList list, const PathChar* text) {
    Request(ServiceListAppend, list, reinterpret_cast<LPARAM>(text));
}
int ListCount(ResultList list) { return static_cast<int>(Request(ServiceListCount, list, 0)); }

int ListEntry(ResultList list, int index, PathChar* out, int capacity) {
    ListEntryRequest request = {index, out, capacity, -1};
    Request(ServiceListEntry, list, reinterpret_cast<LPARAM>(&request));
    return request.result;
}

void ListDelete(ResultList list, int index) { Request(ServiceListDelete, list, index); }
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

// LB_GETTEXT has no bound of its own: an entry that does not fit is refused.
static void CopyListEntry(HWND list, ListEntryRequest* request) {
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, request->index, 0);
    if (length == LB_ERR || request->index < 0) return;
    if (length >= request->capacity) {
        request->result = ListEntryTooLong;
        return;
    }
    LRESULT got = SendMessageW(list, LB_GETTEXT, request->index, reinterpret_cast<LPARAM>(request->out));
    if (got != LB_ERR) request->result = static_cast<int>(got);
}

// A run changes its lists and the status text once a file: each list's redraw
// is held from its first change, and a status text coming within
// StatusTextPeriod of the last one waits, until DrawHeldChanges (each tick).
const ULONGLONG StatusTextPeriod = 250;
static bool ListHeld[3];
static std::wstring WaitingStatus;
static bool StatusWaiting;
static ULONGLONG StatusDrawnAt;

static HWND HoldList(WPARAM list) {
    HWND control = ListControl(list);
    if (control && !ListHeld[list]) {
        SendMessageW(control, WM_SETREDRAW, FALSE, 0);
        ListHeld[list] = true;
    }
    return control;
}

static void ShowStatusText(const wchar_t* text) {
    ULONGLONG now = GetTickCount64();
    StatusWaiting = now - StatusDrawnAt < StatusTextPeriod;
    if (StatusWaiting) {
        WaitingStatus = text;
        return;
    }
    SetWindowTextW(Controls.StatusText, text);
    StatusDrawnAt = now;
}

void DrawHeldChanges() {
    for (int list = 0; list < 3; ++list) {
        if (!ListHeld[list]) continue;
        HWND control = ListControl(list);
        SendMessageW(control, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(control, nullptr, TRUE);
        ListHeld[list] = false;
    }
    if (StatusWaiting) {
        SetWindowTextW(Controls.StatusText, WaitingStatus.c_str());
        StatusDrawnAt = GetTickCount64();
        StatusWaiting = false;
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
            SendMessageW(HoldList(wParam), LB_RESETCONTENT, 0, 0);
            return 0;
        case ServiceListAppend:
            SendMessageW(HoldList(wParam), LB_ADDSTRING, 0, lParam);
            return 0;
        case ServiceListCount:
            return SendMessageW(ListControl(wParam), LB_GETCOUNT, 0, 0);
        case ServiceListEntry:
            CopyListEntry(ListControl(wParam), reinterpret_cast<ListEntryRequest*>(lParam));
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
            HWND control = HoldList(static_cast<WPARAM>(list));
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
