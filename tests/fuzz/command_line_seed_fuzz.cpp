// Seeding the target field from the process command line
// (ArgumentsOfCommandLine): the seed is a tail of the command line, and where
// the program name is written plainly it names the same arguments as the
// window's splitter finds after the program name.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tests/ui/windows_split_model.h"
#include "ui/command_line.h"

// No tab in an unquoted program name, nothing glued to a quoted one's closing
// quote: there the seeding and the splitter part ways by design.
static bool PlainProgramName(const PathString& line) {
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        return close == PathString::npos || close + 1 == line.size() || line[close + 1] == ' ';
    }
    size_t end = line.find(' ');
    return line.substr(0, end).find('\t') == PathString::npos;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PathString line(reinterpret_cast<const PathChar*>(data), size);
    line.resize(line.find(PathChar(0)) == PathString::npos ? size : line.find(PathChar(0)));

    const PathChar* seed = ArgumentsOfCommandLine(line.c_str());
    FUZZ_REQUIRE(seed >= line.c_str() && seed <= line.c_str() + line.size());
    FUZZ_REQUIRE(*seed != ' ');
    size_t skipped = static_cast<size_t>(seed - line.c_str());
    // The seed starts after a blank, or is empty.
    FUZZ_REQUIRE(*seed == 0 || skipped == 0 || line[skipped - 1] == ' ');

    if (line.empty() || !PlainProgramName(line)) return 0;
    std::vector<PathString> shell = SplitByWindowsRules(line.c_str());
    shell.erase(shell.begin());
    FUZZ_REQUIRE(SplitLaterArguments(seed) == shell);
    return 0;
}
