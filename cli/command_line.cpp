#include "cli/command_line.h"

#include <string>

#include "cli/output.h"
#include "store/excludes.h"
#include "store/path_rules.h"

CommandOptionsRecord CommandOptions;

struct CommandName {
    const PathChar* name;
    CommandKind command;
};

static const CommandName CommandNames[] = {
    {PT("check"), CheckCommand},   {PT("list"), ListCommand},     {PT("create"), CreateCommand},
    {PT("rewrite"), RewriteCommand}, {PT("remove"), RemoveCommand}, {PT("update"), UpdateCommand},
    {PT("show"), ShowCommand},
    {PT("digest"), DigestCommand}, {PT("shell"), ShellCommand}, {PT("help"), HelpCommand},     {PT("--help"), HelpCommand},
    {PT("-h"), HelpCommand},       {PT("--version"), VersionCommand},
};

static CommandKind FindCommand(const PathString& word) {
    for (const CommandName& entry : CommandNames) {
        if (word == entry.name) return entry.command;
    }
    return NoCommand;
}

static bool WalksTargets(CommandKind command) {
    return command == CheckCommand || command == ListCommand || command == CreateCommand ||
           command == RewriteCommand || command == RemoveCommand || command == UpdateCommand;
}

#define WALKING_COMMANDS "check, list, create, rewrite, remove and update"

// Sets the option named by word; false when there is no such option.
static bool TakeOption(const PathString& word) {
    if (word == PT("-0")) {
        CommandOptions.nulRecords = true;
    } else if (word == PT("--yes")) {
        CommandOptions.yes = true;
    } else if (word == PT("--hex")) {
        CommandOptions.hex = true;
    } else if (word == PT("--progress")) {
        CommandOptions.progress = true;
    } else if (word == PT("--quiet")) {
        CommandOptions.quiet = true;
    } else if (word == PT("-x") || word == PT("--one-file-system")) {
        CommandOptions.oneFileSystem = true;
    } else if (word == PT("--json")) {
        CommandOptions.json = true;
    } else {
        return false;
    }
    return true;
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

// More than any list of patterns a person writes: a file past it is no such list.
const size_t PatternFileLimit = 16 << 20;

// A pattern file, whole; false with the reason.
static bool ReadWholeFile(const PathChar* path, std::string* bytes, PathString* problem) {
    PathString full = MakeAbsolutePath(path);
    if (!UsesPathAsGiven(full.c_str())) full.insert(0, LongPathPrefix);
    FileHandle file = OpenFileForReading(full.c_str());
    if (file == NoFile) {
        *problem = ReasonText(LastPlatformError());
        return false;
    }
    char piece[65536];
    uint32_t got;
    ClearPlatformError();
    while (bytes->size() <= PatternFileLimit && (got = ReadFileChunk(file, piece, sizeof piece)) > 0) {
        bytes->append(piece, got);
    }
    int error = LastPlatformError();
    CloseFile(file);
    if (bytes->size() > PatternFileLimit) {
        *problem = PT("larger than 16 MiB: no list of patterns");
        return false;
    }
    if (error != 0) *problem = ReasonText(error);
    return error == 0;
}

// The patterns of --exclude and --exclude-from, taken as they come; false
// once the problem has been printed.
static bool TakeExclude(const PathString& option, const PathString& value) {
    PathString problem;
    bool taken;
    if (option == PT("--exclude")) {
        taken = AddExcludePattern(value.c_str(), &problem);
    } else {
        std::string text;
        taken = ReadWholeFile(value.c_str(), &text, &problem) &&
                AddExcludePatternsFromText(text.data(), text.size(), &problem);
    }
    CommandOptions.excludes = true;
    if (!taken) PrintUsageError(option + PT(" ") + value + PT(": ") + problem);
    return taken;
}

int ParseCommandLine(const std::vector<PathString>& args) {
    CommandOptions = CommandOptionsRecord();
    ClearExcludePatterns();
    if (args.empty()) return PrintUsageError(PT("no command given"));
    CommandOptions.command = FindCommand(args[0]);
    if (CommandOptions.command == NoCommand) return PrintUsageError(PT("unknown command '") + args[0] + PT("'"));
    if (CommandOptions.command == HelpCommand || CommandOptions.command == VersionCommand) return 0;

    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const PathString& word = args[i];
        if (!optionsEnded && word == PT("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && (word == PT("-j") || word == PT("--jobs"))) {
            if (i + 1 == args.size() || !TakeJobs(args[++i])) return PrintUsageError(JobsUsage);
        } else if (!optionsEnded && word.size() > 2 && word.compare(0, 2, PT("-j")) == 0) {
            if (!TakeJobs(word.substr(2))) return PrintUsageError(JobsUsage);
        } else if (!optionsEnded && (word == PT("--exclude") || word == PT("--exclude-from"))) {
            if (i + 1 == args.size()) return PrintUsageError(word + PT(" needs a value"));
            if (!TakeExclude(word, args[++i])) return ExitUsage;
        } else if (!optionsEnded && (word.compare(0, 10, PT("--exclude=")) == 0 ||
                                     word.compare(0, 15, PT("--exclude-from=")) == 0)) {
            size_t equals = word.find(PathChar('='));
            if (!TakeExclude(word.substr(0, equals), word.substr(equals + 1))) return ExitUsage;
        } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
            if (word == PT("--help") || word == PT("-h")) {
                CommandOptions.command = HelpCommand;
                return 0;
            }
            if (!TakeOption(word)) return PrintUsageError(PT("unknown option '") + word + PT("'"));
        } else {
            CommandOptions.operands.push_back(word);
        }
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
    "links met inside folders are not. '--' ends the options.\n"
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
    "              the patterns of FILE, one a line; # begins a comment\n"
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
    "  --version   prints the version\n"
    "\n"
    "Each listed file is one line: a word, two blanks and the path (a path that\n"
    "would break the line is escaped as sha256sum escapes it). The words:\n"
    "altered (other contents, and the file's size and last-write time as they\n"
    "were when it was hashed: silent change), edited (other contents, written\n"
    "since it was hashed), no-digest, hashed, written, updated (edited, and its\n"
    "digest written anew), refreshed (its record written anew), not-written,\n"
    "removed, not-removed, unreadable, changed (changed while it was read:\n"
    "nothing written, nothing compared), malformed (a stored value that is no\n"
    "64-byte digest). The reason of each failure and the closing message go to\n"
    "standard error.\n"
    "\n"
    "Ctrl-C aborts a run, finishing a digest write under way and beginning none.\n"
    "Where the shell has job control, Ctrl-Z pauses a run and fg resumes it.\n"
    "\n"
    "Exit status, the first four added up:\n"
    "  1  altered files (or malformed digests)\n"
    "  2  files without a digest (check; update: files that got their first)\n"
    "  4  files that could not be read, written or deleted (or standard output\n"
    "     that could not be written)\n"
    "     (digest alone: 1 for a file it could not read, as sha256sum)\n"
    "  8  edited files (check, update)\n"
    " 64  usage error\n"
    " 66  a target that does not exist\n"
    "130  interrupted\n";

void PrintHelp() {
    PrintText(StandardOutput, PathString(PT("Usage: ")) + ProgramName + Widen(HelpText));
}

void PrintVersion() { PrintText(StandardOutput, Widen(QUORVANE_VERSION "\n")); }
