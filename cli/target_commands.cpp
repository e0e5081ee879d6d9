// check, list, create, rewrite and remove: the runs of the window on the
// targets of the command line.
#include "cli/commands.h"

#include "cli/command_line.h"
#include "cli/console_run.h"
#include "cli/output.h"
#include "store/front_end_text.h"
#include "store/hash_threads.h"
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

// Entries a write run left in its list are the files it could not write;
// each was named (not-written or changed) when it failed.
static int CountLeftovers(ResultList list) { return static_cast<int>(ConsoleRun.lists[list].size()); }

static int UnreadableStatus() { return ConsoleRun.unreadableCount != 0 ? ExitFailed : 0; }

// What a check or update found: altered (or malformed) files, edited ones,
// which share the altered list, and files without a digest.
static int FoundStatus(size_t unhashed) {
    int status = ConsoleRun.editedCount + ConsoleRun.updatedCount != 0 ? ExitEdited : 0;
    if (ConsoleRun.lists[AlteredList].size() > static_cast<size_t>(ConsoleRun.editedCount)) status |= ExitAltered;
    if (unhashed != 0) status |= ExitUnhashed;
    return status;
}

static int CheckTargets() {
    SetRecordWords(PT("altered"), nullptr, PT("no-digest"));
    int status = ServeCheckRun(OperationMode::Check);
    if (status != 0) return status;
    PrintClosingText();
    return FoundStatus(ConsoleRun.lists[UnhashedList].size()) | UnreadableStatus();
}

static int ListFiles() {
    SetRecordWords(nullptr, PT("hashed"), PT("no-digest"));
    int status = ServeCheckRun(List);
    if (status != 0) return status;
    PrintClosingText();
    return UnreadableStatus();
}

// The closing of a run that writes in its walk: files it could not read are
// told too where the closing text tells the digests it could not write.
static void PrintWalkClosingText() {
    int unread = OperationState.UnreadableCount;
    if (!CommandOptions.quiet && unread != 0 && CountLeftovers(UnhashedList) != 0) {
        PathChar text[ClosingTextUnits];
        FormatCountText("%d file%s could not be read.", unread, "s", text, ClosingTextUnits);
        PrintMessage(text);
    }
    PrintClosingText();
}

// In one walk: each file without a digest is read and gets one.
static int CreateDigests() {
    SetRecordWords(nullptr, PT("written"), nullptr);
    int status = ServeCheckRun(CreateMissing);
    if (status != 0) return status;
    PrintWalkClosingText();
    return UnreadableStatus() | (CountLeftovers(UnhashedList) != 0 ? ExitFailed : 0);
}

// In one walk: new digests where there are none and for the files the record
// says were edited, new records where only they are out of date; altered and
// malformed digests are left for the user to decide.
static int UpdateDigests() {
    SetRecordWords(PT("altered"), PT("written"), nullptr);
    int status = ServeCheckRun(Update);
    if (status != 0) return status;
    PrintWalkClosingText();
    size_t written = ConsoleRun.lists[HashedList].size() - static_cast<size_t>(ConsoleRun.updatedCount);
    return FoundStatus(written) | UnreadableStatus() | (CountLeftovers(UnhashedList) != 0 ? ExitFailed : 0);
}

// A check finds the altered files; each one rewritten leaves the altered list.
static int RewriteDigests() {
    SetRecordWords(nullptr, nullptr, nullptr);
    int status = ServeCheckRun(OperationMode::Check);
    if (status != 0) return status;
    status = UnreadableStatus();
    if (ConsoleRun.lists[AlteredList].empty()) {
        PrintClosingText();
        return status;
    }
    // The writing run's closing text would hide the files the check could not read.
    if (status != 0) PrintClosingText();
    SetRecordWords(nullptr, nullptr, nullptr);
    ConsoleRun.deleteWord[AlteredList] = PT("written");
    int written = ServeWriteRun(Rewrite, AlteredList);
    if (written != 0) return written;
    bool readingFailed = status != 0;
    // A file whose new digest could not be written is still altered.
    if (CountLeftovers(AlteredList) != 0) status |= ExitAltered | ExitFailed;
    PrintWritingClosingText(readingFailed);
    return status;
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
    SetRecordWords(nullptr, PT("not-removed"), PT("removed"));
    int status = ServeCheckRun(Remove);
    if (status != 0) return status;
    PrintClosingText();
    return ConsoleRun.lists[HashedList].empty() ? UnreadableStatus() : ExitFailed;
}

int RunTargetCommand() {
    CommandKind command = CommandOptions.command;
    // Without a terminal nobody could answer the question.
    if (command == RemoveCommand && !CommandOptions.yes && !InputIsTerminal()) {
        return PrintUsageError(PT("remove asks first; give --yes when standard input is no terminal"));
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
        default:
            return RemoveDigests();
    }
}
