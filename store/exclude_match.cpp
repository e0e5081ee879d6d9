// Matching a path against the exclude patterns compiled in excludes.cpp: no
// allocation, and never exponential backtracking.
#include "store/excludes.h"

#include "store/code_points.h"

static bool ClassAccepts(const ExcludeSet& set, const ExcludeClass& cls, uint32_t c) {
    const ExcludeRange* ranges = set.ranges.data() + cls.firstRange;
    bool member = false;
    for (int r = 0; r < cls.rangeCount && !member; r++) member = ranges[r].low <= c && c <= ranges[r].high;
    uint32_t other = set.windowsRules ? OtherAsciiCase(c) : c;
    for (int r = 0; r < cls.rangeCount && !member && other != c; r++) {
        member = ranges[r].low <= other && other <= ranges[r].high;
    }
    return member != cls.negated;
}

// One name, units [at, end) of text, against one component's tokens: a star
// takes characters one by one, and only the most recent star is taken back,
// so the work stays within (name length x tokens).
template <typename Char>
static bool UnitIs(const ExcludeSet& set, Char unit, uint32_t literal) {
    uint32_t c = static_cast<uint32_t>(unit) & (sizeof(Char) == 1 ? 0xFF : 0xFFFFFFFF);
    return (set.windowsRules ? FoldAsciiCase(c) : c) == literal;
}

template <typename Char>
static bool MatchName(const ExcludeSet& set, const ExcludeComponent& component, const Char* text, int at, int end) {
    const ExcludeToken* tokens = set.tokens.data() + component.firstToken;
    int count = component.tokenCount, t = 0;
    // An ASCII unit is a whole character in UTF-8 and UTF-16 alike, so the
    // literal ends of the pattern can be compared without decoding.
    int head = component.headLength, tail = component.tailLength;
    if (end - at < (head == count ? count : head + tail)) return false;
    for (int i = 0; i < head; i++) {
        if (!UnitIs(set, text[at + i], tokens[i].value)) return false;
    }
    for (int i = 1; i <= tail; i++) {
        if (!UnitIs(set, text[end - i], tokens[count - i].value)) return false;
    }
    int starToken = -1, starAt = 0;
    while (at < end) {
        if (t < count && tokens[t].kind == TokenStar) {
            starToken = ++t;
            starAt = at;
            continue;
        }
        if (t < count) {
            uint32_t c;
            int next = NextCodePoint(text, at, end, &c);
            bool accepted;
            switch (tokens[t].kind) {
                case TokenLiteral:
                    accepted = (set.windowsRules ? FoldAsciiCase(c) : c) == tokens[t].value;
                    break;
                case TokenCharacterClass:
                    accepted = ClassAccepts(set, set.classes[tokens[t].value], c);
                    break;
                default:
                    accepted = true;
                    break;
            }
            if (accepted) {
                ++t;
                at = next;
                continue;
            }
        }
        if (starToken < 0) return false;
        uint32_t skipped;
        starAt = NextCodePoint(text, starAt, end, &skipped);
        at = starAt;
        t = starToken;
    }
    while (t < count && tokens[t].kind == TokenStar) ++t;
    return t == count;
}

template <typename Char>
static bool IsPathSeparator(const ExcludeSet& set, Char c) {
    return c == Char('/') || (set.windowsRules && c == Char('\\'));
}

template <typename Char>
static int EndOfName(const ExcludeSet& set, const Char* path, int at, int length) {
    while (at < length && !IsPathSeparator(set, path[at])) ++at;
    return at;
}

// The path's names against the pattern's, where "**" takes any number of
// whole names: the same one-star-back walk as within a name, a name a step.
template <typename Char>
static bool MatchPath(const ExcludeSet& set, const ExcludePattern& pattern, const Char* path, int length) {
    const ExcludeComponent* components = set.components.data() + pattern.firstComponent;
    int count = pattern.componentCount, c = 0;
    int starComponent = -1, starAt = 0;
    // at > length: no name left.
    int at = 0;
    while (at <= length) {
        if (c < count && components[c].anyNames) {
            starComponent = ++c;
            starAt = at;
            continue;
        }
        int end = EndOfName(set, path, at, length);
        if (c < count && MatchName(set, components[c], path, at, end)) {
            ++c;
            at = end + 1;
            continue;
        }
        if (starComponent < 0) return false;
        starAt = EndOfName(set, path, starAt, length) + 1;
        at = starAt;
        c = starComponent;
    }
    while (c < count && components[c].anyNames) ++c;
    return c == count;
}

template <typename Char>
bool MatchExcludeSet(const ExcludeSet& set, const Char* path, int length, bool folder) {
    if (length <= 0) return false;
    int nameAt = length;
    while (nameAt > 0 && !IsPathSeparator(set, path[nameAt - 1])) --nameAt;
    for (const ExcludePattern& pattern : set.patterns) {
        if (pattern.foldersOnly && !folder) continue;
        bool matched = pattern.wholePath
                           ? MatchPath(set, pattern, path, length)
                           : MatchName(set, set.components[pattern.firstComponent], path, nameAt, length);
        if (matched) return true;
    }
    return false;
}

template bool MatchExcludeSet(const ExcludeSet&, const char*, int, bool);
template bool MatchExcludeSet(const ExcludeSet&, const wchar_t*, int, bool);
