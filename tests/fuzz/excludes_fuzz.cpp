// Exclude patterns: any pattern compiles or is refused, and the compiled
// matcher agrees with a slow reference written here from the documented
// rules: its own decoder, its own parse, and a table over (token, position)
// of the whole path instead of names and a one-star-back walk. Long paths are
// matched too, where only the time would tell a backtracking blow-up.
//
// Input: a flags byte (bit 0 Windows rules, bit 1 folder, bit 2 bytes mapped
// onto a small alphabet of pattern pieces), the pattern, a 0 byte, the path.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "store/excludes.h"

namespace {

// ---- the reference's own reading of characters ----------------------------

const uint32_t Invalid = 0x110000;

// Well-formed UTF-8 by the table of Unicode 3.9 (Table 3-7).
std::vector<uint32_t> DecodeBytes(const std::string& units) {
    std::vector<uint32_t> out;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(units.data());
    size_t n = units.size();
    for (size_t i = 0; i < n;) {
        unsigned b = s[i];
        size_t need = 0;
        unsigned lo = 0x80, hi = 0xBF;
        if (b < 0x80) {
            out.push_back(b);
            i++;
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF) need = 1;
        else if (b == 0xE0) need = 2, lo = 0xA0;
        else if (b >= 0xE1 && b <= 0xEC) need = 2;
        else if (b == 0xED) need = 2, hi = 0x9F;
        else if (b >= 0xEE && b <= 0xEF) need = 2;
        else if (b == 0xF0) need = 3, lo = 0x90;
        else if (b >= 0xF1 && b <= 0xF3) need = 3;
        else if (b == 0xF4) need = 3, hi = 0x8F;
        bool ok = need > 0 && i + need < n;
        for (size_t k = 1; ok && k <= need; k++) {
            unsigned c = s[i + k];
            unsigned low = k == 1 ? lo : 0x80, high = k == 1 ? hi : 0xBF;
            if (c < low || c > high) ok = false;
        }
        if (!ok) {
            out.push_back(Invalid + b);
            i++;
            continue;
        }
        uint32_t value = b & (need == 1 ? 0x1F : need == 2 ? 0x0F : 0x07);
        for (size_t k = 1; k <= need; k++) value = (value << 6) | (s[i + k] & 0x3F);
        out.push_back(value);
        i += need + 1;
    }
    return out;
}

std::vector<uint32_t> DecodeWide(const std::wstring& units) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < units.size(); i++) {
        uint32_t u = static_cast<uint32_t>(units[i]);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size()) {
            uint32_t v = static_cast<uint32_t>(units[i + 1]);
            if (v >= 0xDC00 && v < 0xE000) {
                out.push_back(0x10000 + (u - 0xD800) * 0x400 + (v - 0xDC00));
                i++;
                continue;
            }
        }
        out.push_back(u);
    }
    return out;
}

// ---- the reference's parse ----------------------------------------------------

enum Kind { Literal, AnyOne, Class, Star, Separator, AnyNames, AnyRest };
struct Token {
    Kind kind;
    uint32_t value;
};
struct Set {
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    bool negated;
};
struct Reference {
    bool valid;
    bool windows;
    bool foldersOnly;
    std::vector<Token> tokens;
    std::vector<Set> sets;
};
struct PChar {
    uint32_t value;
    bool escaped;
    bool plain(uint32_t c) const { return !escaped && value == c; }
};

bool AddNamed(const std::vector<PChar>& name, Set* set) {
    std::string text;
    for (const PChar& c : name) text += c.value < 128 ? static_cast<char>(c.value) : '\x80';
    auto add = [&](uint32_t a, uint32_t b) { set->ranges.push_back({a, b}); };
    if (text == "alnum") add('0', '9'), add('A', 'Z'), add('a', 'z');
    else if (text == "alpha") add('A', 'Z'), add('a', 'z');
    else if (text == "blank") add(' ', ' '), add('\t', '\t');
    else if (text == "cntrl") add(1, 31), add(127, 127);
    else if (text == "digit") add('0', '9');
    else if (text == "graph") add(33, 126);
    else if (text == "lower") add('a', 'z');
    else if (text == "print") add(32, 126);
    else if (text == "punct") add(33, 47), add(58, 64), add(91, 96), add(123, 126);
    else if (text == "space") add(9, 13), add(32, 32);
    else if (text == "upper") add('A', 'Z');
    else if (text == "xdigit") add('0', '9'), add('A', 'F'), add('a', 'f');
    else return false;
    return true;
}

// Tokens of one name; false when it cannot be used.
bool ParseName(const std::vector<PChar>& chars, Reference* ref) {
    size_t dots = 0;
    for (const PChar& c : chars) dots += c.value == '.';
    if (dots == chars.size() && dots <= 2) return false;
    for (size_t i = 0; i < chars.size();) {
        if (chars[i].plain('*')) {
            ref->tokens.push_back({Star, 0});
            i++;
        } else if (chars[i].plain('?')) {
            ref->tokens.push_back({AnyOne, 0});
            i++;
        } else if (chars[i].plain('[')) {
            Set set = {{}, false};
            size_t j = i + 1;
            if (j < chars.size() && (chars[j].plain('!') || chars[j].plain('^'))) set.negated = true, j++;
            bool first = true;
            for (;; first = false) {
                if (j >= chars.size()) return false;
                if (chars[j].plain(']') && !first) break;
                if (chars[j].plain('[') && j + 1 < chars.size() && chars[j + 1].plain(':')) {
                    size_t k = j + 2;
                    bool found = false;
                    for (; k + 1 < chars.size(); k++) {
                        if (chars[k].plain(':') && chars[k + 1].plain(']')) {
                            found = true;
                            break;
                        }
                    }
                    if (found) {
                        std::vector<PChar> name(chars.begin() + j + 2, chars.begin() + k);
                        if (!AddNamed(name, &set)) return false;
                        j = k + 2;
                        continue;
                    }
                }
                uint32_t lo = chars[j].value, hi = lo;
                if (j + 2 < chars.size() && chars[j + 1].plain('-') && !chars[j + 2].plain(']')) {
                    hi = chars[j + 2].value;
                    if (hi < lo) return false;
                    j += 2;
                }
                set.ranges.push_back({lo, hi});
                j++;
            }
            ref->tokens.push_back({Class, static_cast<uint32_t>(ref->sets.size())});
            ref->sets.push_back(set);
            i = j + 1;
        } else {
            uint32_t c = chars[i].value;
            if (ref->windows && c >= 'A' && c <= 'Z') c += 32;
            ref->tokens.push_back({Literal, c});
            i++;
        }
    }
    return true;
}

Reference Parse(const std::vector<uint32_t>& units, const std::vector<bool>& isBackslash, bool windows) {
    Reference ref = {false, windows, false, {}, {}};
    std::vector<PChar> chars;
    for (size_t i = 0; i < units.size(); i++) {
        if (isBackslash[i]) {
            if (windows) {
                chars.push_back({'/', false});
                continue;
            }
            if (++i == units.size() || units[i] == 0) return ref;
            chars.push_back({units[i], units[i] != '/'});
        } else {
            if (units[i] == 0) return ref;
            chars.push_back({units[i], false});
        }
    }
    if (chars.empty() || chars[0].plain('!')) return ref;
    bool anchored = false;
    if (chars.back().plain('/')) ref.foldersOnly = true, chars.pop_back();
    if (!chars.empty() && chars[0].plain('/')) anchored = true, chars.erase(chars.begin());
    if (chars.empty()) return ref;
    std::vector<std::vector<PChar>> names(1);
    for (const PChar& c : chars) {
        if (c.plain('/')) names.emplace_back();
        else names.back().push_back(c);
    }
    for (const auto& name : names) {
        if (name.empty()) return ref;
    }
    bool wholePath = anchored || names.size() > 1;
    if (!wholePath) {
        ref.tokens.push_back({AnyNames, 0});
        if (!ParseName(names[0], &ref)) return ref;
        ref.valid = true;
        return ref;
    }
    auto isAnyNames = [](const std::vector<PChar>& name) {
        return name.size() == 2 && name[0].plain('*') && name[1].plain('*');
    };
    // "**" names in a row count as one.
    std::vector<std::vector<PChar>> kept;
    for (const auto& name : names) {
        if (isAnyNames(name) && !kept.empty() && isAnyNames(kept.back())) continue;
        kept.push_back(name);
    }
    for (size_t k = 0; k < kept.size(); k++) {
        bool previousAnyNames = k > 0 && isAnyNames(kept[k - 1]);
        if (isAnyNames(kept[k])) {
            if (k + 1 == kept.size()) {
                if (k > 0) ref.tokens.push_back({Separator, 0});
                ref.tokens.push_back({AnyRest, 0});
            } else {
                if (k > 0) ref.tokens.push_back({Separator, 0});
                ref.tokens.push_back({AnyNames, 0});
            }
            continue;
        }
        if (k > 0 && !previousAnyNames) ref.tokens.push_back({Separator, 0});
        if (!ParseName(kept[k], &ref)) return ref;
    }
    ref.valid = true;
    return ref;
}

// ---- the reference's match: M[t][p], "tokens from t match the path from p" -----

bool InSet(const Set& set, uint32_t c) {
    for (const auto& r : set.ranges) {
        if (r.first <= c && c <= r.second) return true;
    }
    return false;
}

bool ReferenceMatch(const Reference& ref, const std::vector<uint32_t>& path, bool folder) {
    if (ref.foldersOnly && !folder) return false;
    size_t n = path.size(), count = ref.tokens.size();
    auto sep = [&](size_t p) { return path[p] == '/' || (ref.windows && path[p] == '\\'); };
    std::vector<std::vector<char>> m(count + 1, std::vector<char>(n + 2, 0));
    m[count][n] = 1;
    for (size_t t = count; t-- > 0;) {
        const Token& token = ref.tokens[t];
        std::vector<char> inName(n + 2, 0);
        for (size_t p = n + 1; p-- > 0;) {
            bool here = p < n;
            uint32_t c = here ? path[p] : 0;
            uint32_t folded = ref.windows && c >= 'A' && c <= 'Z' ? c + 32 : c;
            uint32_t other = c;
            if (ref.windows && c >= 'A' && c <= 'Z') other = c + 32;
            if (ref.windows && c >= 'a' && c <= 'z') other = c - 32;
            bool v = false;
            switch (token.kind) {
                case Literal:
                    v = here && !sep(p) && folded == token.value && m[t + 1][p + 1];
                    break;
                case AnyOne:
                    v = here && !sep(p) && m[t + 1][p + 1];
                    break;
                case Class: {
                    const Set& set = ref.sets[token.value];
                    bool member = InSet(set, c) || InSet(set, other);
                    v = here && !sep(p) && member != set.negated && m[t + 1][p + 1];
                    break;
                }
                case Star:
                    v = m[t + 1][p] || (here && !sep(p) && m[t][p + 1]);
                    break;
                case Separator:
                    v = here && sep(p) && m[t + 1][p + 1];
                    break;
                case AnyNames:
                    inName[p] = here && !sep(p) && ((p + 1 < n && sep(p + 1) && m[t][p + 2]) || inName[p + 1]);
                    v = m[t + 1][p] || inName[p];
                    break;
                case AnyRest:
                    v = here && m[t + 1][n];
                    break;
            }
            m[t][p] = v;
        }
    }
    return m[0][0];
}

// ---- input ----------------------------------------------------------------------

const char* const Pieces[] = {"a", "b", "A", "/", "*", "**", "?", "[", "]", "!", "^", "-", "\\",
                              ".", "[:digit:]", "[:upper:]", "\xC3\xA9", "\xE2\x82\xAC", "\xFF", "\xC3",
                              "1", "Z", "/**/", ":"};
const wchar_t* const WidePieces[] = {L"a", L"b", L"A", L"/", L"*", L"**", L"?", L"[", L"]", L"!", L"^", L"-",
                                     L"\\", L".", L"[:digit:]", L"[:upper:]", L"\xE9", L"\xC9", L"\xD800",
                                     L"\xDC00", L"\xD83D\xDE00", L"Z", L"/**/", L":"};
const size_t PieceCount = sizeof Pieces / sizeof Pieces[0];

// Names below the target as a walk gives them: no empty ones.
template <typename Text>
Text NormalisePath(const Text& path, bool windows, typename Text::value_type separator) {
    Text out, name;
    for (size_t i = 0; i <= path.size(); i++) {
        bool isSeparator = i == path.size() || path[i] == '/' || (windows && path[i] == '\\');
        if (!isSeparator) {
            name.push_back(path[i]);
            continue;
        }
        if (name.empty()) continue;
        if (!out.empty()) out.push_back(separator);
        out += name;
        name.clear();
    }
    return out;
}

template <typename Text>
void Check(const Text& pattern, const Text& rawPath, bool windows, bool folder, std::vector<uint32_t> (*decode)(const Text&)) {
    typedef typename Text::value_type Char;
    Text path = NormalisePath(rawPath, windows, static_cast<Char>(windows && (rawPath.size() & 1) ? '\\' : '/'));
    ExcludeSet set = {};
    set.windowsRules = windows;
    const char* problem = CompileExcludePattern(pattern.data(), static_cast<int>(pattern.size()), &set);

    // The reference decodes the pattern with backslashes kept apart, as they are units.
    std::vector<uint32_t> units;
    std::vector<bool> isBackslash;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern[i] == Char('\\')) {
            units.push_back('\\');
            isBackslash.push_back(true);
            i++;
            continue;
        }
        size_t j = i;
        while (j < pattern.size() && pattern[j] != Char('\\')) j++;
        for (uint32_t c : decode(pattern.substr(i, j - i))) {
            units.push_back(c);
            isBackslash.push_back(false);
        }
        i = j;
    }
    Reference ref = Parse(units, isBackslash, windows);
    if ((problem == nullptr) != ref.valid) abort();
    bool matched = MatchExcludeSet(set, path.data(), static_cast<int>(path.size()), folder);
    if (!ref.valid) {
        if (!set.patterns.empty() || matched) abort();
        return;
    }
    // An empty path names no entry: nothing is excluded there.
    if (path.empty()) {
        if (matched) abort();
        return;
    }
    if (path.size() <= 400 && ref.tokens.size() <= 200) {
        if (matched != ReferenceMatch(ref, decode(path), folder)) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    unsigned flags = data[0];
    bool windows = flags & 1, folder = flags & 2, mapped = flags & 4;
    const uint8_t* rest = data + 1;
    size_t restSize = size - 1;
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(rest, 0, restSize));
    size_t patternSize = split ? static_cast<size_t>(split - rest) : restSize;
    const uint8_t* pathBytes = split ? split + 1 : rest + restSize;
    size_t pathSize = split ? restSize - patternSize - 1 : 0;

    if (!windows) {
        std::string pattern, path;
        for (size_t i = 0; i < patternSize; i++) {
            if (mapped) pattern += Pieces[rest[i] % PieceCount];
            else pattern.push_back(static_cast<char>(rest[i]));
        }
        for (size_t i = 0; i < pathSize; i++) {
            if (mapped) path += Pieces[pathBytes[i] % PieceCount];
            else path.push_back(static_cast<char>(pathBytes[i]));
        }
        Check<std::string>(pattern, path, false, folder, DecodeBytes);
        // The same bytes as a pattern file: never crashes, all or nothing.
        ExcludeSet set = {};
        int badLine = 0;
        if (CompileExcludeText<char>(reinterpret_cast<const char*>(data), size, &set, &badLine) &&
            !set.patterns.empty()) {
            abort();
        }
    } else {
        std::wstring pattern, path;
        for (size_t i = 0; i < patternSize; i++) {
            if (mapped) pattern += WidePieces[rest[i] % PieceCount];
            else pattern.push_back(static_cast<wchar_t>(rest[i] | (i + 1 < patternSize && (rest[i + 1] & 0x80) ? 0xD800 : 0)));
        }
        for (size_t i = 0; i < pathSize; i++) {
            if (mapped) path += WidePieces[pathBytes[i] % PieceCount];
            else path.push_back(static_cast<wchar_t>(pathBytes[i]));
        }
        Check<std::wstring>(pattern, path, true, folder, DecodeWide);
        ExcludeSet set = {};
        set.windowsRules = true;
        int badLine = 0;
        if (CompileExcludeText<wchar_t>(reinterpret_cast<const char*>(data), size, &set, &badLine) &&
            !set.patterns.empty()) {
            abort();
        }
    }
    return 0;
}
