// How a path reaches the file system and how it is shown. Written for any
// character type so that the Windows rules ("\\?\" prefix, ":z" suffix) are
// tested on every system; the store uses them with the platform's own prefix
// and suffix (both empty on POSIX, where paths are used as given).
#pragma once

template <typename Char>
int TextLength(const Char* text) {
    int n = 0;
    while (text[n]) ++n;
    return n;
}

// A path that begins with a backslash (UNC, or already prefixed) is used
// unchanged; any other gets the prefix.
template <typename Char>
bool UsesPathAsGiven(const Char* path) {
    return path[0] == Char('\\');
}

// The path less a leading prefix.
template <typename Char>
const Char* DisplayTextOf(const Char* path, const Char* prefix, int prefixLength) {
    for (int i = 0; i < prefixLength; ++i) {
        if (path[i] != prefix[i]) return path;
    }
    return path + prefixLength;
}

// Walk layout: the argument, prefixed unless used as given, at unit 0. The
// length written, or -1 when it would exceed maxLength characters.
template <typename Char>
int FormatWalkPath(const Char* arg, const Char* prefix, int prefixLength, int maxLength, Char* buffer) {
    int n = 0;
    if (!UsesPathAsGiven(arg)) {
        for (; n < prefixLength; ++n) buffer[n] = prefix[n];
    }
    for (const Char* p = arg; *p; ++p) {
        if (n >= maxLength) return -1;
        buffer[n++] = *p;
    }
    buffer[n] = 0;
    return n;
}

// List layout: the prefix stands at units 0 .. prefixLength-1 and the entry
// follows it; the file-system path starts at the entry when the entry is used
// as given, else at unit 0.
template <typename Char>
Char* ListLayoutPath(Char* buffer, int prefixLength) {
    return UsesPathAsGiven(buffer + prefixLength) ? buffer + prefixLength : buffer;
}

