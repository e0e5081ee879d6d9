#include "cli/console_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "cli/command_line.h"
#include "cli/output.h"
#include "engine/hash_file.h"
#include "platform/console.h"
#include "store/store.h"

ConsoleRunRecord ConsoleRun;

// The worker carries the window services out itself, on its own thread: no
// round trip to the main thread per file. Whoever holds ConsoleLock owns the
// lists, the counters and both output channels, so that a record and the
// progress line the main thread draws once a second never interleave.
static std::mutex ConsoleLock;
// Told when the worker ends or halts; the main thread's timed wait on it is
// also its poll of the clock and the signals.
static std::condition_variable WorkerNews;

// All under ConsoleLock.
static bool TimerRunning;
static uint64_t NextTick;
static bool RunClosed;
static bool WorkerEnded;
static bool WorkerHalted;
static bool WriteRunUnderWay;
// Spent slots inside each list, where its last deletion was: a write run
// deletes at the same index again and again (after the entries it could not
// write), and the gap makes each such deletion move nothing.
static size_t GapStart[3];
static size_t GapLength[3];

const uint32_t PollMilliseconds = 100;
const uint64_t TickInterval = 10000000;  // one second in 100-ns units

static size_t EntryCount(ResultList list) { return ConsoleRun.lists[list].size() - GapLength[list]; }

static size_t SlotOf(ResultList list, size_t index) {
    return index < GapStart[list] ? index : index + GapLength[list];
}

// Frees the entry's slot and moves the gap there: as many moves as the
// index lies from the previous deletion.
static void DeleteEntry(ResultList list, size_t index) {
    std::vector<PathString>& slots = ConsoleRun.lists[list];
    size_t start = GapStart[list];
    size_t length = GapLength[list];
    PathString().swap(slots[SlotOf(list, index)]);
    if (index < start) {
        std::move_backward(slots.begin() + index + 1, slots.begin() + start, slots.begin() + start + length);
    } else {
        std::move(slots.begin() + start + length, slots.begin() + index + length, slots.begin() + start);
    }
    GapStart[list] = index;
    GapLength[list] = length + 1;
}

static void CloseGap(ResultList list) {
    std::vector<PathString>& slots = ConsoleRun.lists[list];
    slots.erase(slots.begin() + GapStart[list], slots.begin() + GapStart[list] + GapLength[list]);
    GapStart[list] = 0;
    GapLength[list] = 0;
}

static void ClearEntries(ResultList list) {
    ConsoleRun.lists[list].clear();
    GapStart[list] = 0;
    GapLength[list] = 0;
}

// The interrupt's rule. After Ctrl-C the worker of a write run still carries
// out ListEntry, ListDelete and ListAppend, the reports of a digest it has
// written; at any other call, and at every call of a check run, it halts here
// for good, and the process ends around it. No digest write begins after the
// interrupt, so a write run halts at its next report of a file not written,
// or ends at the write it may no longer begin.
static void HaltIfInterrupted(std::unique_lock<std::mutex>& hold, bool reportsWrite) {
    if (!InterruptRequested() || (reportsWrite && WriteRunUnderWay)) return;
    WorkerHalted = true;
    WorkerNews.notify_all();
    for (;;) WorkerNews.wait(hold);
}

static void DrawTick(uint64_t now) {
    ProgressInput input;
    if (!TakeProgressTick(now, &input) || !ConsoleRun.showProgress) return;
    ProgressTexts texts;
    FormatProgressTick(input, &texts);
    DrawProgressLine(texts);
}

// The window services, as the console carries them out on the worker.

// The status text and the Start button have no place on the console.
void SetStatusText(const PathChar*) {}
void EnableStart() {}
void SetStartCaption(const PathChar*) {}

void ListClear(ResultList list) {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    HaltIfInterrupted(hold, false);
    ClearEntries(list);
}

void ListAppend(ResultList list, const PathChar* text) {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    HaltIfInterrupted(hold, true);
    ConsoleRun.lists[list].push_back(text);
}

static bool WritesDigest(Verdict verdict) {
    return verdict == VerdictWritten || verdict == VerdictUpdated || verdict == VerdictRefreshed ||
           verdict == VerdictRemoved;
}

void CommitOutcome(const FileOutcome& outcome) {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    // A digest written or removed is told like one, after Ctrl-C too.
    HaltIfInterrupted(hold, WritesDigest(outcome.verdict));
    int list = ListOfOutcome(static_cast<OperationMode>(OperationState.mode.load()), outcome.verdict);
    if (list >= 0) ConsoleRun.lists[list].push_back(outcome.text);
    if ((ConsoleRun.silent & (1u << outcome.verdict)) != 0) return;
    (ConsoleRun.printOutcome ? ConsoleRun.printOutcome : PrintOutcome)(outcome);
}

int ListCount(ResultList list) {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    HaltIfInterrupted(hold, false);
    return static_cast<int>(EntryCount(list));
}

int ListEntry(ResultList list, int index, PathChar* out, int capacity) {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    // A write run with hashing threads reads its next entry while digests it
    // wrote may still wait to be reported; it stops at Exit by itself.
    HaltIfInterrupted(hold, true);
    if (index < 0 || static_cast<size_t>(index) >= EntryCount(list)) return ListEntryPastEnd;
    const PathString& entry = ConsoleRun.lists[list][SlotOf(list, index)];
    // Cut short, it would name another file.
    if (entry.size() >= static_cast<size_t>(capacity)) return ListEntryTooLong;
    entry.copy(out, entry.size());
    out[entry.size()] = 0;
    return static_cast<int>(entry.size());
}

void ListDelete(ResultList list, int index) {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    HaltIfInterrupted(hold, true);
    if (index < 0 || static_cast<size_t>(index) >= EntryCount(list)) return;
    DeleteEntry(list, index);
}

void ClearStatusBar() {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    HaltIfInterrupted(hold, false);
    ClearProgressLine();
}

void SetProgressTimer(bool running) {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    HaltIfInterrupted(hold, false);
    TimerRunning = running;
    NextTick = SystemTimeNow() + TickInterval;
}

// Called before any run, on the main thread.
void ShowTargetError(const PathChar*, const PathChar* target, int error) { PrintFileError(target, ReasonText(error)); }

void CloseRun(const PathChar* closingText, bool) {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    HaltIfInterrupted(hold, false);
    DrawTick(SystemTimeNow());
    TimerRunning = false;
    for (int list = 0; list < 3; ++list) CloseGap(static_cast<ResultList>(list));
    ConsoleRun.closingText = closingText;
    ClearProgressLine();
    OperationState.Paused = 0;
    SetGate(OperationState.PauseGate);
    OperationState.mode = Idle;
    RunClosed = true;
}

static std::atomic<bool> EndsAtInterrupt;

void InterruptEndsProcess(bool ends) {
    EndsAtInterrupt = ends;
    // One that came just before is not lost.
    if (ends && InterruptRequested()) std::_Exit(ExitInterrupted);
}

// Ctrl-C: from here on no digest write begins and no hashing reads on, even
// before the main loop wakes.
static void OnRunInterrupt() {
    if (EndsAtInterrupt) std::_Exit(ExitInterrupted);
    OperationState.ExitRequested = 1;
    HashingAbandoned = true;
}

// The console window closes (Windows), and the process with it: a digest
// write under way is finished, and none begins.
static void OnRunEnding() { RequestExitAndWaitForWrites(); }

void PrepareConsoleRuns() { InstallRunSignals(OnRunInterrupt, OnRunEnding); }

void SetToldVerdicts(uint32_t told) { ConsoleRun.silent = ~told; }

// A stop (Ctrl-Z) counts like the window's Pause: the run's times move on by
// its length, so that it is in neither the throughput nor the remaining time.
static void AccountForStop() {
    uint64_t stopped = TakeStoppedTime();
    if (stopped == 0 || !TimerRunning) return;
    uint64_t now = SystemTimeNow();
    MarkPauseStart(now - stopped);
    MoveRunTimesPastPause(now);
    NextTick += stopped;
}

// Ctrl-C: the signal's handler has seen to it that no digest write begins
// and no hashing reads on. Every digest written is reported before the
// process ends, and none is cut short: the worker of a write run is waited
// for until it halts (HaltIfInterrupted) or ends at the write it may no
// longer begin, soon either way. A check run writes nothing and is left at once.
static int StopAtInterrupt(std::unique_lock<std::mutex>& hold) {
    TimerRunning = false;
    ClearProgressLine();
    if (WriteRunUnderWay) {
        while (!WorkerHalted && !WorkerEnded) WorkerNews.wait(hold);
    }
    return ExitInterrupted;
}

// The main thread meanwhile: ticks, stops and Ctrl-C, about ten wakes a second.
static int ServeUntilEnded() {
    std::unique_lock<std::mutex> hold(ConsoleLock);
    for (;;) {
        if (WorkerEnded && RunClosed) return 0;
        // A worker ends unclosed only when ExitRequested stopped its write.
        if (InterruptRequested() || WorkerEnded) return StopAtInterrupt(hold);
        WorkerNews.wait_for(hold, std::chrono::milliseconds(PollMilliseconds));
        AccountForStop();
        uint64_t now = SystemTimeNow();
        if (TimerRunning && now >= NextTick) {
            DrawTick(now);
            NextTick += TickInterval;
            if (NextTick <= now) NextTick = now + TickInterval;
        }
    }
}

// The console starts the runs itself, to learn when the worker has ended: a
// write run that ExitRequested stopped ends without CloseRun.
static void NoteWorkerEnded() {
    std::lock_guard<std::mutex> hold(ConsoleLock);
    WorkerEnded = true;
    WorkerNews.notify_all();
}

static unsigned RunCheckWorker(void*) {
    CheckRun(nullptr);
    NoteWorkerEnded();
    return 0;
}

static unsigned RunWriteWorker(void* source) {
    WriteRun(source);
    NoteWorkerEnded();
    return 0;
}

static int ServeRun(OperationMode mode, WorkerEntry worker, void* parameter, bool writes) {
    if (InterruptRequested()) return ExitInterrupted;
    // The previous worker has ended: nothing else touches these now.
    RunClosed = false;
    WorkerEnded = false;
    WorkerHalted = false;
    TimerRunning = false;
    WriteRunUnderWay = writes;
    OperationState.mode = mode;
    HoldRunSignals();
    WorkerThread thread;
    bool started = StartWorker(worker, parameter, &thread);
    ReleaseRunSignals();
    if (started) {
        int status = ServeUntilEnded();
        // A worker that said it ended still unwinds: the process must not
        // end under it. One halted or still walking after Ctrl-C is left.
        std::unique_lock<std::mutex> hold(ConsoleLock);
        bool ended = WorkerEnded;
        hold.unlock();
        if (ended) AwaitWorker(thread);
        return status;
    }
    OperationState.mode = Idle;
    PrintMessage(PathString(ProgramName) + PT(": cannot start a worker thread"));
    return ExitFailed;
}

// A removal is reported like a digest written: a remove run is waited for, as
// are the runs that write in their walk.
int ServeCheckRun(OperationMode mode) {
    bool writes = mode == Remove || mode == Update || mode == CreateMissing || mode == Import;
    return ServeRun(mode, RunCheckWorker, nullptr, writes);
}

int ServeWriteRun(OperationMode mode, ResultList source) {
    return ServeRun(mode, RunWriteWorker, reinterpret_cast<void*>(static_cast<intptr_t>(source)), true);
}
