#include "cli/command_line.h"

#include <cstdlib>
#include <string>

#include "cli/output.h"
#include "platform/console.h"
#include "store/excludes.h"
#include "store/path_rules.h"
#include "cli/pattern_file.h"
#include "cli/schedule_options.h"
#include "store/schedule.h"

CommandOptionsRecord CommandOptions;

struct CommandName {
    const PathChar* name;
    CommandKind command;
};

static const CommandName CommandNames[] = {
    {PT("check"), CheckCommand},   {PT("list"), ListCommand},     {PT("create"), CreateCommand},
    {PT("rewrite"), RewriteCommand}, {PT("remove"), RemoveCommand}, {PT("update"), UpdateCommand},
    {PT("show"), ShowCommand},
    {PT("digest"), DigestCommand}, {PT("shell"), ShellCommand}, {PT("help"), HelpCommand},     {PT("-h"), HelpCommand},
};

static CommandKind FindCommand(const PathString& word) {
    for (const CommandName& entry : CommandNames) {
        if (word == entry.name) return entry.command;
    }
    return NoCommand;
}

static bool AsksForText() {
    return CommandOptions.command == HelpCommand || CommandOptions.command == VersionCommand;
}

static bool WalksTargets(CommandKind command) {
    return command == CheckCommand || command == ListCommand || command == CreateCommand ||
           command == RewriteCommand || command == RemoveCommand || command == UpdateCommand;
}

#define WALKING_COMMANDS "check, list, create, rewrite, remove and update"

enum OptionKind { FlagOption, JobsOption, ExcludeOption, ExcludeFromOption, HelpOption, VersionOption,
                  SliceOption, OlderThanOption, BudgetOption };

struct OptionName {
    const PathChar* longName;  // without its dashes; null for -0
    PathChar shortName;        // 0 where there is none
    bool takesValue;
    OptionKind kind;
    bool CommandOptionsRecord::*flag;  // what a FlagOption sets
};

static const OptionName OptionNames[] = {
    {nullptr, '0', false, FlagOption, &CommandOptionsRecord::nulRecords},
    {PT("yes"), 0, false, FlagOption, &CommandOptionsRecord::yes},
    {PT("hex"), 0, false, FlagOption, &CommandOptionsRecord::hex},
    {PT("progress"), 0, false, FlagOption, &CommandOptionsRecord::progress},
    {PT("quiet"), 0, false, FlagOption, &CommandOptionsRecord::quiet},
    {PT("one-file-system"), 'x', false, FlagOption, &CommandOptionsRecord::oneFileSystem},
    {PT("json"), 0, false, FlagOption, &CommandOptionsRecord::json},
    {PT("jobs"), 'j', true, JobsOption, nullptr},
    {PT("exclude"), 0, true, ExcludeOption, nullptr},
    {PT("exclude-from"), 0, true, ExcludeFromOption, nullptr},
    {PT("help"), 'h', false, HelpOption, nullptr},
    {PT("version"), 0, false, VersionOption, nullptr},
    {PT("slice"), 0, true, SliceOption, nullptr},
    {PT("older-than"), 0, true, OlderThanOption, nullptr},
    {PT("budget"), 0, true, BudgetOption, nullptr},
    {PT("no-ledger"), 0, false, FlagOption, &CommandOptionsRecord::noLedger},
};

// As getopt_long: the name written out, else the one option it begins;
// null when none, or more than one (then with the problem).
static const OptionName* FindLongOption(const PathString& name, PathString* problem) {
    for (const OptionName& option : OptionNames) {
        if (option.longName && name == option.longName) return &option;
    }
    const OptionName* found = nullptr;
    PathString candidates;
    for (const OptionName& option : OptionNames) {
        if (!option.longName || PathString(option.longName).compare(0, name.size(), name) != 0) continue;
        candidates += (candidates.empty() ? PT("--") : PT(", --")) + PathString(option.longName);
        if (found) *problem = PT("--") + name + PT(" is ambiguous: ") + candidates;
        found = &option;
    }
    return problem->empty() ? found : nullptr;
}

static const OptionName* FindShortOption(PathChar letter) {
    for (const OptionName& option : OptionNames) {
        if (option.shortName != 0 && option.shortName == letter) return &option;
    }
    return nullptr;
}

const int MaxJobs = 256;
static const PathChar JobsUsage[] = PT("-j takes a number of hashing threads from 1 to 256");

static bool TakeJobs(const PathString& text) {
    if (text.empty() || text.size() > 3) return false;
    int jobs = 0;
    for (PathChar c : text) {
        if (c < '0' || c > '9') return false;
        jobs = jobs * 10 + (c - '0');
    }
    if (jobs < 1 || jobs > MaxJobs) return false;
    CommandOptions.jobs = jobs;
    return true;
}

// An option the command has no use for is refused rather than ignored.
static const PathChar* MisplacedOption() {
    CommandKind command = CommandOptions.command;
    const PathChar* schedule = MisplacedScheduleOption();
    if (schedule) return schedule;
    if (CommandOptions.yes && command != RemoveCommand) return PT("--yes belongs to remove");
    if (CommandOptions.hex && command != ShowCommand) return PT("--hex belongs to show");
    if (!WalksTargets(command)) {
        if (CommandOptions.progress || CommandOptions.quiet) {
            return PT("--progress and --quiet belong to " WALKING_COMMANDS);
        }
        if (CommandOptions.oneFileSystem) return PT("-x belongs to " WALKING_COMMANDS);
        if (CommandOptions.jobs != 0) return PT("-j belongs to " WALKING_COMMANDS);
        if (CommandOptions.json) return PT("--json belongs to " WALKING_COMMANDS);
        if (CommandOptions.excludes) return PT("--exclude and --exclude-from belong to " WALKING_COMMANDS);
    }
    if (CommandOptions.json && CommandOptions.nulRecords) return PT("-0 and --json exclude each other");
    if (CommandOptions.progress && CommandOptions.quiet) return PT("--progress and --quiet exclude each other");
    if (CommandOptions.nulRecords && command == ShowCommand && !CommandOptions.hex) {
        return PT("-0 needs --hex with show");
    }
    return nullptr;
}

// The patterns of --exclude and --exclude-from, taken as they come; 0, or
// ExitUsage once the problem has been printed.
static int TakeExclude(OptionKind kind, const PathString& value) {
    PathString problem;
    bool taken;
    if (kind == ExcludeOption) {
        taken = AddExcludePattern(value.c_str(), &problem);
    } else {
        std::string text;
        taken = ReadPatternFile(value, &text, &problem) &&
                AddExcludePatternsFromText(text.data(), text.size(), &problem);
    }
    CommandOptions.excludes = true;
    if (taken) return 0;
    return PrintUsageError((kind == ExcludeOption ? PT("--exclude ") : PT("--exclude-from ")) + value + PT(": ") +
                           problem);
}

// 0, or ExitUsage once the problem has been printed.
static int TakeOption(const OptionName& option, const PathString& value) {
    switch (option.kind) {
        case FlagOption:
            CommandOptions.*option.flag = true;
            break;
        case JobsOption:
            if (!TakeJobs(value)) return PrintUsageError(JobsUsage);
            break;
        case ExcludeOption:
        case ExcludeFromOption:
            return TakeExclude(option.kind, value);
        case HelpOption:
            CommandOptions.command = HelpCommand;
            break;
        case VersionOption:
            CommandOptions.command = VersionCommand;
            break;
        case SliceOption:
        case OlderThanOption:
        case BudgetOption:
            if (!TakeScheduleValue(static_cast<ScheduleOptionKind>(option.kind - SliceOption), value)) {
                return PrintUsageError(ScheduleUsage);
            }
            break;
    }
    return 0;
}

// The value of an option that takes one: the rest of its word, else the
// next argument whatever it looks like; false when there is none.
static bool TakeValue(const std::vector<PathString>& args, const PathString& rest, size_t* at, PathString* value) {
    if (!rest.empty()) {
        *value = rest;
    } else if (*at + 1 < args.size()) {
        *value = args[++*at];
    } else {
        return false;
    }
    return true;
}

// --name, --name=value, --name value, and any unambiguous beginning of name.
static int TakeLongOption(const std::vector<PathString>& args, size_t* at) {
    const PathString& word = args[*at];
    size_t equals = word.find(PathChar('='));
    PathString problem;
    PathString name = word.substr(2, equals == PathString::npos ? equals : equals - 2);
    const OptionName* option = FindLongOption(name, &problem);
    if (!option) return PrintUsageError(problem.empty() ? PT("unknown option '") + word + PT("'") : problem);
    name = PT("--") + PathString(option->longName);
    if (!option->takesValue) {
        if (equals != PathString::npos) return PrintUsageError(name + PT(" takes no value"));
        return TakeOption(*option, PathString());
    }
    PathString value;
    if (equals != PathString::npos) {
        value = word.substr(equals + 1);
    } else if (!TakeValue(args, PathString(), at, &value)) {
        return PrintUsageError(name + PT(" needs a value"));
    }
    return TakeOption(*option, value);
}

// -x, and several in one word (-x0); one that takes a value ends the word:
// -j2, -xj2, or -j 2.
static int TakeShortOptions(const std::vector<PathString>& args, size_t* at) {
    const PathString& word = args[*at];
    for (size_t k = 1; k < word.size(); ++k) {
        const OptionName* option = FindShortOption(word[k]);
        if (!option) return PrintUsageError(PT("unknown option '-") + word.substr(k, 1) + PT("'"));
        PathString value;
        if (option->takesValue && !TakeValue(args, word.substr(k + 1), at, &value)) {
            return PrintUsageError(PT("-") + word.substr(k, 1) + PT(" needs a value"));
        }
        int status = TakeOption(*option, value);
        if (status != 0 || option->takesValue) return status;
        if (AsksForText()) return 0;
    }
    return 0;
}

// The command is the first word (or --help, -h, --version, the long ones
// abbreviated); then options and operands in any order, as getopt_long
// takes them: -- ends the options, - alone is an operand, and with
// POSIXLY_CORRECT set the first operand ends them too.
int ParseCommandLine(const std::vector<PathString>& args) {
    CommandOptions = CommandOptionsRecord();
    Schedule = ScheduleRecord();
    ClearExcludePatterns();
    if (args.empty()) return PrintUsageError(PT("no command given"));
    CommandOptions.command = FindCommand(args[0]);
    PathString unused;
    const OptionName* first =
        args[0].compare(0, 2, PT("--")) == 0 ? FindLongOption(args[0].substr(2), &unused) : nullptr;
    if (first && (first->kind == HelpOption || first->kind == VersionOption)) TakeOption(*first, PathString());
    if (CommandOptions.command == NoCommand) return PrintUsageError(PT("unknown command '") + args[0] + PT("'"));
    if (AsksForText()) return 0;

    bool optionsEnded = false;
    const bool operandEndsOptions = std::getenv("POSIXLY_CORRECT") != nullptr;
    for (size_t i = 1; i < args.size(); ++i) {
        const PathString& word = args[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            CommandOptions.operands.push_back(word);
            optionsEnded = optionsEnded || operandEndsOptions;
            continue;
        }
        if (word == PT("--")) {
            optionsEnded = true;
            continue;
        }
        int status = word[1] == '-' ? TakeLongOption(args, &i) : TakeShortOptions(args, &i);
        if (status != 0) return status;
        if (AsksForText()) return 0;
    }
    const PathChar* misplaced = MisplacedOption();
    if (misplaced) return PrintUsageError(misplaced);
    if (CommandOptions.command == ShellCommand && CommandOptions.operands.size() != 1) {
        return PrintUsageError(PT("shell takes one of register, unregister and status"));
    }
    if (CommandOptions.operands.empty()) {
        return PrintUsageError(WalksTargets(CommandOptions.command) ? PT("no target given") : PT("no file given"));
    }
    return 0;
}

static const char HelpText[] =
    " COMMAND [OPTIONS] TARGET...\n"
    "Keeps the Whirlpool-512 digest of each file with the file and finds the files\n"
    "whose contents changed since.\n"
    "\n"
    "Commands:\n"
    "  check TARGET...    recomputes the digests and compares them with the stored\n"
    "                     ones; lists altered and edited files and files without a\n"
    "                     digest\n"
    "  list TARGET...     sorts the files into those with and without a digest,\n"
    "                     without reading their contents\n"
    "  create TARGET...   writes digests for the files that have none\n"
    "  update TARGET...   writes digests for the files that have none and for the\n"
    "                     edited ones, and new records where only they no longer\n"
    "                     fit; leaves altered and malformed digests to rewrite\n"
    "  rewrite TARGET...  checks, then writes new digests for the altered and\n"
    "                     edited files only\n"
    "  remove TARGET...   deletes the digests (asks first on a terminal)\n"
    "  show FILE...       prints the stored digest of each file and its record\n"
    "  digest FILE...     prints the digest of each file's contents\n"
    "  shell ACTION       Windows: register adds Explorer's Send To entry and a\n"
    "                     folder verb for this user, starting the window beside\n"
    "                     this program; unregister deletes them; status tells\n"
    "                     what is registered\n"
    "  help               prints this text\n"
    "\n"
    "Each TARGET is one file or folder, one argument each; folders are walked\n"
    "with everything they contain. A target that is a symbolic link is followed,\n"
    "links met inside folders are not. A missing target is named, and the others\n"
    "are still walked.\n"
    "\n"
    "Options come before or after the targets, as GNU getopt_long takes them:\n"
    "short ones bundle (-x0, -xj4, -j4, -j 4), long ones take their value after\n"
    "= or as the next word (--jobs=4, --jobs 4) and may be shortened while they\n"
    "stay unambiguous (--one). '--' ends the options; with POSIXLY_CORRECT set,\n"
    "so does the first target.\n"
    "\n"
    "Options:\n"
    "  -0          ends each listed file with NUL instead of a line feed\n"
    "  --json      one JSON object a line instead of each listed file: the path,\n"
    "              the word, the reason, and for check and update the digests,\n"
    "              the size and the last-write time\n"
    "  --exclude PATTERN\n"
    "              leaves out what PATTERN matches, a glob as rsync and\n"
    "              .gitignore know them (*, ?, [...], **): with a slash it matches\n"
    "              the path below the target, without one any name; a trailing\n"
    "              slash matches folders only\n"
    "  --exclude-from FILE\n"
    "              the patterns of FILE, one a line; # begins a comment; - reads\n"
    "              them from standard input\n"
    "  --yes       remove: deletes without asking\n"
    "  --hex       show: one line a file, 128 hex digits, two blanks and the path\n"
    "  --progress  shows the progress line even when standard error is no terminal\n"
    "  --quiet     shows neither the progress line nor the closing message\n"
    "  -x, --one-file-system\n"
    "              stays on the file system of each target\n"
    "  -j N, --jobs N\n"
    "              hashes with N threads at once (default: one per processor; on\n"
    "              Windows one where every target lies on a disk that reports a\n"
    "              seek penalty); the output is the same in any case\n"
    "  --help      prints this text\n"
    "  --version   prints the version\n";

static const char HelpTextAfterOptions[] =
    "\n"
    "Each listed file is one line: a word, two blanks and the path (a path that\n"
    "would break the line is escaped as sha256sum escapes it). The words:\n"
    "altered (other contents, and the file's size and last-write time as they\n"
    "were when it was hashed: silent change), edited (other contents, written\n"
    "since it was hashed), no-digest, hashed, written, updated (edited, and its\n"
    "digest written anew), stale-record (the contents match, but the file's\n"
    "last-write time or size moved since its record was written, or no record\n"
    "fits the digest: update renews it), refreshed (its record written anew),\n"
    "not-written, removed (a digest deleted), not-removed, unreadable, changed\n"
    "(changed while it was read: nothing written, nothing compared), malformed\n"
    "(a stored value that is no 64-byte digest). The reason of each failure\n"
    "(its path escaped alike) and the closing message go to standard error.\n"
    "\n"
    "Ctrl-C aborts a run, finishing a digest write under way and beginning none.\n"
    "Where the shell has job control, Ctrl-Z pauses a run and fg resumes it.\n"
    "\n"
    "Exit status, the first five added up:\n"
    "  1  altered files (or malformed digests)\n"
    "  2  files without a digest (check; update: files that got their first)\n"
    "  4  files that could not be read, written or deleted (a missing target or\n"
    "     file among others too, or standard output that could not be written)\n"
    "  8  edited files (check, update)\n"
    " 16  records out of step with their files (check)\n"
    " 64  usage error\n"
    " 66  none of the targets (show, digest: files) exists\n"
    "130  interrupted\n";

void PrintHelp() {
    PrintText(StandardOutput, PathString(PT("Usage: ")) + ProgramName + Widen(HelpText) + Widen(ScheduleHelpText) +
                                  Widen(HelpTextAfterOptions));
}

void PrintVersion() { PrintText(StandardOutput, Widen(QUORVANE_VERSION "\n")); }
