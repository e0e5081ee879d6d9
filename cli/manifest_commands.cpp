// export and import around their runs: the manifest read and keyed, the
// output opened, and export's lines (the files left out named on standard
// error instead).
#include "cli/manifest_commands.h"

#include <string>

#include "cli/command_line.h"
#include "cli/console_run.h"
#include "cli/output.h"
#include "platform/console.h"
#include "store/manifest_run.h"
#include "store/path_rules.h"

// Far more than any manifest of a tree; a file past it is none.
const size_t ManifestLimit = size_t(1) << 30;

static PathString FileSystemPath(const PathString& given) {
    PathString full = MakeAbsolutePath(given);
    return UsesPathAsGiven(full.c_str()) ? full : PathString(LongPathPrefix) + full;
}

// The whole manifest, or standard input for "-"; 0, or the platform's error.
static int ReadManifestBytes(const PathString& given, std::string* bytes) {
    if (given == PT("-")) return ReadStandardInput(ManifestLimit, bytes) ? 0 : LastPlatformError();
    FileHandle file = OpenFileForReading(FileSystemPath(given).c_str());
    if (file == NoFile) return LastPlatformError();
    char piece[65536];
    uint32_t got;
    ClearPlatformError();
    while (bytes->size() <= ManifestLimit && (got = ReadFileChunk(file, piece, sizeof piece)) > 0) {
        bytes->append(piece, got);
    }
    int error = LastPlatformError();
    CloseFile(file);
    return error;
}

int PrepareManifestCommand() {
    PathString base = CommandOptions.relativeTo.empty() ? PathString(PT(".")) : CommandOptions.relativeTo;
    // A file there would leave its own line without a path.
    if (QueryPathKind(FileSystemPath(base).c_str()) == PathFile) {
        return PrintUsageError(PT("--relative-to names a file: it takes a folder"));
    }
    ResetManifestRun(base);
    std::vector<PathString>& operands = CommandOptions.operands;
    if (CommandOptions.command == ImportCommand) {
        PathString manifest = operands.front();
        operands.erase(operands.begin());
        if (NameSaysOtherHash(manifest)) {
            PrintFileError(manifest, PT("its name says another algorithm than Whirlpool: nothing imported"));
            return ExitBadManifest;
        }
        std::string bytes;
        int error = ReadManifestBytes(manifest, &bytes);
        if (error != 0 || bytes.size() > ManifestLimit) {
            PrintFileError(manifest, error != 0 ? ReasonText(error) : PathString(PT("larger than 1 GiB: no manifest")));
            return QueryPathKind(FileSystemPath(manifest).c_str()) == PathMissing ? ExitNoTarget : ExitFailed;
        }
        ManifestProblem problem;
        if (!LoadManifest(bytes.data(), bytes.size(), &problem)) {
            PrintFileError(manifest, PT("line ") + Widen(std::to_string(problem.line).c_str()) + PT(": ") +
                                         Widen(ManifestErrorText(problem.error)));
            return ExitBadManifest;
        }
        if (manifest != PT("-")) ManifestRun.ownPath = CleanRunPath(MakeAbsolutePath(manifest));
    }
    // Without a target, the folder the paths are relative to. Targets are
    // taken as clean paths, as the manifest's are: the walk's paths then are.
    if (operands.empty()) operands.push_back(base);
    for (PathString& operand : operands) {
        // An empty target names nothing, and must not become the root.
        if (!operand.empty()) operand = CleanRunPath(MakeAbsolutePath(operand));
    }
    return 0;
}

// Export's names that its format cannot hold.
static int UnwritableNames;

// The path as the manifest names it: below the base as it is, else the long way.
static PathString ManifestPathOf(const PathChar* text) {
    const PathString& base = ManifestRun.base;
    PathString path = text;
    bool root = !base.empty() && base.back() == PathSeparator;
    if (path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
        (root || path[base.size()] == PathSeparator)) {
        path.erase(0, base.size() + (root ? 0 : 1));
        for (PathChar& c : path) {
            if (c == PathChar('\\') && ManifestRun.windowsRules) c = PathChar('/');
        }
        return path;
    }
    return RelativeManifestPath(base, CleanRunPath(path), ManifestRun.windowsRules);
}

// Why a file is not in the manifest.
static PathString LeftOutBecause(const FileOutcome& outcome) {
    switch (outcome.verdict) {
        case VerdictNoDigest:
            return PT("no digest");
        case VerdictMalformed:
            return PT("malformed digest");
        case VerdictAltered:
            return PT("its contents differ from its digest");
        case VerdictEdited:
            return PT("edited since its digest was written");
        default:
            return ReasonText(outcome.reason);
    }
}

// A matched file is a line of the manifest; one whose contents were
// confirmed while its record is out of step is one too, and named; any
// other file is named as left out.
static void PrintManifestOutcome(const FileOutcome& outcome) {
    const FileJudgement* judgement = outcome.judgement;
    bool confirmed = outcome.verdict == VerdictMatched ||
                     (outcome.verdict == VerdictStaleRecord && judgement != nullptr && judgement->hashed);
    if (!confirmed) {
        PrintFileError(outcome.text, PT("left out: ") + LeftOutBecause(outcome));
        return;
    }
    PathString path = ManifestPathOf(outcome.text);
    PathString line;
    if (!AppendManifestLine(static_cast<ManifestFormat>(CommandOptions.format), judgement->stored.bytes,
                            judgement->facts.size, path.data(), static_cast<int>(path.size()), &line)) {
        ++UnwritableNames;
        PrintFileError(outcome.text, PT("left out: its name cannot be written in this format"));
        return;
    }
    // A line on the terminal that shows the progress line goes on a clean line.
    static const bool outputIsTerminal = ChannelIsTerminal(StandardOutput);
    if (outputIsTerminal) ClearProgressLine();
    PrintText(StandardOutput, line);
    if (outcome.verdict != VerdictMatched) PrintFileError(outcome.text, ReasonText(outcome.reason));
}

int StartManifestOutput() {
    // "-" is standard output, as for the pattern and manifest files.
    bool toFile = !CommandOptions.output.empty() && CommandOptions.output != PT("-");
    if (toFile && !RedirectStandardOutput(FileSystemPath(CommandOptions.output).c_str())) {
        PrintFileError(CommandOptions.output, ReasonText(LastPlatformError()));
        return ExitFailed;
    }
    // A manifest written into the tree it lists does not list itself.
    ManifestRun.ownKnown = StandardOutputIdentity(&ManifestRun.own);
    PrintText(StandardOutput, Widen(ManifestHeader(static_cast<ManifestFormat>(CommandOptions.format))));
    ConsoleRun.printOutcome = PrintManifestOutcome;
    UnwritableNames = 0;
    return 0;
}

int FinishManifestOutput() { return UnwritableNames != 0 ? ExitFailed : 0; }
