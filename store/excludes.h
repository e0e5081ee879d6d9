// Exclude patterns (--exclude, --exclude-from): globs as rsync and .gitignore
// know them, compiled once and matched against every entry of a walk.
//   *      any run of characters within one name      ?  one character
//   [...]  one character of a set: ranges a-z, classes [:digit:] and the
//          like (ASCII), negated by a leading ! or ^
//   **     as a whole name: any number of folders (**/x, a/**/b), or
//          everything inside (x/**); elsewhere the same as *
// A pattern with a slash (other than a trailing one) matches the path below
// the target; a leading slash only says so. One without matches a name at any
// depth. A trailing slash matches folders only. Characters are whole UTF-8
// (POSIX) or UTF-16 (Windows) characters; a unit of a malformed name counts as
// one. Windows rules: \ separates like /, ASCII letters match either case, and
// nothing escapes. POSIX rules: \ takes the next character literally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

enum ExcludeTokenKind : uint8_t {
    TokenLiteral,         // value: the character (case-folded under Windows rules)
    TokenAnyCharacter,    // ?
    TokenCharacterClass,  // value: index into classes
    TokenStar,            // *
};
struct ExcludeToken {
    ExcludeTokenKind kind;
    uint32_t value;
};
struct ExcludeRange {
    uint32_t low, high;
};
struct ExcludeClass {
    int firstRange, rangeCount;
    bool negated;
};
// One name of a pattern, or "**" standing for any number of whole names.
// headLength and tailLength count the ASCII literals it begins and ends
// with, which a name is checked against first, unit by unit.
struct ExcludeComponent {
    int firstToken, tokenCount;
    bool anyNames;
    int headLength, tailLength;
};
struct ExcludePattern {
    int firstComponent, componentCount;
    bool wholePath;    // matched against the path below the target, else the name
    bool foldersOnly;  // written with a trailing slash
};
struct ExcludeSet {
    bool windowsRules;
    std::vector<ExcludeToken> tokens;
    std::vector<ExcludeRange> ranges;
    std::vector<ExcludeClass> classes;
    std::vector<ExcludeComponent> components;
    std::vector<ExcludePattern> patterns;
};

// Windows rules fold ASCII letters only.
inline uint32_t FoldAsciiCase(uint32_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }
inline uint32_t OtherAsciiCase(uint32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 'a' && c <= 'z') return c - 32;
    return c;
}

// The run's patterns, under the rules of this system.
extern ExcludeSet Excludes;

// False, with the reason in problem, for a pattern that cannot be used
// (empty, an unclosed [, a trailing \, ...); nothing is added then.
bool AddExcludePattern(const PathChar* pattern, PathString* problem);
// The contents of a pattern file: one pattern a line (LF or CR LF), blank
// lines and lines beginning with # ignored, trailing blanks dropped unless
// escaped. UTF-8 (read as bytes on POSIX); a leading byte-order mark is
// skipped. All or nothing: on a bad line, problem says "line N: reason".
bool AddExcludePatternsFromText(const char* text, size_t length, PathString* problem);
// relativePath: the entry's path below the target, with the system's
// separator, without a leading one. Allocates nothing.
bool IsExcluded(const PathChar* relativePath, int length, bool folder);
void ClearExcludePatterns();

// The same on any set and unit type, so that both systems' rules are tested
// everywhere: wide units are UTF-16, bytes UTF-8 (POSIX) or, for the text of
// a pattern file under Windows rules, decoded from UTF-8 first.
// Each returns the reason for a bad pattern, or nullptr.
template <typename Char>
const char* CompileExcludePattern(const Char* pattern, int length, ExcludeSet* set);
template <typename Char>
const char* CompileExcludeText(const char* text, size_t length, ExcludeSet* set, int* badLine);
template <typename Char>
bool MatchExcludeSet(const ExcludeSet& set, const Char* path, int length, bool folder);
