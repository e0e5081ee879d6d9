#include "cli/record_text.h"

#include "store/manifest.h"

template <typename Char>
void AppendPlainRecord(const Char* word, const Char* path, int length, bool nulRecords, bool windowsRules,
                       std::basic_string<Char>* record) {
    bool escaped = !nulRecords && NameNeedsEscape(path, length, windowsRules);
    if (escaped) record->push_back(Char('\\'));
    for (const Char* w = word; *w; ++w) record->push_back(*w);
    record->push_back(Char(' '));
    record->push_back(Char(' '));
    if (escaped) {
        AppendEscapedName(path, length, record);
    } else {
        record->append(path, length);
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
        if (line[i] == Char('\n')) return false;
    }
    if (!escaped) {
        path->assign(line + blanks + 2, length - blanks - 2);
        return true;
    }
    return ReadEscapedName(line + blanks + 2, length - blanks - 2, path);
}

template void AppendPlainRecord(const char*, const char*, int, bool, bool, std::basic_string<char>*);
template void AppendPlainRecord(const wchar_t*, const wchar_t*, int, bool, bool, std::basic_string<wchar_t>*);
template bool ParsePlainRecord(const char*, int, std::basic_string<char>*, std::basic_string<char>*);
template bool ParsePlainRecord(const wchar_t*, int, std::basic_string<wchar_t>*, std::basic_string<wchar_t>*);
