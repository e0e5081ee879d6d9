// The worker of Check, List Files and Remove Hashes.
#include "store/operation_state.h"
#include "store/store.h"

static void ChooseClosingText(OperationMode mode, PathChar* text) {
    if (mode == Remove) {
        int left = ListCount(HashedList);
        if (left != 0) {
            FormatCountText(text, ClosingTextUnits, "%d hash%s could not be deleted.", left, "es");
            return;
        }
    } else if (OperationState.UnreadableCount != 0) {
        FormatCountText(text, ClosingTextUnits, "%d file%s could not be read.", OperationState.UnreadableCount, "s");
        return;
    } else if (mode == Check && ListCount(AlteredList) + ListCount(UnhashedList) == 0) {
        FormatCountText(text, ClosingTextUnits, "All files checked successfully.", 0, "");
        return;
    }
    FormatCountText(text, ClosingTextUnits, "Ready.", 0, "");
}

unsigned CheckRun(void*) {
    OperationMode mode = static_cast<OperationMode>(OperationState.mode.load());
    // A check leaves the files-with-hash list alone, a listing or removal the
    // altered list.
    ListClear(mode == Check ? AlteredList : HashedList);
    ListClear(UnhashedList);
    ClearStatusBar();
    OperationState.UnreadableCount = 0;
    if (mode == Check) {
        OperationState.mode = SizeScan;
        SetStatusText(PT("Calculating total size..."));
        OperationState.BytesTotal = 0;
        WalkTargets();
        OperationState.mode = Check;
        EnableStart();
        SetStartCaption(PT("Pause"));
    }
    SetStatusText(PT("Processing..."));
    BeginHashingPhase();
    WalkTargets();
    OperationState.TargetArgs.clear();

    PathChar closing[ClosingTextUnits];
    ChooseClosingText(mode, closing);
    CloseRun(closing, true);
    return 0;
}

bool StartCheckRun() {
    if (StartWorker(CheckRun, nullptr)) return true;
    OperationState.mode = Idle;
    return false;
}
