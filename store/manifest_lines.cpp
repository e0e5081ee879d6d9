// Manifest lines: read in any of the three formats, written in one.
#include "store/manifest.h"

#include <cstring>

#include "store/code_points.h"

const int HexDigits = 128;

const char* ManifestErrorText(ManifestError error) {
    switch (error) {
        case ManifestNoDigest:
            return "no Whirlpool digest of 128 hex digits";
        case ManifestNoPath:
            return "no two blanks and a path after the digest";
        case ManifestBadEscape:
            return "an escape that is none of \\\\, \\n, \\r, \\t and \\xHH";
        case ManifestBadSize:
            return "a size that is no number";
        case ManifestNoColumn:
            return "no whirlpool column in the hashdeep header";
        case ManifestOtherHash:
            return "a digest of another algorithm than Whirlpool";
        case ManifestBadText:
            return "not valid UTF-8";
        case ManifestNamedTwice:
            return "names a file named before, with another digest";
        default:
            return "";
    }
}

static int HexValue(unsigned c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    c |= 0x20;
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a') + 10;
    return -1;
}

// 128 hex digits of either case at text into digest.
static bool ReadHexDigest(const char* text, const char* end, uint8_t digest[64]) {
    if (end - text < HexDigits) return false;
    for (int i = 0; i < 64; ++i) {
        int high = HexValue(static_cast<unsigned char>(text[2 * i]));
        int low = HexValue(static_cast<unsigned char>(text[2 * i + 1]));
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

static bool StartsWith(const char* at, const char* end, const char* prefix, bool anyCase = false) {
    size_t n = std::strlen(prefix);
    if (static_cast<size_t>(end - at) < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = at[i];
        if (anyCase && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c != prefix[i]) return false;
    }
    return true;
}

template <typename Char>
static bool IsControl(Char c) {
    return (c >= Char(0) && c < Char(0x20)) || c == Char(0x7F);
}

template <typename Char>
bool NameNeedsEscape(const Char* path, int length, bool windowsRules) {
    for (int i = 0; i < length; i++) {
        if (IsControl(path[i]) || (!windowsRules && path[i] == Char('\\'))) return true;
    }
    return false;
}

// The escape of c after its backslash; 0 for a character written as it is.
template <typename Char>
static char EscapeLetter(Char c) {
    if (c == Char('\\')) return '\\';
    if (c == Char('\n')) return 'n';
    if (c == Char('\r')) return 'r';
    if (c == Char('\t')) return 't';
    return IsControl(c) ? 'x' : 0;
}

template <typename Char>
void AppendEscapedName(const Char* path, int length, std::basic_string<Char>* out) {
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < length; i++) {
        char letter = EscapeLetter(path[i]);
        if (letter == 0) {
            out->push_back(path[i]);
            continue;
        }
        out->push_back(Char('\\'));
        out->push_back(Char(letter));
        if (letter == 'x') {
            unsigned value = static_cast<unsigned>(path[i]);
            out->push_back(Char(hex[value >> 4]));
            out->push_back(Char(hex[value & 15]));
        }
    }
}

// The escapes' hex digits are lower case, as written.
template <typename Char>
static int EscapeHexValue(Char c) {
    if (c >= Char('0') && c <= Char('9')) return static_cast<int>(c - Char('0'));
    if (c >= Char('a') && c <= Char('f')) return static_cast<int>(c - Char('a')) + 10;
    return -1;
}

template <typename Char>
bool ReadEscapedName(const Char* text, int length, std::basic_string<Char>* path) {
    for (int i = 0; i < length; i++) {
        Char c = text[i];
        if (c != Char('\\')) {
            path->push_back(c);
            continue;
        }
        if (++i == length) return false;
        Char e = text[i];
        if (e == Char('\\')) {
            path->push_back(Char('\\'));
        } else if (e == Char('n')) {
            path->push_back(Char('\n'));
        } else if (e == Char('r')) {
            path->push_back(Char('\r'));
        } else if (e == Char('t')) {
            path->push_back(Char('\t'));
        } else if (e == Char('x') && i + 2 < length && EscapeHexValue(text[i + 1]) >= 0 &&
                   EscapeHexValue(text[i + 2]) >= 0) {
            path->push_back(static_cast<Char>(EscapeHexValue(text[i + 1]) * 16 + EscapeHexValue(text[i + 2])));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// What a hashdeep header says: the fields before the file name, and which of
// them hold the size and the Whirlpool digest (-1: none).
struct HashdeepColumns {
    int fields;
    int size;
    int whirlpool;
};

// "%%%% size,md5,whirlpool,filename".
static void ReadHashdeepColumns(const char* at, const char* end, HashdeepColumns* columns) {
    *columns = {0, -1, -1};
    at += 5;
    for (int field = 0; at <= end; ++field) {
        const char* stop = at;
        while (stop < end && *stop != ',') ++stop;
        std::string name(at, stop);
        if (name == "size") columns->size = field;
        if (name == "whirlpool") columns->whirlpool = field;
        if (stop == end) {
            columns->fields = field;
            return;
        }
        at = stop + 1;
    }
}

template <typename Char>
static ManifestError TakePath(const char* at, const char* end, bool escaped, ManifestEntry<Char>* entry) {
    if (at == end) return ManifestNoPath;
    std::basic_string<Char> units;
    if (!AppendUtf8AsUnits(at, end, &units)) return ManifestBadText;
    entry->path.clear();
    if (!escaped) {
        entry->path = units;
    } else if (!ReadEscapedName(units.data(), static_cast<int>(units.size()), &entry->path)) {
        return ManifestBadEscape;
    }
    return ManifestFine;
}

template <typename Char>
static ManifestError ReadHashdeepLine(const char* at, const char* end, const HashdeepColumns& columns,
                                      ManifestEntry<Char>* entry) {
    if (columns.whirlpool < 0) return ManifestNoColumn;
    for (int field = 0; field < columns.fields; ++field) {
        const char* stop = at;
        while (stop < end && *stop != ',') ++stop;
        if (stop == end) return ManifestNoPath;
        if (field == columns.whirlpool && (stop - at != HexDigits || !ReadHexDigest(at, stop, entry->digest))) {
            return ManifestNoDigest;
        }
        if (field == columns.size) {
            if (stop == at || stop - at > 18) return ManifestBadSize;
            entry->size = 0;
            for (const char* d = at; d < stop; ++d) {
                if (*d < '0' || *d > '9') return ManifestBadSize;
                entry->size = entry->size * 10 + (*d - '0');
            }
        }
        at = stop + 1;
    }
    return TakePath(at, end, false, entry);
}

// "<hex>  path", or "<hex> *path" as sha*sum write binary files.
template <typename Char>
static ManifestError ReadPlainLine(const char* at, const char* end, ManifestEntry<Char>* entry) {
    bool escaped = *at == '\\';
    if (escaped) ++at;
    if (!ReadHexDigest(at, end, entry->digest)) return ManifestNoDigest;
    at += HexDigits;
    // More digits than a digest has, or no two blanks before the path.
    if (at < end && *at != ' ') return ManifestNoDigest;
    if (end - at < 2 || (at[1] != ' ' && at[1] != '*')) return ManifestNoPath;
    return TakePath(at + 2, end, escaped, entry);
}

// "WHIRLPOOL (path) = <hex>"; the path may hold ") = " itself.
template <typename Char>
static ManifestError ReadBsdLine(const char* at, const char* end, ManifestEntry<Char>* entry) {
    bool escaped = *at == '\\';
    if (escaped) ++at;
    if (!StartsWith(at, end, "WHIRLPOOL (", true)) return ManifestOtherHash;
    at += 11;
    if (end - at < HexDigits + 4) return ManifestNoDigest;
    const char* hex = end - HexDigits;
    if (!StartsWith(hex - 4, end, ") = ") || !ReadHexDigest(hex, end, entry->digest)) {
        return ManifestNoDigest;
    }
    return TakePath(at, hex - 4, escaped, entry);
}

static ManifestFormat DetectFormat(const char* at, const char* end) {
    if (StartsWith(at, end, "%%%% HASHDEEP")) return ManifestHashdeep;
    if (*at == '\\') ++at;
    // Any "NAME (" opening: a BSD line, of Whirlpool or not.
    const char* p = at;
    while (p < end && ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '-')) {
        ++p;
    }
    if (p > at && p - at < 20 && StartsWith(p, end, " (")) return ManifestBsd;
    return ManifestPlain;
}

template <typename Char>
bool ParseManifest(const char* text, size_t length, std::vector<ManifestEntry<Char>>* entries,
                   ManifestProblem* problem) {
    const char* end = text + length;
    const char* at = text;
    if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) at += 3;
    bool known = false;
    ManifestFormat format = ManifestPlain;
    HashdeepColumns columns = {0, -1, -1};
    for (int number = 1; at < end; ++number) {
        const char* stop = at;
        while (stop < end && *stop != '\n') ++stop;
        const char* next = stop < end ? stop + 1 : end;
        if (stop > at && stop[-1] == '\r') --stop;
        const char* line = at;
        at = next;
        if (line == stop || (!known && (*line == '#' || *line == ';'))) continue;
        if (!known) format = DetectFormat(line, stop);
        known = true;
        ManifestEntry<Char> entry;
        entry.size = -1;
        entry.line = number;
        ManifestError error;
        if (format == ManifestHashdeep) {
            if (StartsWith(line, stop, "##")) continue;
            if (StartsWith(line, stop, "%%%% ")) {
                if (!StartsWith(line, stop, "%%%% HASHDEEP")) ReadHashdeepColumns(line, stop, &columns);
                continue;
            }
            error = ReadHashdeepLine(line, stop, columns, &entry);
        } else {
            if (*line == '#' || *line == ';') continue;
            error = format == ManifestBsd ? ReadBsdLine(line, stop, &entry) : ReadPlainLine(line, stop, &entry);
        }
        if (error != ManifestFine) {
            *problem = {number, error};
            return false;
        }
        entries->push_back(std::move(entry));
    }
    return true;
}

const char* ManifestHeader(ManifestFormat format) {
    if (format != ManifestHashdeep) return "";
    return "%%%% HASHDEEP-1.0\n%%%% size,whirlpool,filename\n## Written by quorvane export\n##\n";
}

template <typename Char>
static bool HasLoneSurrogate(const Char* path, int length) {
    for (int i = 0; i < length;) {
        uint32_t c;
        i = NextCodePoint(path, i, length, &c);
        if (c >= 0xD800 && c <= 0xDFFF) return true;
    }
    return false;
}

// Bytes hold no surrogates: a name that is no UTF-8 is written as it is.
static bool HasLoneSurrogate(const char*, int) { return false; }

template <typename Char>
static void AppendAscii(const char* text, std::basic_string<Char>* out) {
    for (const char* p = text; *p; ++p) out->push_back(Char(*p));
}

template <typename Char>
bool AppendManifestLine(ManifestFormat format, const uint8_t digest[64], uint64_t size, const Char* path, int length,
                        std::basic_string<Char>* line) {
    if (HasLoneSurrogate(path, length)) return false;
    char hex[HexDigits + 1];
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < 64; ++i) {
        hex[2 * i] = digits[digest[i] >> 4];
        hex[2 * i + 1] = digits[digest[i] & 15];
    }
    hex[HexDigits] = 0;
    if (format == ManifestHashdeep) {
        for (int i = 0; i < length; ++i) {
            if (path[i] == Char('\n') || path[i] == Char('\r')) return false;
        }
        AppendAscii(std::to_string(size).c_str(), line);
        line->push_back(Char(','));
        AppendAscii(hex, line);
        line->push_back(Char(','));
        line->append(path, length);
        line->push_back(Char('\n'));
        return true;
    }
    bool escaped = NameNeedsEscape(path, length, false);
    if (escaped) line->push_back(Char('\\'));
    if (format == ManifestPlain) {
        AppendAscii(hex, line);
        AppendAscii("  ", line);
    } else {
        AppendAscii("WHIRLPOOL (", line);
    }
    // rhash takes blanks and a '*' before a name for the line's own: "./" keeps them the name's.
    if (length > 0 && (path[0] == Char(' ') || path[0] == Char('*'))) AppendAscii("./", line);
    if (escaped) {
        AppendEscapedName(path, length, line);
    } else {
        line->append(path, length);
    }
    if (format == ManifestBsd) {
        AppendAscii(") = ", line);
        AppendAscii(hex, line);
    }
    line->push_back(Char('\n'));
    return true;
}

#define QUORVANE_MANIFEST_LINES(Char)                                                                      \
    template bool ParseManifest(const char*, size_t, std::vector<ManifestEntry<Char>>*, ManifestProblem*); \
    template bool AppendManifestLine(ManifestFormat, const uint8_t*, uint64_t, const Char*, int,           \
                                     std::basic_string<Char>*);                                            \
    template bool NameNeedsEscape(const Char*, int, bool);                                                 \
    template void AppendEscapedName(const Char*, int, std::basic_string<Char>*);                           \
    template bool ReadEscapedName(const Char*, int, std::basic_string<Char>*);
QUORVANE_MANIFEST_LINES(char)
QUORVANE_MANIFEST_LINES(wchar_t)
