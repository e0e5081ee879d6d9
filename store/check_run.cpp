// The worker of Check, List Files and Remove Hashes.
#include "store/operation_state.h"
#include "store/store.h"

// The closing text: a fixed text, or one formatted into buffer.
static const PathChar* ChooseClosingText(OperationMode mode, PathChar* buffer) {
    if (mode == Remove) {
        int left = ListCount(HashedList);
        if (left != 0) {
            FormatCountText("%d hash%s could not be deleted.", left, "es", buffer, ClosingTextUnits);
            return buffer;
        }
    }
    if (OperationState.UnreadableCount != 0) {
        FormatCountText("%d file%s could not be read.", OperationState.UnreadableCount, "s", buffer, ClosingTextUnits);
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
    ResultList first = mode == Check ? AlteredList : HashedList;
    ListClear(first);
    ListClear(UnhashedList);
    if (first == AlteredList) OperationState.AlteredJudged.clear();
    ClearStatusBar();
    OperationState.UnreadableCount = 0;
    if (mode == Check) {
        SetStatusText(PT("Calculating total size..."));
        OperationState.BytesTotal = 0;
        if (!OperationState.TotalSkipped) WalkTargets(SizePass);
        EnableStart();
        SetStartCaption(PT("Pause"));
    }
    SetStatusText(PT("Processing..."));
    BeginHashingPhase();
    bool pooled = mode == Check && OperationState.HashThreads > 1;
    if (pooled) StartPooledChecks(OperationState.HashThreads);
    WalkTargets(ActionPass);
    if (pooled) FinishPooledChecks();
    OperationState.TargetArgs.clear();
    OperationState.ListTargets[first] = OperationState.WalkedTargets;
    OperationState.ListTargets[UnhashedList] = OperationState.WalkedTargets;

    PathChar buffer[ClosingTextUnits];
    CloseRun(ChooseClosingText(mode, buffer), true);
    return 0;
}

bool StartCheckRun() {
    if (StartWorker(CheckRun, nullptr)) return true;
    OperationState.mode = Idle;
    return false;
}
