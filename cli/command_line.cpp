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
    {PT("export"), ExportCommand}, {PT("import"), ImportCommand},
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
           command == RewriteCommand || command == RemoveCommand || command == UpdateCommand ||
           command == ExportCommand || command == ImportCommand;
}

#define WALKING_COMMANDS "check, list, create, rewrite, remove, update, export and import"

enum OptionKind {
    FlagOption,
    JobsOption,
    ExcludeOption,
    ExcludeFromOption,
    HelpOption,
    VersionOption,
    ManifestOption,  // the value options of export and import
    SliceOption,
    OlderThanOption,
    BudgetOption,
};

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
    {PT("output"), 'o', true, ManifestOption, nullptr},
    {PT("relative-to"), 0, true, ManifestOption, nullptr},
    {PT("format"), 0, true, ManifestOption, nullptr},
    {PT("verify"), 0, false, FlagOption, &CommandOptionsRecord::verify},
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

// -o, --relative-to and --format, by their long names; 0, or ExitUsage once
// the problem has been printed.
static int TakeManifestOption(const PathString& name, const PathString& value) {
    if (name == PT("format")) {
        static const PathChar* const formats[] = {PT("plain"), PT("bsd"), PT("hashdeep")};
        for (int format = 0; format < 3; ++format) {
            if (value == formats[format]) {
                CommandOptions.format = format;
                return 0;
            }
        }
        return PrintUsageError(PT("--format takes plain, bsd or hashdeep"));
    }
    if (value.empty()) return PrintUsageError(PT("--") + name + PT(" needs a path"));
    (name == PT("output") ? CommandOptions.output : CommandOptions.relativeTo) = value;
    return 0;
}

// --exclude-from - took standard input: no manifest is left there.
static bool PatternsReadInput;

static const PathChar* MisplacedManifestOption() {
    CommandKind command = CommandOptions.command;
    const std::vector<PathString>& operands = CommandOptions.operands;
    if (command == ImportCommand && PatternsReadInput && !operands.empty() && operands[0] == PT("-")) {
        return PT("the manifest and --exclude-from cannot both be standard input");
    }
    bool exports = command == ExportCommand;
    if (!exports && (!CommandOptions.output.empty() || CommandOptions.format != 0 || CommandOptions.verify)) {
        return PT("-o, --format and --verify belong to export");
    }
    if (!exports && command != ImportCommand && !CommandOptions.relativeTo.empty()) {
        return PT("--relative-to belongs to export and import");
    }
    // The manifest goes to standard output: no records there.
    if (exports && (CommandOptions.json || CommandOptions.nulRecords)) {
        return PT("export writes no records: no -0, no --json");
    }
    return nullptr;
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
    const PathChar* manifest = MisplacedManifestOption();
    if (manifest) return manifest;
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
        PatternsReadInput = PatternsReadInput || value == PT("-");
        taken = ReadPatternFile(value, &text, &problem) &&
                AddExcludePatternsFromText(text.data(), text.size(), &problem);
    }
    CommandOptions.excludes = true;
    if (taken) return 0;
    PathString option = kind == ExcludeOption ? PT("--exclude") : PT("--exclude-from");
    if (!value.empty()) option += PT(" ") + value;
    return PrintUsageError(option + PT(": ") + problem);
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
        case ManifestOption:
            return TakeManifestOption(option.longName, value);
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
    PatternsReadInput = false;
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
    // export walks the folder its paths are relative to when given no target.
    if (CommandOptions.operands.empty() && CommandOptions.command != ExportCommand) {
        if (CommandOptions.command == ImportCommand) return PrintUsageError(PT("no manifest given"));
        return PrintUsageError(WalksTargets(CommandOptions.command) ? PT("no target given") : PT("no file given"));
    }
    return 0;
}
