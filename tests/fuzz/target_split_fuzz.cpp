// Splitting the target text: the POSIX splitter (SplitTargetText) and the
// model of the window's CommandLineToArgvW, which the other targets take as
// their oracle, on any text.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/ui/windows_split_model.h"

// What the POSIX splitter keeps: all but the quotes and the blanks and tabs
// outside quotes.
static PathString KeptCharacters(const PathString& text) {
    PathString kept;
    bool quoted = false;
    for (PathChar c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (quoted || (c != ' ' && c != '\t')) {
            kept.push_back(c);
        }
    }
    return kept;
}

// An argument after the first written so that the Windows rules give it
// back: in quotes, each quote escaped, the backslashes before a quote (the
// closing one too) doubled.
static PathString QuoteForWindows(const PathString& arg) {
    PathString quoted = PT("\"");
    size_t backslashes = 0;
    for (PathChar c : arg) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
            backslashes = 0;
        } else {
            quoted.append(backslashes, '\\');
            backslashes = 0;
        }
        if (c != '\\') quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PathString text(reinterpret_cast<const PathChar*>(data), size);
    text.resize(text.find(PathChar(0)) == PathString::npos ? size : text.find(PathChar(0)));

    std::vector<PathString> args;
    SplitTargetText(text.c_str(), &args);
    PathString joined;
    for (const PathString& arg : args) joined += arg;
    FUZZ_REQUIRE(joined == KeptCharacters(text));

    std::vector<PathString> windows = SplitByWindowsRules(text.c_str());
    FUZZ_REQUIRE(text.empty() == windows.empty());
    if (windows.empty()) return 0;
    PathString written = PT("p");
    for (size_t i = 1; i < windows.size(); ++i) written += PT(" ") + QuoteForWindows(windows[i]);
    std::vector<PathString> again = SplitByWindowsRules(written.c_str());
    windows[0] = PT("p");
    FUZZ_REQUIRE(again == windows);
    return 0;
}
