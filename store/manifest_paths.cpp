// The paths a manifest names, against the folder they are relative to, and
// the UTF-8 the file holds.
#include "store/manifest.h"

#include <cstring>

#include "store/code_points.h"

template <typename Char>
static void AppendAscii(const char* text, std::basic_string<Char>* out) {
    for (const char* p = text; *p; ++p) out->push_back(Char(*p));
}

template <typename Char>
static bool IsSeparator(Char c, bool windowsRules) {
    return c == Char('/') || (windowsRules && c == Char('\\'));
}

// The units of path's root: "/" (POSIX); "X:\", "X:", "\\server\share\"
// or a lone "\" (Windows); 0 for a relative path.
template <typename Char>
static size_t RootLength(const std::basic_string<Char>& path, bool windowsRules) {
    size_t n = path.size();
    if (n == 0 || !windowsRules) return n > 0 && path[0] == Char('/') ? 1 : 0;
    if (n >= 2 && path[1] == Char(':')) return n >= 3 && IsSeparator(path[2], true) ? 3 : 2;
    if (!IsSeparator(path[0], true)) return 0;
    if (n < 2 || !IsSeparator(path[1], true)) return 1;
    size_t at = 2;
    for (int names = 0; names < 2 && at < n; ++names) {
        while (at < n && !IsSeparator(path[at], true)) ++at;
        if (at < n) ++at;
    }
    return at;
}

// The names after a root, less empty ones and ".", each ".." taking the one before.
template <typename Char>
static void SplitNames(const std::basic_string<Char>& path, size_t from, bool windowsRules,
                       std::vector<std::basic_string<Char>>* names) {
    size_t at = from;
    while (at < path.size()) {
        size_t stop = at;
        while (stop < path.size() && !IsSeparator(path[stop], windowsRules)) ++stop;
        std::basic_string<Char> name = path.substr(at, stop - at);
        at = stop + 1;
        if (name.empty() || name == std::basic_string<Char>(1, Char('.'))) continue;
        if (name == std::basic_string<Char>(2, Char('.'))) {
            if (!names->empty()) names->pop_back();
            continue;
        }
        names->push_back(name);
    }
}

template <typename Char>
std::basic_string<Char> ResolveManifestPath(const std::basic_string<Char>& base, const std::basic_string<Char>& path,
                                            bool windowsRules) {
    Char separator = windowsRules ? Char('\\') : Char('/');
    size_t root = RootLength(path, windowsRules);
    std::basic_string<Char> whole;
    if (root == 0) {
        whole = base + separator + path;
    } else if (windowsRules && root == 1) {
        // "\name": the root of base's drive.
        whole = base.substr(0, RootLength(base, true)) + path.substr(1);
    } else {
        whole = path;
    }
    root = RootLength(whole, windowsRules);
    std::basic_string<Char> clean = whole.substr(0, root);
    for (Char& c : clean) {
        if (IsSeparator(c, windowsRules)) c = separator;
    }
    if (clean.empty() || clean.back() != separator) clean.push_back(separator);
    std::vector<std::basic_string<Char>> names;
    SplitNames(whole, root, windowsRules, &names);
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) clean.push_back(separator);
        clean += names[i];
    }
    return clean;
}

template <typename Char>
std::basic_string<Char> RelativeManifestPath(const std::basic_string<Char>& base, const std::basic_string<Char>& path,
                                             bool windowsRules) {
    size_t baseRoot = RootLength(base, windowsRules);
    size_t pathRoot = RootLength(path, windowsRules);
    std::basic_string<Char> relative;
    std::vector<std::basic_string<Char>> from, to;
    SplitNames(base, baseRoot, windowsRules, &from);
    SplitNames(path, pathRoot, windowsRules, &to);
    size_t shared = 0;
    if (base.compare(0, baseRoot, path, 0, pathRoot) == 0) {
        while (shared < from.size() && shared < to.size() && from[shared] == to[shared]) ++shared;
        for (size_t i = shared; i < from.size(); ++i) AppendAscii("../", &relative);
    } else {
        relative = path.substr(0, pathRoot);
        for (Char& c : relative) {
            if (IsSeparator(c, windowsRules)) c = Char('/');
        }
        if (relative.back() != Char('/')) relative.push_back(Char('/'));
    }
    for (size_t i = shared; i < to.size(); ++i) {
        if (i > shared) relative.push_back(Char('/'));
        relative += to[i];
    }
    return relative;
}

template <typename Char>
void AppendUtf8(const Char* units, size_t length, std::string* out) {
    if (sizeof(Char) == 1) {
        out->append(reinterpret_cast<const char*>(units), length);
        return;
    }
    for (int i = 0; i < static_cast<int>(length);) {
        uint32_t c;
        i = NextCodePoint(units, i, static_cast<int>(length), &c);
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (c >> 12)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (c >> 18)));
            out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

template <typename Char>
bool NameSaysOtherHash(const std::basic_string<Char>& path) {
    static const char* const others[] = {"md5", "sha1", "sha224", "sha256", "sha384", "sha512", "sha3",
                                         "b2", "blake2", "blake3", "crc32", "sfv", "xxh"};
    size_t name = path.find_last_of(static_cast<Char>('/')) + 1;
    if (name == 0) name = path.find_last_of(static_cast<Char>('\\')) + 1;
    std::string lower;
    for (size_t i = name; i < path.size(); ++i) {
        Char unit = path[i];
        if (unit > 127) return false;
        lower.push_back(static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit + 32 : unit));
    }
    // "x.sha512", "x.sha512sum" and "SHA512SUMS" alike.
    size_t dot = lower.find_last_of('.');
    std::string word = dot == std::string::npos ? lower : lower.substr(dot + 1);
    for (const char* end : {"sums", "sum"}) {
        size_t n = std::strlen(end);
        if (word.size() > n && word.compare(word.size() - n, n, end) == 0) {
            word.resize(word.size() - n);
            break;
        }
    }
    if (dot == std::string::npos && word == lower) return false;
    for (const char* other : others) {
        if (word == other) return true;
    }
    return false;
}

#define QUORVANE_MANIFEST_PATHS(Char)                                                                      \
    template std::basic_string<Char> ResolveManifestPath(const std::basic_string<Char>&,                   \
                                                         const std::basic_string<Char>&, bool);            \
    template std::basic_string<Char> RelativeManifestPath(const std::basic_string<Char>&,                  \
                                                          const std::basic_string<Char>&, bool);           \
    template void AppendUtf8(const Char*, size_t, std::string*);                                           \
    template bool NameSaysOtherHash(const std::basic_string<Char>&);
QUORVANE_MANIFEST_PATHS(char)
QUORVANE_MANIFEST_PATHS(wchar_t)
