// check, list, create, rewrite and remove: the runs of the window on the
// targets of the command line.
#include "cli/commands.h"

#include <initializer_list>
#include <string>

#include "cli/command_line.h"
#include "cli/console_run.h"
#include "cli/manifest_commands.h"
#include "cli/output.h"
#include "store/file_outcome.h"
#include "store/front_end_text.h"
#include "store/hash_threads.h"
#include "store/ledger.h"
#include "store/schedule.h"
#include "platform/state_file.h"
#include "store/operation_state.h"
#include "store/store.h"

static void PrintClosingText() {
    if (!CommandOptions.quiet) PrintMessage(ConsoleRun.closingText);
}

// The closing text of a writing run after a listing or check that could not
// read every file, whose own closing text told them: "Ready." would pass for
// success then, so only the writing run's failures are told.
static void PrintWritingClosingText(bool readingFailed) {
    if (readingFailed && ConsoleRun.closingText == PT("Ready.")) return;
    PrintClosingText();
}

static uint32_t Told(std::initializer_list<Verdict> verdicts) {
    uint32_t bits = 0;
    for (Verdict verdict : verdicts) bits |= 1u << verdict;
    return bits;
}

// Every verdict but a pass.
static const uint32_t AllTold = ~Told({VerdictMatched, VerdictKept});
// What a run could not do: read, compare, write or delete.
static const uint32_t Failures = Told({VerdictUnreadable, VerdictChanged, VerdictNotWritten, VerdictNotRemoved});

static int Counted(uint32_t verdicts, const RunTallyRecord& tally) {
    int n = 0;
    for (int v = 0; v < VerdictCount; ++v) {
        if (verdicts & (1u << v)) n += tally.count[v];
    }
    return n;
}

// The exit flags of a run's outcomes: each flag stands for its words,
// whichever the command. noDigest: the verdicts flag 2 stands for in it.
static int StatusOf(const RunTallyRecord& tally, uint32_t noDigest) {
    int status = 0;
    if (Counted(Told({VerdictAltered, VerdictMalformed, VerdictConflict}), tally) != 0) status |= ExitAltered;
    if (Counted(noDigest, tally) != 0) status |= ExitUnhashed;
    if (Counted(Failures, tally) != 0) status |= ExitFailed;
    if (Counted(Told({VerdictEdited, VerdictUpdated}), tally) != 0) status |= ExitEdited;
    if (Counted(Told({VerdictStaleRecord}), tally) != 0) status |= ExitStaleRecord;
    return status;
}

static void TellLedgerWait() {
    PrintMessage(PathString(ProgramName) + PT(": another run holds the ledger; waiting until it ends"));
    InterruptEndsProcess(true);
}

static PathString LedgerText() { return PT("the ledger in ") + StateFolderPath(); }

// The ledger for a check or update, or one warning, and the run goes on.
static void TakeLedger() {
    int error;
    LedgerState state = OpenLedger(CommandOptions.noLedger ? LedgerOff : LedgerWaits, PathString(), TellLedgerWait, &error);
    InterruptEndsProcess(false);
    PathString prefix = PathString(ProgramName) + PT(": ");
    if (state == LedgerReadOnly) PrintMessage(prefix + LedgerText() + PT(" is read-only: this run records nothing in it"));
    if (state == LedgerUnusable && StateFolderPath().empty()) {
        PrintMessage(prefix + PT("no state folder for the ledger: the run goes on without it"));
    } else if (state == LedgerUnusable) {
        PrintMessage(prefix + LedgerText() + PT(" cannot be used (") + ReasonText(error) +
                     PT("): the run goes on without it"));
    }
}

static void TellLedgerFailure() {
    if (LedgerFailure() == 0) return;
    PrintMessage(PathString(ProgramName) + PT(": ") + LedgerText() + PT(" could not be written (") +
                 ReasonText(LedgerFailure()) + PT("): the rest of the run went on without it"));
}

static PathString Decimal(uint64_t value) { return Widen(std::to_string(value).c_str()); }

// What --older-than leaves unverified within its period, for a person and,
// with --json, as a last JSON line for a monitoring script.
static void TellRemaining() {
    if (CommandOptions.olderThan.empty()) return;
    uint64_t files = Schedule.dueFiles - Schedule.readFiles, bytes = Schedule.dueBytes - Schedule.readBytes;
    if (CommandOptions.json) {
        PrintText(StandardOutput, PT("{\"remaining_files\":") + Decimal(files) + PT(",\"remaining_bytes\":") +
                                      Decimal(bytes) + PT(",\"older_than_minutes\":") +
                                      Decimal(Schedule.periodMinutes) + PT(",\"budget_spent\":") +
                                      (Schedule.budgetSpent ? PT("true") : PT("false")) + PT("}\n"));
    }
    if (CommandOptions.quiet) return;
    PathString text = Schedule.budgetSpent ? PT("Budget spent: ") : PT("");
    text += Decimal(files) + (files == 1 ? PT(" file (") : PT(" files (")) + Decimal(bytes) + PT(" bytes)") +
            PT(" not verified within ") + CommandOptions.olderThan + PT(" remain.");
    PrintMessage(text);
}

static int CheckTargets() {
    SetToldVerdicts(AllTold);
    TakeLedger();
    int status = ServeCheckRun(OperationMode::Check);
    TellLedgerFailure();
    if (status != 0) return status;
    PrintClosingText();
    TellRemaining();
    return StatusOf(RunTally, Told({VerdictNoDigest}));
}

static int ListFiles() {
    SetToldVerdicts(AllTold);
    int status = ServeCheckRun(List);
    if (status != 0) return status;
    PrintClosingText();
    return StatusOf(RunTally, 0);
}

// The closing of a run that writes in its walk: files it could not read are
// told too where the closing text tells the digests it could not write.
static void PrintWalkClosingText() {
    int unread = RunTally.count[VerdictUnreadable];
    int unwritten = RunTally.count[VerdictNotWritten] + RunTally.count[VerdictChanged];
    if (!CommandOptions.quiet && unread != 0 && unwritten != 0) {
        PathChar text[ClosingTextUnits];
        FormatCountText("%d file%s could not be read.", unread, "s", text, ClosingTextUnits);
        PrintMessage(text);
    }
    PrintClosingText();
}

// In one walk: each file without a digest is read and gets one.
static int CreateDigests() {
    SetToldVerdicts(AllTold);
    int status = ServeCheckRun(CreateMissing);
    if (status != 0) return status;
    PrintWalkClosingText();
    return StatusOf(RunTally, 0);
}

// In one walk: new digests where there are none and for the files the record
// says were edited, new records where only they are out of step; altered and
// malformed digests are left for the user to decide.
static int UpdateDigests() {
    SetToldVerdicts(AllTold);
    TakeLedger();
    int status = ServeCheckRun(Update);
    TellLedgerFailure();
    if (status != 0) return status;
    PrintWalkClosingText();
    return StatusOf(RunTally, Told({VerdictWritten}));
}

// A check finds the altered files; each one rewritten leaves the altered list.
// The check names only the files it could not read and the records out of
// step (which rewrite leaves to update): the others are named by the rewrite.
static int RewriteDigests() {
    SetToldVerdicts(Told({VerdictUnreadable, VerdictChanged, VerdictStaleRecord}));
    int status = ServeCheckRun(OperationMode::Check);
    if (status != 0) return status;
    status = StatusOf(RunTally, 0) & (ExitFailed | ExitStaleRecord);
    if (ConsoleRun.lists[AlteredList].empty()) {
        PrintClosingText();
        return status;
    }
    // The writing run's closing text would hide the files the check could not read.
    bool readingFailed = (status & ExitFailed) != 0;
    if (readingFailed) PrintClosingText();
    SetToldVerdicts(AllTold);
    int written = ServeWriteRun(Rewrite, AlteredList);
    if (written != 0) return written;
    PrintWritingClosingText(readingFailed);
    return status | StatusOf(RunTally, 0);
}

// The stored digests as a manifest, on standard output or in the file of -o;
// each file left out is named on standard error, and flagged by its word.
static int ExportDigests() {
    int status = StartManifestOutput();
    if (status != 0) return status;
    SetToldVerdicts(AllTold | Told({VerdictMatched}));
    status = ServeCheckRun(CommandOptions.verify ? ExportVerified : Export);
    if (status != 0) return status;
    PrintClosingText();
    return FinishManifestOutput() | StatusOf(RunTally, Told({VerdictNoDigest}));
}

// In one walk: each file the manifest names that has no digest is read, and
// gets the manifest's where its contents hash to it.
static int ImportDigests() {
    SetToldVerdicts(AllTold);
    int status = ServeCheckRun(Import);
    if (status != 0) return status;
    PrintWalkClosingText();
    return StatusOf(RunTally, Told({VerdictUnlisted}));
}

static bool ConfirmRemoval() {
    PrintText(StandardError, PT("Do you really want to delete hashes of these files/folders? [y/N] "));
    PathString answer;
    if (!ReadInputLine(&answer)) {
        PrintText(StandardError, PT("\n"));
        return false;
    }
    return answer == PT("y") || answer == PT("Y") || answer == PT("yes") || answer == PT("Yes");
}

static int RemoveDigests() {
    SetToldVerdicts(AllTold);
    int status = ServeCheckRun(Remove);
    if (status != 0) return status;
    PrintClosingText();
    return StatusOf(RunTally, 0);
}

int RunTargetCommand() {
    CommandKind command = CommandOptions.command;
    // Without a terminal nobody could answer the question.
    if (command == RemoveCommand && !CommandOptions.yes && !InputIsTerminal()) {
        return PrintUsageError(PT("remove asks first; give --yes when standard input is no terminal"));
    }
    if (command == ExportCommand || command == ImportCommand) {
        int status = PrepareManifestCommand();
        if (status != 0) return status;
    }
    if (!ValidateConsoleTargets(CommandOptions.operands)) return ExitNoTarget;
    OperationState.OneFileSystem = CommandOptions.oneFileSystem;
    ConsoleRun.showProgress =
        !CommandOptions.quiet && (CommandOptions.progress || ChannelIsTerminal(StandardError));
    OperationState.TotalSkipped = !ConsoleRun.showProgress;
    OperationState.HashThreads =
        CommandOptions.jobs != 0 ? CommandOptions.jobs : DefaultHashThreads(OperationState.TargetArgs);
    if (command == RemoveCommand && !CommandOptions.yes && !ConfirmRemoval()) return 0;
    PrepareConsoleRuns();
    switch (command) {
        case CheckCommand:
            return CheckTargets();
        case ListCommand:
            return ListFiles();
        case CreateCommand:
            return CreateDigests();
        case RewriteCommand:
            return RewriteDigests();
        case UpdateCommand:
            return UpdateDigests();
        case ExportCommand:
            return ExportDigests();
        case ImportCommand:
            return ImportDigests();
        default:
            return RemoveDigests();
    }
}
