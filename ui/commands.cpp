// The command side of the main window: what each button does, the change
// notification of the target field, and the enabling rules around a run.
#include <windows.h>

#include <commctrl.h>

#include "store/hash_threads.h"
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
    EnableWindow(Controls.RewriteButton, altered != 0);
    EnableWindow(Controls.ShowAlteredButton, altered != 0);
    int unhashed = static_cast<int>(SendMessageW(Controls.UnhashedList, LB_GETCOUNT, 0, 0));
    OperationState.UnhashedCount = unhashed;
    EnableWindow(Controls.CreateButton, unhashed != 0);
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

// Rewrite Hashes (Rewrite, from AlteredList) and Create Hashes (Create, from
// UnhashedList).
static void WriteRunCommand(OperationMode mode, ResultList source) {
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
        default:
            return FALSE;
    }
}
