#include "cli/schedule_options.h"

#include "cli/command_line.h"
#include "store/schedule.h"

// The schedule's options, which check alone takes, but for --slice and
// --no-ledger, which update takes too.
const PathChar* MisplacedScheduleOption() {
    CommandKind command = CommandOptions.command;
    bool checks = command == CheckCommand, updates = command == UpdateCommand;
    if ((CommandOptions.slice || CommandOptions.noLedger) && !checks && !updates) {
        return PT("--slice and --no-ledger belong to check and update");
    }
    if ((!CommandOptions.olderThan.empty() || CommandOptions.budget) && !checks) {
        return PT("--older-than and --budget belong to check");
    }
    if (CommandOptions.budget && CommandOptions.olderThan.empty()) {
        return PT("--budget needs --older-than: it spends itself on what is due, oldest first");
    }
    if (CommandOptions.noLedger && !CommandOptions.olderThan.empty()) {
        return PT("--older-than needs the ledger: it excludes --no-ledger");
    }
    return nullptr;
}

// The value of --slice, --older-than or --budget into the store's schedule.
bool TakeScheduleValue(ScheduleOptionKind kind, const PathString& value) {
    switch (kind) {
        case ScheduleSlice:
            CommandOptions.slice = true;
            return ParseSlice(value.c_str(), &Schedule.sliceK, &Schedule.sliceN);
        case ScheduleOlderThan:
            CommandOptions.olderThan = value;
            Schedule.olderThan = true;
            return ParseAge(value.c_str(), &Schedule.periodMinutes);
        default:
            CommandOptions.budget = true;
            return ParseBudget(value.c_str(), &Schedule.budgetMinutes, &Schedule.budgetBytes);
    }
}

const PathChar ScheduleUsage[] =
    PT("--slice takes K/N (1 <= K <= N); --older-than an age such as 90m, 12h, 30d or 2w; --budget an age or ")
    PT("bytes such as 500M, 200G or 2T");

const char ScheduleHelpText[] =
    "  --slice K/N check, update: only the files whose digest falls into slice K\n"
    "              of N (from the digest's first bytes; files without a digest\n"
    "              are in every slice): K = 1..N over N runs covers each once\n"
    "  --older-than AGE\n"
    "              check: only the files the ledger has not seen verified within\n"
    "              AGE (90m, 12h, 30d, 2w) or not at all, oldest first; the\n"
    "              closing message tells how many remain\n"
    "  --budget AMOUNT\n"
    "              check --older-than: begins no file once AMOUNT of time (2h)\n"
    "              or bytes (500M, 200G, 2T) is spent; files begun are finished\n"
    "  --no-ledger check, update: neither reads nor writes the ledger, where\n"
    "              each file verified whole is kept with its size and time\n"
    "\n"
    "check and update keep a ledger outside the tree ($XDG_STATE_HOME/quorvane,\n"
    "by default ~/.local/state/quorvane; on Windows %LOCALAPPDATA%\\Quorvane):\n"
    "when each file was last verified whole, and its size and last-write time\n"
    "then. A file whose contents differ at that same size and time is altered,\n"
    "whatever its record says. Losing the ledger costs only the schedule; one\n"
    "that cannot be written is named once, and the run goes on without it. A\n"
    "second run waits while another holds it.\n";
