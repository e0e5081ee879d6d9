#include "store/excludes.h"

#include "store/code_points.h"

ExcludeSet Excludes;


// ---- compiling -------------------------------------------------------------

// A character of a pattern; escaped ones are never special.
struct PatternCharacter {
    uint32_t value;
    bool escaped;
};

static bool Is(const PatternCharacter& c, uint32_t special) { return !c.escaped && c.value == special; }

struct NamedClass {
    const char* name;
    const char* ranges;  // pairs of bounds
};
static const NamedClass NamedClasses[] = {
    {"alnum", "09AZaz"}, {"alpha", "AZaz"},        {"blank", "  \t\t"},    {"cntrl", "\x01\x1f\x7f\x7f"},
    {"digit", "09"},     {"graph", "!~"},          {"lower", "az"},        {"print", " ~"},
    {"punct", "!/:@[`{~"}, {"space", "\t\r  "},    {"upper", "AZ"},        {"xdigit", "09AFaf"},
};

// Appends the ranges of [:name:] whose name spans characters [from, to).
static bool AddNamedClass(const PatternCharacter* from, const PatternCharacter* to, ExcludeSet* set) {
    for (const NamedClass& named : NamedClasses) {
        const char* n = named.name;
        const PatternCharacter* c = from;
        while (c < to && *n && c->value == static_cast<unsigned char>(*n)) ++c, ++n;
        if (c != to || *n) continue;
        for (const char* r = named.ranges; *r; r += 2) {
            set->ranges.push_back({static_cast<unsigned char>(r[0]), static_cast<unsigned char>(r[1])});
        }
        return true;
    }
    return false;
}

// The class whose characters follow the [ at *at; *at ends after its ].
static const char* CompileClass(const PatternCharacter* chars, int end, int* at, ExcludeSet* set) {
    int i = *at + 1;
    ExcludeClass cls = {static_cast<int>(set->ranges.size()), 0, false};
    if (i < end && (Is(chars[i], '!') || Is(chars[i], '^'))) {
        cls.negated = true;
        ++i;
    }
    for (bool first = true;; first = false) {
        if (i >= end) return "unclosed [";
        if (Is(chars[i], ']') && !first) break;
        if (Is(chars[i], '[') && i + 1 < end && Is(chars[i + 1], ':')) {
            int close = i + 2;
            while (close + 1 < end && !(Is(chars[close], ':') && Is(chars[close + 1], ']'))) ++close;
            if (close + 1 < end) {
                if (!AddNamedClass(chars + i + 2, chars + close, set)) return "unknown class in [[:name:]]";
                i = close + 2;
                continue;
            }
            // No ":]": the [ is an ordinary member.
        }
        uint32_t low = chars[i].value, high = low;
        if (i + 2 < end && Is(chars[i + 1], '-') && !Is(chars[i + 2], ']')) {
            high = chars[i + 2].value;
            if (high < low) return "range out of order in [...]";
            i += 2;
        }
        set->ranges.push_back({low, high});
        ++i;
    }
    cls.rangeCount = static_cast<int>(set->ranges.size()) - cls.firstRange;
    set->tokens.push_back({TokenCharacterClass, static_cast<uint32_t>(set->classes.size())});
    set->classes.push_back(cls);
    *at = i + 1;
    return nullptr;
}

// The tokens of one name of a pattern, characters [begin, end).
static const char* CompileName(const PatternCharacter* chars, int begin, int end, ExcludeSet* set) {
    int dots = 0;
    for (int i = begin; i < end; i++) dots += chars[i].value == '.';
    if (dots == end - begin && dots <= 2) return "'.' and '..' name no entry: paths are matched as walked";
    ExcludeComponent component = {static_cast<int>(set->tokens.size()), 0, false, 0, 0};
    for (int i = begin; i < end;) {
        const PatternCharacter& c = chars[i];
        if (Is(c, '*')) {
            if (set->tokens.size() == static_cast<size_t>(component.firstToken) ||
                set->tokens.back().kind != TokenStar) {
                set->tokens.push_back({TokenStar, 0});
            }
            ++i;
        } else if (Is(c, '?')) {
            set->tokens.push_back({TokenAnyCharacter, 0});
            ++i;
        } else if (Is(c, '[')) {
            const char* problem = CompileClass(chars, end, &i, set);
            if (problem) return problem;
        } else {
            set->tokens.push_back({TokenLiteral, set->windowsRules ? FoldAsciiCase(c.value) : c.value});
            ++i;
        }
    }
    component.tokenCount = static_cast<int>(set->tokens.size()) - component.firstToken;
    const ExcludeToken* tokens = set->tokens.data() + component.firstToken;
    auto asciiLiteral = [](const ExcludeToken& t) { return t.kind == TokenLiteral && t.value < 0x80; };
    while (component.headLength < component.tokenCount && asciiLiteral(tokens[component.headLength])) {
        ++component.headLength;
    }
    while (component.tailLength < component.tokenCount &&
           asciiLiteral(tokens[component.tokenCount - 1 - component.tailLength])) {
        ++component.tailLength;
    }
    set->components.push_back(component);
    return nullptr;
}

static void AddAnyNames(ExcludeSet* set, const ExcludePattern& pattern) {
    // Two in a row mean no more than one.
    int count = static_cast<int>(set->components.size()) - pattern.firstComponent;
    if (count > 0 && set->components.back().anyNames) return;
    set->components.push_back({0, 0, true, 0, 0});
}

static const char* CompileCharacters(const std::vector<PatternCharacter>& chars, ExcludeSet* set) {
    if (chars.empty()) return "empty pattern";
    if (Is(chars[0], '!')) return "a leading ! (re-including) is not supported; escape it or use ? for it";
    ExcludePattern pattern = {static_cast<int>(set->components.size()), 0, false, false};
    int begin = 0, end = static_cast<int>(chars.size());
    if (Is(chars[end - 1], '/')) {
        pattern.foldersOnly = true;
        --end;
    }
    if (end > 0 && Is(chars[0], '/')) {
        pattern.wholePath = true;
        ++begin;
    }
    if (begin >= end) return "empty pattern";
    for (int i = begin; i < end; i++) {
        if (Is(chars[i], '/')) pattern.wholePath = true;
    }
    for (int start = begin; start <= end;) {
        int stop = start;
        while (stop < end && !Is(chars[stop], '/')) ++stop;
        if (stop == start) return "empty name between two slashes";
        bool doubleStar = stop - start == 2 && Is(chars[start], '*') && Is(chars[start + 1], '*');
        if (doubleStar && pattern.wholePath) {
            AddAnyNames(set, pattern);
        } else {
            const char* problem = CompileName(chars.data(), start, stop, set);
            if (problem) return problem;
        }
        start = stop + 1;
    }
    // "x/**" holds everything inside x, not x itself: one name at least.
    if (set->components.back().anyNames) {
        set->components.back() = {static_cast<int>(set->tokens.size()), 1, false, 0, 0};
        set->tokens.push_back({TokenStar, 0});
        set->components.push_back({0, 0, true, 0, 0});
    }
    pattern.componentCount = static_cast<int>(set->components.size()) - pattern.firstComponent;
    set->patterns.push_back(pattern);
    return nullptr;
}

// A compile either adds a whole pattern or nothing.
struct SetSizes {
    size_t tokens, ranges, classes, components, patterns;
};
static SetSizes SizesOf(const ExcludeSet& set) {
    return {set.tokens.size(), set.ranges.size(), set.classes.size(), set.components.size(), set.patterns.size()};
}
static void RestoreSizes(const SetSizes& sizes, ExcludeSet* set) {
    set->tokens.resize(sizes.tokens);
    set->ranges.resize(sizes.ranges);
    set->classes.resize(sizes.classes);
    set->components.resize(sizes.components);
    set->patterns.resize(sizes.patterns);
}

template <typename Char>
const char* CompileExcludePattern(const Char* pattern, int length, ExcludeSet* set) {
    std::vector<PatternCharacter> chars;
    for (int i = 0; i < length;) {
        PatternCharacter c = {0, false};
        if (pattern[i] == Char('\\')) {
            if (set->windowsRules) {
                chars.push_back({'/', false});
                ++i;
                continue;
            }
            if (++i == length) return "ends in a lone \\";
            // An escaped slash is still a separator: no name holds one.
            c.escaped = pattern[i] != Char('/');
        }
        if (pattern[i] == Char(0)) return "holds a NUL character";
        i = NextCodePoint(pattern, i, length, &c.value);
        chars.push_back(c);
    }
    SetSizes sizes = SizesOf(*set);
    const char* problem = CompileCharacters(chars, set);
    if (problem) RestoreSizes(sizes, set);
    return problem;
}

template <typename Char>
const char* CompileExcludeText(const char* text, size_t length, ExcludeSet* set, int* badLine) {
    SetSizes sizes = SizesOf(*set);
    const char* end = text + length;
    const char* at = text;
    if (length >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
        static_cast<unsigned char>(text[2]) == 0xBF) {
        at += 3;
    }
    const char* problem = nullptr;
    for (int lineNumber = 1; at < end && !problem; ++lineNumber) {
        const char* stop = at;
        while (stop < end && *stop != '\n') ++stop;
        const char* next = stop < end ? stop + 1 : end;
        if (stop > at && stop[-1] == '\r') --stop;
        // Trailing blanks go, unless a backslash escapes the last (POSIX).
        while (stop > at && (stop[-1] == ' ' || stop[-1] == '\t')) {
            int backslashes = 0;
            while (stop - 1 - backslashes > at && stop[-2 - backslashes] == '\\') ++backslashes;
            if (!set->windowsRules && backslashes % 2 == 1) break;
            --stop;
        }
        if (stop > at && *at != '#') {
            std::basic_string<Char> line;
            if (!AppendUtf8AsUnits(at, stop, &line)) {
                problem = "not valid UTF-8";
            } else {
                problem = CompileExcludePattern(line.data(), static_cast<int>(line.size()), set);
            }
            if (problem) *badLine = lineNumber;
        }
        at = next;
    }
    if (problem) RestoreSizes(sizes, set);
    return problem;
}

template const char* CompileExcludePattern(const char*, int, ExcludeSet*);
template const char* CompileExcludePattern(const wchar_t*, int, ExcludeSet*);
template const char* CompileExcludeText<char>(const char*, size_t, ExcludeSet*, int*);
template const char* CompileExcludeText<wchar_t>(const char*, size_t, ExcludeSet*, int*);

// ---- the run's set -----------------------------------------------------------

static void TakeSystemRules() { Excludes.windowsRules = PathSeparator == PathChar('\\'); }

static PathString Widen(const char* ascii) {
    PathString text;
    for (const char* p = ascii; *p; ++p) text.push_back(static_cast<PathChar>(static_cast<unsigned char>(*p)));
    return text;
}

bool AddExcludePattern(const PathChar* pattern, PathString* problem) {
    TakeSystemRules();
    int length = 0;
    while (pattern[length]) ++length;
    const char* reason = CompileExcludePattern(pattern, length, &Excludes);
    if (reason) *problem = Widen(reason);
    return reason == nullptr;
}

bool AddExcludePatternsFromText(const char* text, size_t length, PathString* problem) {
    TakeSystemRules();
    int badLine = 0;
    const char* reason = CompileExcludeText<PathChar>(text, length, &Excludes, &badLine);
    if (reason) *problem = Widen("line ") + Widen(std::to_string(badLine).c_str()) + Widen(": ") + Widen(reason);
    return reason == nullptr;
}

bool IsExcluded(const PathChar* relativePath, int length, bool folder) {
    if (Excludes.patterns.empty()) return false;
    return MatchExcludeSet(Excludes, relativePath, length, folder);
}

void ClearExcludePatterns() {
    ExcludeSet empty = {};
    Excludes = empty;
}
