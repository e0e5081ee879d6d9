#include "cli/console_run.h"

#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/output.h"
#include "store/store.h"
#include "ui/progress_text.h"

ConsoleRunRecord ConsoleRun;

enum RequestKind {
    ClearRequest,
    AppendRequest,
    CountRequest,
    EntryRequest,
    DeleteRequest,
    ClearBarRequest,
    TimerRequest,
    ReportRequest,
    CloseRequest,
};

// The one request in flight: the worker fills it, the main thread carries
// it out and fills in the result, and only then does the worker go on.
struct ServiceRequest {
    RequestKind kind;
    ResultList list;
    const PathChar* text;
    int index;
    PathChar* out;
    int capacity;
    bool flag;
    int result;
    FileReport report;
    int error;
};

static ServiceRequest Request;
static GateHandle RequestReady;  // auto reset
static GateHandle RequestDone;   // auto reset
// The closing worker has taken its last RequestDone: only then may the next
// run's worker start, or it could take that signal for its own.
static GateHandle CloseTaken;    // auto reset
static bool RunClosed;
static bool TimerRunning;
static uint64_t NextTick;
// The main thread carries its own calls out at once; only the worker waits.
static thread_local bool OnServingThread;

const uint32_t PollMilliseconds = 100;
const uint64_t TickInterval = 10000000;  // one second in 100-ns units

static void DrawTick(uint64_t now) {
    ProgressTexts texts;
    uint64_t done, total;
    if (TakeProgressTick(now, &texts, &done, &total) && ConsoleRun.showProgress) DrawProgressLine(texts);
}

static void PrintIfWord(const PathChar* word, const PathChar* path) {
    if (word) PrintRecord(word, path);
}

static void CloseConsoleRun(const PathChar* closingText) {
    DrawTick(SystemTimeNow());
    TimerRunning = false;
    OperationState.AlteredCount = static_cast<int32_t>(ConsoleRun.lists[AlteredList].size());
    OperationState.UnhashedCount = static_cast<int32_t>(ConsoleRun.lists[UnhashedList].size());
    ConsoleRun.closingText = closingText;
    ClearProgressLine();
    OperationState.Paused = 0;
    SetGate(OperationState.PauseGate);
    OperationState.mode = Idle;
    RunClosed = true;
}

static void CarryOutRequest() {
    std::vector<PathString>& list = ConsoleRun.lists[Request.list];
    switch (Request.kind) {
        case ClearRequest:
            list.clear();
            break;
        case AppendRequest:
            list.push_back(Request.text);
            // A file just named by a report of its own is not named again.
            if (!ConsoleRun.namedByReport) PrintIfWord(ConsoleRun.appendWord[Request.list], Request.text);
            ConsoleRun.namedByReport = false;
            break;
        case CountRequest:
            Request.result = static_cast<int>(list.size());
            break;
        case EntryRequest: {
            Request.result = -1;
            if (Request.index < 0 || Request.index >= static_cast<int>(list.size())) break;
            const PathString& entry = list[Request.index];
            int n = static_cast<int>(entry.size());
            if (n > Request.capacity - 1) n = Request.capacity - 1;
            entry.copy(Request.out, n);
            Request.out[n] = 0;
            Request.result = n;
            break;
        }
        case DeleteRequest:
            if (Request.index < 0 || Request.index >= static_cast<int>(list.size())) break;
            PrintIfWord(ConsoleRun.deleteWord[Request.list], list[Request.index].c_str());
            list.erase(list.begin() + Request.index);
            break;
        case ClearBarRequest:
            ClearProgressLine();
            break;
        case TimerRequest:
            TimerRunning = Request.flag;
            NextTick = SystemTimeNow() + TickInterval;
            break;
        case ReportRequest:
            if (Request.report == ReportUnreadable || Request.report == ReportChanged) ConsoleRun.unreadableCount++;
            ConsoleRun.namedByReport = PrintFileReport(Request.report, Request.text, Request.error);
            break;
        case CloseRequest:
            CloseConsoleRun(Request.text);
            break;
    }
}

static void Submit(RequestKind kind, ResultList list) {
    Request.kind = kind;
    Request.list = list;
    if (OnServingThread) {
        CarryOutRequest();
        return;
    }
    SetGate(RequestReady);
    WaitGate(RequestDone);
}

// The window services, as the console carries them out.

// The status text and the Start button have no place on the console.
void SetStatusText(const PathChar*) {}
void EnableStart() {}
void SetStartCaption(const PathChar*) {}

void ListClear(ResultList list) { Submit(ClearRequest, list); }

void ListAppend(ResultList list, const PathChar* text) {
    Request.text = text;
    Submit(AppendRequest, list);
}

int ListCount(ResultList list) {
    Submit(CountRequest, list);
    return Request.result;
}

int ListEntry(ResultList list, int index, PathChar* out, int capacity) {
    Request.index = index;
    Request.out = out;
    Request.capacity = capacity;
    Submit(EntryRequest, list);
    return Request.result;
}

void ListDelete(ResultList list, int index) {
    Request.index = index;
    Submit(DeleteRequest, list);
}

void ClearStatusBar() { Submit(ClearBarRequest, AlteredList); }

void SetProgressTimer(bool running) {
    Request.flag = running;
    Submit(TimerRequest, AlteredList);
}

void ReportFile(FileReport report, const PathChar* displayText, int error) {
    Request.text = displayText;
    Request.report = report;
    Request.error = error;
    Submit(ReportRequest, AlteredList);
}

void ShowTargetError(const PathChar*, const PathChar* target, int error) { PrintFileError(target, ReasonText(error)); }

void CloseRun(const PathChar* closingText, bool) {
    Request.text = closingText;
    Submit(CloseRequest, AlteredList);
    if (!OnServingThread) SetGate(CloseTaken);
}

void PrepareConsoleRuns() {
    OnServingThread = true;
    RequestReady = CreateGate(false, false);
    RequestDone = CreateGate(false, false);
    CloseTaken = CreateGate(false, false);
    InstallRunSignals();
}

void SetRecordWords(const PathChar* altered, const PathChar* hashed, const PathChar* unhashed) {
    ConsoleRun.appendWord[AlteredList] = altered;
    ConsoleRun.appendWord[HashedList] = hashed;
    ConsoleRun.appendWord[UnhashedList] = unhashed;
    for (int i = 0; i < 3; ++i) ConsoleRun.deleteWord[i] = nullptr;
}

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

static int ServeUntilClosed() {
    RunClosed = false;
    TimerRunning = false;
    for (;;) {
        if (WaitGateFor(RequestReady, PollMilliseconds)) {
            CarryOutRequest();
            SetGate(RequestDone);
            if (RunClosed) {
                WaitGate(CloseTaken);
                return 0;
            }
        }
        if (InterruptRequested()) {
            // A digest write under way is finished, none begins; the worker
            // ends with the process.
            RequestExitAndWaitForWrites();
            ClearProgressLine();
            return ExitInterrupted;
        }
        AccountForStop();
        uint64_t now = SystemTimeNow();
        if (TimerRunning && now >= NextTick) {
            DrawTick(now);
            NextTick += TickInterval;
            if (NextTick <= now) NextTick = now + TickInterval;
        }
    }
}

static int FailedStart() {
    PrintMessage(PathString(ProgramName) + PT(": cannot start a worker thread"));
    return ExitFailed;
}

int ServeCheckRun(OperationMode mode) {
    if (InterruptRequested()) return ExitInterrupted;
    OperationState.mode = mode;
    HoldRunSignals();
    bool started = StartCheckRun();
    ReleaseRunSignals();
    return started ? ServeUntilClosed() : FailedStart();
}

int ServeWriteRun(OperationMode mode, ResultList source) {
    if (InterruptRequested()) return ExitInterrupted;
    OperationState.mode = mode;
    HoldRunSignals();
    bool started = StartWriteRun(source);
    ReleaseRunSignals();
    return started ? ServeUntilClosed() : FailedStart();
}
