#include "store/operation_state.h"

#include "store/window_services.h"

OperationStateRecord OperationState;

void InitOperationState() {
    OperationState.mode = Idle;
    OperationState.Paused = 0;
    if (!OperationState.PauseGate) OperationState.PauseGate = CreateGate(true, true);
    SetGate(OperationState.PauseGate);
    OperationState.WriteGuard = 0;
    OperationState.ExitRequested = 0;
    OperationState.BytesTotal = 0;
    OperationState.BytesDone = 0;
    OperationState.BytesAtLastTick = 0;
    OperationState.RunStart = 0;
    OperationState.LastTick = 0;
    OperationState.PauseStart = 0;
    OperationState.AlteredCount = 0;
    OperationState.UnhashedCount = 0;
    OperationState.RewriteEditsOnly = false;
    OperationState.OneFileSystem = false;
    OperationState.HashThreads = 1;
    OperationState.TotalSkipped = false;
    OperationState.TargetArgs.clear();
}

void BeginHashingPhase() {
    OperationState.BytesDone = 0;
    OperationState.BytesAtLastTick = 0;
    SetProgressTimer(true);
    uint64_t now = SystemTimeNow();
    OperationState.RunStart = now;
    OperationState.LastTick = now;
}

void MarkPauseStart(uint64_t now) { OperationState.PauseStart = now; }

void MoveRunTimesPastPause(uint64_t now) {
    uint64_t paused = now - OperationState.PauseStart.load();
    OperationState.RunStart += paused;
    OperationState.LastTick += paused;
}

bool TakeProgressTick(uint64_t now, ProgressInput* input) {
    uint64_t done = OperationState.BytesDone.load();
    if (done == 0) return false;
    input->bytesDone = done;
    input->bytesTotal = OperationState.BytesTotal.load();
    input->now = now;
    input->runStart = OperationState.RunStart.load();
    input->lastTick = OperationState.LastTick.load();
    input->bytesAtLastTick = OperationState.BytesAtLastTick.load();
    OperationState.LastTick.store(now);
    OperationState.BytesAtLastTick.store(done);
    return true;
}

bool BeginDigestWrite() {
    OperationState.WriteGuard.fetch_add(1);
    if (OperationState.ExitRequested.load()) {
        OperationState.WriteGuard.fetch_sub(1);
        return false;
    }
    return true;
}

void EndDigestWrite() { OperationState.WriteGuard.fetch_sub(1); }

void RequestExitAndWaitForWrites() {
    OperationState.ExitRequested = 1;
    while (OperationState.WriteGuard.load()) SleepMilliseconds(1);
}
