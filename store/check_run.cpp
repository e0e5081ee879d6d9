// The worker of Check, List Files and Remove Hashes, and of the console's
// create, update and import, which write in the walk itself, and export.
#include "store/ledger.h"
#include "store/manifest_run.h"
#include "store/operation_state.h"
#include "store/schedule.h"
#include "store/store.h"

static bool WritesInWalk(OperationMode mode) { return mode == Update || mode == CreateMissing || mode == Import; }

// The closing text, from the outcomes counted: a fixed text, or one
// formatted into buffer.
static const PathChar* ChooseClosingText(OperationMode mode, PathChar* buffer) {
    const int32_t* count = RunTally.count;
    int left = mode == Remove           ? count[VerdictNotRemoved]
               : WritesInWalk(mode)     ? count[VerdictNotWritten] + count[VerdictChanged]
                                        : 0;
    if (left != 0) {
        FormatCountText(mode == Remove ? "%d hash%s could not be deleted." : "%d hash%s could not be written.", left,
                        "es", buffer, ClosingTextUnits);
        return buffer;
    }
    int unread = count[VerdictUnreadable] + (WritesInWalk(mode) ? 0 : count[VerdictChanged]);
    if (unread != 0) {
        FormatCountText("%d file%s could not be read.", unread, "s", buffer, ClosingTextUnits);
        return buffer;
    }
    if (mode != Check) return PT("Ready.");
    int altered = count[VerdictAltered] + count[VerdictEdited] + count[VerdictMalformed];
    // A budget spent left files unchecked: never "All files checked successfully."
    int unchecked = Schedule.budgetSpent ? 1 : 0;
    return FormatCheckClosing(altered, count[VerdictEdited], count[VerdictNoDigest] + unchecked,
                              count[VerdictStaleRecord], buffer);
}

unsigned CheckRun(void*) {
    OperationMode mode = static_cast<OperationMode>(OperationState.mode.load());
    // A check leaves the files-with-hash list alone, a listing or removal the
    // altered list; the runs that write in the walk use all three.
    ResultList first = mode == Check ? AlteredList : HashedList;
    ListClear(first);
    ListClear(UnhashedList);
    if (WritesInWalk(mode)) ListClear(AlteredList);
    if (first == AlteredList) OperationState.AlteredJudged.clear();
    ClearStatusBar();
    ResetRunTally();
    bool reads = mode == Check || mode == ExportVerified || WritesInWalk(mode);
    BeginSchedule();
    // What is due is found before anything is read, to read it oldest first.
    bool scheduled = mode == Check && Schedule.olderThan;
    if (reads) {
        SetStatusText(PT("Calculating total size..."));
        OperationState.BytesTotal = 0;
        if (!OperationState.TotalSkipped || scheduled) WalkTargets(SizePass);
        EnableStart();
        SetStartCaption(PT("Pause"));
    }
    SetStatusText(PT("Processing..."));
    BeginHashingPhase();
    int threads = OperationState.HashThreads;
    bool pooled = reads && threads > 1;
    if (pooled) StartPooledReads(threads);
    int rounds = scheduled ? PlanScheduleRounds() : 1;
    for (int round = 0; round < rounds && SchedulesMoreFiles(); ++round) {
        BeginScheduleRound(round);
        WalkTargets(ActionPass);
    }
    BeginScheduleRound(0);
    if (pooled) FinishPooledReads();
    if (mode == Import) ReportUnmetEntries();
    CloseLedger();
    OperationState.TargetArgs.clear();
    OperationState.ListTargets[first] = OperationState.WalkedTargets;
    OperationState.ListTargets[UnhashedList] = OperationState.WalkedTargets;

    PathChar buffer[ClosingTextUnits];
    CloseRun(ChooseClosingText(mode, buffer), true);
    return 0;
}

bool StartCheckRun() {
    if (StartWorker(CheckRun, nullptr)) return true;
    CloseLedger();
    OperationState.mode = Idle;
    return false;
}
