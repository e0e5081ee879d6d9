// The console's argument parsing (ParseCommandLine), built from
// cli/command_line.cpp with stand-ins for the printing it asks of
// cli/output.cpp. Input: the arguments after the program name, separated by
// NUL bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/output.h"
#include "tests/fuzz/fuzz_support.h"

const PathChar ProgramName[] = PT("quorvane");
static int UsageErrors;

PathString Widen(const char* ascii) { return PathString(ascii); }
PathString ReasonText(int) { return PT("a reason"); }
void PrintText(ConsoleChannel, const PathString&) {}
bool ReadStandardInput(size_t, std::string* bytes) {
    bytes->append("*.tmp\n");
    return true;
}
int PrintUsageError(const PathString& problem) {
    FUZZ_REQUIRE(!problem.empty());
    ++UsageErrors;
    return ExitUsage;
}

static bool WalksTargets(CommandKind command) {
    return command == CheckCommand || command == ListCommand || command == CreateCommand ||
           command == RewriteCommand || command == RemoveCommand || command == UpdateCommand ||
           command == ExportCommand || command == ImportCommand;
}

// An option word that takes the next argument as its value: a long one
// (any beginning of its name) without =, or short ones ending in -j.
static bool TakesValue(const PathString& word) {
    if (word.size() < 2 || word[0] != '-') return false;
    if (word[1] != '-') return word.find_first_of(PT("jo")) == word.size() - 1;
    if (word.size() == 2 || word.find('=') != PathString::npos) return false;
    for (const PathString taking :
         {PT("jobs"), PT("exclude"), PT("exclude-from"), PT("output"), PT("relative-to"), PT("format"), PT("slice"),
          PT("older-than"), PT("budget")}) {
        if (taking.compare(0, word.size() - 2, word, 2, PathString::npos) == 0) return true;
    }
    return false;
}

// Operands keep their order and their text: a subsequence of the arguments
// after the command, ending with everything after the first "--" that is no
// option's value (POSIXLY_CORRECT is not set here).
static bool OperandsComeFrom(const std::vector<PathString>& args) {
    const std::vector<PathString>& operands = CommandOptions.operands;
    size_t next = 0;
    for (size_t i = 1; i < args.size() && next < operands.size(); ++i) {
        if (args[i] == operands[next]) ++next;
    }
    if (next != operands.size()) return false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (TakesValue(args[i])) {
            ++i;
            continue;
        }
        if (args[i] != PT("--")) continue;
        size_t after = args.size() - i - 1;
        if (operands.size() < after) return false;
        for (size_t k = 0; k < after; ++k) {
            if (operands[operands.size() - after + k] != args[i + 1 + k]) return false;
        }
        break;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<PathString> args;
    PathString text(reinterpret_cast<const PathChar*>(data), size);
    if (size > 0) {
        for (size_t start = 0;;) {
            size_t end = text.find(PathChar(0), start);
            args.push_back(text.substr(start, end == PathString::npos ? PathString::npos : end - start));
            if (end == PathString::npos) break;
            start = end + 1;
        }
    }
    UsageErrors = 0;
    int status = ParseCommandLine(args);
    const CommandOptionsRecord& options = CommandOptions;
    // A refusal is said once, and only a refusal.
    FUZZ_REQUIRE(status == 0 || status == ExitUsage);
    FUZZ_REQUIRE(UsageErrors == (status == ExitUsage ? 1 : 0));
    if (status != 0) return 0;

    CommandKind command = options.command;
    FUZZ_REQUIRE(command != NoCommand);
    if (command == HelpCommand || command == VersionCommand) return 0;
    FUZZ_REQUIRE(!options.operands.empty() || command == ExportCommand);
    FUZZ_REQUIRE(OperandsComeFrom(args));
    FUZZ_REQUIRE(!options.yes || command == RemoveCommand);
    FUZZ_REQUIRE(!options.hex || command == ShowCommand);
    FUZZ_REQUIRE(!(options.progress && options.quiet));
    FUZZ_REQUIRE(WalksTargets(command) || !(options.progress || options.quiet || options.oneFileSystem || options.jobs ||
                                            options.json || options.excludes));
    FUZZ_REQUIRE(!(options.json && options.nulRecords));
    FUZZ_REQUIRE(options.jobs >= 0 && options.jobs <= 256);
    FUZZ_REQUIRE(!(options.nulRecords && command == ShowCommand && !options.hex));
    bool exports = command == ExportCommand;
    FUZZ_REQUIRE(exports || (options.output.empty() && options.format == 0 && !options.verify));
    FUZZ_REQUIRE(exports || command == ImportCommand || options.relativeTo.empty());
    FUZZ_REQUIRE(!exports || !(options.json || options.nulRecords));
    FUZZ_REQUIRE(options.format >= 0 && options.format <= 2);
    return 0;
}
