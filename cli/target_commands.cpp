// check, list, create, rewrite and remove: the runs of the window on the
// targets of the command line.
#include "cli/commands.h"

#include "cli/command_line.h"
#include "cli/console_run.h"
#include "cli/output.h"
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

static int CheckTargets() {
    SetRecordWords(PT("altered"), nullptr, PT("no-digest"));
    int status = ServeCheckRun(OperationMode::Check);
    if (status != 0) return status;
    PrintClosingText();
    if (!ConsoleRun.lists[AlteredList].empty()) status |= ExitAltered;
    if (!ConsoleRun.lists[UnhashedList].empty()) status |= ExitUnhashed;
    return status | UnreadableStatus();
}

static int ListFiles() {
    SetRecordWords(nullptr, PT("hashed"), PT("no-digest"));
    int status = ServeCheckRun(List);
    if (status != 0) return status;
    PrintClosingText();
    return UnreadableStatus();
}

// A listing finds the files without a digest, the writing run works them off.
static int CreateDigests() {
    SetRecordWords(nullptr, nullptr, nullptr);
    int status = ServeCheckRun(List);
    if (status != 0) return status;
    // A digest that could not be read is not one to write over.
    status = UnreadableStatus();
    if (ConsoleRun.lists[UnhashedList].empty()) {
        PrintClosingText();
        return status;
    }
    if (status != 0) PrintClosingText();
    SetRecordWords(nullptr, PT("written"), nullptr);
    int written = ServeWriteRun(Create, UnhashedList);
    if (written != 0) return written;
    if (CountLeftovers(UnhashedList) != 0) status |= ExitFailed;
    PrintWritingClosingText(status != 0);
    return status;
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
    if (!ValidateTargets(CommandOptions.operands)) return ExitNoTarget;
    OperationState.OneFileSystem = CommandOptions.oneFileSystem;
    ConsoleRun.showProgress =
        !CommandOptions.quiet && (CommandOptions.progress || ChannelIsTerminal(StandardError));
    OperationState.TotalSkipped = !ConsoleRun.showProgress;
    OperationState.HashThreads = CommandOptions.jobs != 0 ? CommandOptions.jobs : ProcessorCount();
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
        default:
            return RemoveDigests();
    }
}
