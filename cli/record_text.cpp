#include "cli/record_text.h"

template <typename Char>
static bool IsControl(Char c) {
    return (c >= Char(0) && c < Char(0x20)) || c == Char(0x7F);
}

template <typename Char>
static bool NeedsEscaping(const Char* path, int length, bool windowsRules) {
    for (int i = 0; i < length; i++) {
        if (IsControl(path[i]) || (!windowsRules && path[i] == Char('\\'))) return true;
    }
    return false;
}

template <typename Char>
void AppendPlainRecord(const Char* word, const Char* path, int length, bool nulRecords, bool windowsRules,
                       std::basic_string<Char>* record) {
    bool escaped = !nulRecords && NeedsEscaping(path, length, windowsRules);
    if (escaped) record->push_back(Char('\\'));
    for (const Char* w = word; *w; ++w) record->push_back(*w);
    record->push_back(Char(' '));
    record->push_back(Char(' '));
    if (!escaped) {
        record->append(path, length);
    } else {
        static const char hex[] = "0123456789abcdef";
        for (int i = 0; i < length; i++) {
            Char c = path[i];
            if (c == Char('\\')) {
                record->push_back(Char('\\'));
                record->push_back(Char('\\'));
            } else if (c == Char('\n')) {
                record->push_back(Char('\\'));
                record->push_back(Char('n'));
            } else if (c == Char('\r')) {
                record->push_back(Char('\\'));
                record->push_back(Char('r'));
            } else if (c == Char('\t')) {
                record->push_back(Char('\\'));
                record->push_back(Char('t'));
            } else if (IsControl(c)) {
                unsigned value = static_cast<unsigned>(c);
                record->push_back(Char('\\'));
                record->push_back(Char('x'));
                record->push_back(Char(hex[value >> 4]));
                record->push_back(Char(hex[value & 15]));
            } else {
                record->push_back(c);
            }
        }
    }
    record->push_back(nulRecords ? Char(0) : Char('\n'));
}

PathString FormatPlainRecord(const PathChar* word, const PathString& path, bool nulRecords) {
    PathString record;
    AppendPlainRecord(word, path.data(), static_cast<int>(path.size()), nulRecords, PathSeparator == PathChar('\\'),
                      &record);
    return record;
}

template <typename Char>
static int HexValue(Char c) {
    if (c >= Char('0') && c <= Char('9')) return static_cast<int>(c - Char('0'));
    if (c >= Char('a') && c <= Char('f')) return static_cast<int>(c - Char('a')) + 10;
    return -1;
}

template <typename Char>
bool ParsePlainRecord(const Char* line, int length, std::basic_string<Char>* word, std::basic_string<Char>* path) {
    int at = 0;
    bool escaped = length > 0 && line[0] == Char('\\');
    if (escaped) at = 1;
    int blanks = at;
    while (blanks + 1 < length && !(line[blanks] == Char(' ') && line[blanks + 1] == Char(' '))) ++blanks;
    if (blanks + 1 >= length) return false;
    word->assign(line + at, blanks - at);
    path->clear();
    for (int i = blanks + 2; i < length; i++) {
        Char c = line[i];
        if (c == Char('\n')) return false;
        if (!escaped || c != Char('\\')) {
            path->push_back(c);
            continue;
        }
        if (++i == length) return false;
        Char e = line[i];
        if (e == Char('\\')) {
            path->push_back(Char('\\'));
        } else if (e == Char('n')) {
            path->push_back(Char('\n'));
        } else if (e == Char('r')) {
            path->push_back(Char('\r'));
        } else if (e == Char('t')) {
            path->push_back(Char('\t'));
        } else if (e == Char('x') && i + 2 < length && HexValue(line[i + 1]) >= 0 && HexValue(line[i + 2]) >= 0) {
            path->push_back(static_cast<Char>(HexValue(line[i + 1]) * 16 + HexValue(line[i + 2])));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

template void AppendPlainRecord(const char*, const char*, int, bool, bool, std::basic_string<char>*);
template void AppendPlainRecord(const wchar_t*, const wchar_t*, int, bool, bool, std::basic_string<wchar_t>*);
template bool ParsePlainRecord(const char*, int, std::basic_string<char>*, std::basic_string<char>*);
template bool ParsePlainRecord(const wchar_t*, int, std::basic_string<wchar_t>*, std::basic_string<wchar_t>*);
