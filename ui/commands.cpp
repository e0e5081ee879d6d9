// The command side of the main window: what each button does, the change
// notification of the target field, and the enabling rules around a run.
#include <windows.h>

#include <cstdio>

#include <commctrl.h>

#include "store/hash_threads.h"
#include "store/ledger.h"
#include "store/operation_state.h"
#include "store/path_rules.h"
#include "store/store.h"
#include "ui/resource_ids.h"
#include "ui/target_text.h"
#include "ui/window.h"

static void ShowGroup(HWND label, HWND button, HWND list, bool shown) {
    int how = shown ? SW_SHOWNORMAL : SW_HIDE;
    ShowWindow(label, how);
    ShowWindow(button, how);
    ShowWindow(list, how);
}

void SelectListGroup(bool showHashed) {
    ShowGroup(Controls.AlteredLabel, Controls.RewriteButton, Controls.AlteredList, !showHashed);
    ShowGroup(Controls.HashedLabel, Controls.ShowAlteredButton, Controls.HashedList, showHashed);
}

void DisableCommands() {
    EnableWindow(Controls.ListButton, FALSE);
    EnableWindow(Controls.RemoveButton, FALSE);
    EnableWindow(Controls.RewriteButton, FALSE);
    EnableWindow(Controls.ShowAlteredButton, FALSE);
    EnableWindow(Controls.CreateButton, FALSE);
    EnableWindow(Controls.StartButton, FALSE);
}

void RestoreCommands() {
    EnableWindow(Controls.ListButton, TRUE);
    EnableWindow(Controls.RemoveButton, TRUE);
    int altered = static_cast<int>(SendMessageW(Controls.AlteredList, LB_GETCOUNT, 0, 0));
    OperationState.AlteredCount = altered;
    OperationState.UnhashedCount = static_cast<int>(SendMessageW(Controls.UnhashedList, LB_GETCOUNT, 0, 0));
    EnableWindow(Controls.RewriteButton, OperationState.AlteredCount != 0);
    EnableWindow(Controls.ShowAlteredButton, OperationState.AlteredCount != 0);
    EnableWindow(Controls.CreateButton, OperationState.UnhashedCount != 0);
    SetWindowTextW(Controls.StartButton, L"Start");
}

void ClearStatusBarParts() {
    for (int part = 0; part < 3; ++part) {
        SendMessageW(Controls.StatusBar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(L""));
    }
    SendMessageW(MainWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Controls.TargetEdit), TRUE);
}

// Refreshes TargetText from the field; while idle the three buttons that need
// targets follow whether it is empty. The field's length, or -1 while the
// dialog is not ready.
static int CommandPrologue() {
    if (!DialogReady) return -1;
    int n = GetWindowTextLengthW(Controls.TargetEdit);
    // A field the buffer cannot hold whole (the heap refused) is mirrored as
    // no text at all, so that no run starts on part of the targets.
    bool mirrored = GrowTargetText(n);
    if (mirrored) {
        GetWindowTextW(Controls.TargetEdit, TargetText, TargetCapacity);
    } else if (TargetText) {
        TargetText[0] = 0;
    }
    if (OperationState.mode == Idle) {
        BOOL targets = mirrored && TargetText[0] != 0;
        EnableWindow(Controls.ListButton, targets);
        EnableWindow(Controls.RemoveButton, targets);
        EnableWindow(Controls.StartButton, targets);
    }
    return n;
}

// The run's one worker walks or reads its list and hands the files to this
// many hashing threads, which the volumes of the targets decide.
static void SetHashThreadsFor(const std::vector<PathString>& targets) {
    OperationState.HashThreads = ForcedHashThreads > 0 ? ForcedHashThreads : DefaultHashThreads(targets);
}

// A worker that could not be created leaves the mode Idle; the commands come
// back as after a run so that the window is not stuck.
static void StartOrRestore(bool started) {
    if (started) return;
    RestoreCommands();
    EnableWindow(Controls.StartButton, TRUE);
}

static void Resume() {
    MoveRunTimesPastPause(SystemTimeNow());
    SetWindowTextW(Controls.StartButton, L"Pause");
    SetTaskbarState(TBPF_NORMAL);
    SetGate(OperationState.PauseGate);
    SetTimer(MainWindow, ProgressTimerId, ProgressTimerPeriod, nullptr);
    OperationState.Paused = 0;
}

static void Pause() {
    ResetGate(OperationState.PauseGate);
    KillTimer(MainWindow, ProgressTimerId);
    SetWindowTextW(Controls.StartButton, L"Resume");
    SetTaskbarState(TBPF_PAUSED);
    MarkPauseStart(SystemTimeNow());
    OperationState.Paused = 1;
}

static void StartCommand() {
    if (OperationState.Paused) {
        Resume();
    } else if (OperationState.mode != Idle) {
        Pause();
    } else {
        if (!TargetText || !ParseTargets(TargetText)) return;
        SelectListGroup(false);
        DisableCommands();
        TargetsEdited = 0;
        SetHashThreadsFor(OperationState.TargetArgs);
        // Its full checks count in the console's schedule; another run holding
        // the ledger leaves this one without it. CheckRun closes it.
        int ledgerError;
        OpenLedger(LedgerSkipsWhenBusy, PathString(), nullptr, &ledgerError);
        OperationState.mode = Check;
        StartOrRestore(StartCheckRun());
    }
}

static bool Confirm(const wchar_t* text, const wchar_t* caption) {
    return MessageBoxW(MainWindow, text, caption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Ends the dialog, or false when the user chose to let the run go on.
static bool ExitCommand() {
    if (OperationState.mode != Idle && !Confirm(L"Do you really want to abort the current action?", L"Exit")) {
        return false;
    }
    // From here no new digest write begins, and one under way is finished.
    RequestExitAndWaitForWrites();
    EndDialog(MainWindow, 0);
    return true;
}

// List Files (List) and Remove Hashes (Remove).
static void TargetRunCommand(OperationMode mode) {
    if (mode == Remove && !Confirm(L"Do you really want to delete hashes of these files/folders?", L"Remove Hashes")) {
        return;
    }
    if (!TargetText || !ParseTargets(TargetText)) return;
    SelectListGroup(true);
    DisableCommands();
    TargetsEdited = 0;
    OperationState.mode = mode;
    StartOrRestore(StartCheckRun());
}

// Before Rewrite Hashes blesses contents that changed without an edit: the
// user rewrites the edited files alone (Yes), all (No) or none (Cancel).
// With only edits in the list nothing is asked. False: none.
static bool ChooseRewrite() {
    int all = static_cast<int>(SendMessageW(Controls.AlteredList, LB_GETCOUNT, 0, 0));
    int edits = CountAlteredEdits();
    if (edits == all) return true;
    wchar_t text[512];
    std::swprintf(text, 512,
                  L"%d of the %d altered files changed without an edit: their size and last-write time are as "
                  L"recorded, yet their contents differ. This may be damage, and a new hash would hide it.\n\n"
                  L"Yes: rewrite only the %d edited files.\nNo: rewrite all %d files.\nCancel: rewrite none.",
                  all - edits, all, edits, all);
    int answer = MessageBoxW(MainWindow, text, L"Rewrite Hashes", MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON1);
    if (answer == IDCANCEL || (answer == IDYES && edits == 0)) return false;
    OperationState.RewriteEditsOnly = answer == IDYES;
    return true;
}

// Rewrite Hashes (Rewrite, from AlteredList) and Create Hashes (Create, from
// UnhashedList).
static void WriteRunCommand(OperationMode mode, ResultList source) {
    OperationState.RewriteEditsOnly = false;
    if (source == AlteredList && !ChooseRewrite()) return;
    std::vector<PathString> targets;
    for (const WalkedTarget& target : OperationState.ListTargets[source]) {
        // Said at once, rather than after every file was read in vain.
        PathString path = UsesPathAsGiven(target.path.c_str()) ? target.path : LongPathPrefix + target.path;
        if (!VolumeKeepsStreams(path.c_str())) {
            PathString text = L"The volume of\n" + target.path +
                              L"\nkeeps no named streams (as FAT, exFAT and many network shares): no hash can "
                              L"be stored there.";
            MessageBoxW(MainWindow, text.c_str(), nullptr, MB_OK | MB_ICONERROR);
            return;
        }
        targets.push_back(target.path);
    }
    DisableCommands();
    SetHashThreadsFor(targets);
    OperationState.mode = mode;
    StartOrRestore(StartWriteRun(source));
}

INT_PTR OnCommand(WPARAM wParam, LPARAM) {
    int fieldLength = CommandPrologue();
    if (fieldLength < 0) return FALSE;
    int id = LOWORD(wParam);
    int code = HIWORD(wParam);
    // The buttons that start runs are disabled while one is active; a command
    // that comes anyway must not start a second worker beside it.
    bool idle = OperationState.mode == Idle;
    switch (id) {
        case StartButtonId:
            StartCommand();
            return TRUE;
        case ExitButtonId:
            return ExitCommand() ? FALSE : TRUE;
        case AddButtonId:
            FolderPicker(fieldLength);
            return TRUE;
        case ListButtonId:
            if (idle) TargetRunCommand(List);
            return TRUE;
        case RemoveButtonId:
            if (idle) TargetRunCommand(Remove);
            return TRUE;
        case RewriteButtonId:
            if (idle) WriteRunCommand(Rewrite, AlteredList);
            return TRUE;
        case ShowAlteredButtonId:
            SelectListGroup(false);
            return TRUE;
        case CreateButtonId:
            if (idle) WriteRunCommand(Create, UnhashedList);
            return TRUE;
        case TargetEditId:
            if (code == EN_CHANGE) TargetsEdited = 1;
            return TRUE;
        case HashedListId:
            if (code == LBN_DBLCLK) DigestViewer();
            return TRUE;
        case AlteredListId:
            if (code == LBN_DBLCLK) ShowAlteredDetails();
            return TRUE;
        default:
            return FALSE;
    }
}
