// The worker of Check, List Files and Remove Hashes.
#include "store/operation_state.h"
#include "store/store.h"

// The closing text: a fixed text, or one formatted into buffer.
static const PathChar* ChooseClosingText(OperationMode mode, PathChar* buffer) {
    if (mode == Remove) {
        int left = ListCount(HashedList);
        if (left != 0) {
            FormatCountText(buffer, ClosingTextUnits, "%d hash%s could not be deleted.", left, "es");
            return buffer;
        }
    }
    if (OperationState.UnreadableCount != 0) {
        FormatCountText(buffer, ClosingTextUnits, "%d file%s could not be read.", OperationState.UnreadableCount, "s");
        return buffer;
    }
    if (mode == Check && ListCount(AlteredList) + ListCount(UnhashedList) == 0) {
        return PT("All files checked successfully.");
    }
    return PT("Ready.");
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
        if (!OperationState.TotalSkipped) WalkTargets();
        OperationState.mode = Check;
        EnableStart();
        SetStartCaption(PT("Pause"));
    }
    SetStatusText(PT("Processing..."));
    BeginHashingPhase();
    bool pooled = mode == Check && OperationState.HashThreads > 1;
    if (pooled) StartPooledChecks(OperationState.HashThreads);
    WalkTargets();
    if (pooled) FinishPooledChecks();
    OperationState.TargetArgs.clear();

    PathChar buffer[ClosingTextUnits];
    CloseRun(ChooseClosingText(mode, buffer), true);
    return 0;
}

bool StartCheckRun() {
    if (StartWorker(CheckRun, nullptr)) return true;
    OperationState.mode = Idle;
    return false;
}
