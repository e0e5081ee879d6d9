#include "cli/json_record.h"

#include "store/code_points.h"

static const char HexDigits[] = "0123456789abcdef";

template <typename Char>
static void AppendAscii(const char* text, std::basic_string<Char>* out) {
    for (; *text; ++text) out->push_back(static_cast<Char>(*text));
}

template <typename Char>
static void AppendHexBytes(const uint8_t* bytes, int count, std::basic_string<Char>* out) {
    for (int i = 0; i < count; i++) {
        out->push_back(static_cast<Char>(HexDigits[bytes[i] >> 4]));
        out->push_back(static_cast<Char>(HexDigits[bytes[i] & 15]));
    }
}

template <typename Char>
static int TextLength(const Char* text) {
    int n = 0;
    while (text[n]) ++n;
    return n;
}

// Whether every unit belongs to a well-formed character.
template <typename Char>
static bool IsWellFormed(const Char* text, int length) {
    for (int i = 0; i < length;) {
        uint32_t c;
        i = NextCodePoint(text, i, length, &c);
        if (IsInvalidUnit(c)) return false;
    }
    return true;
}

template <typename Char>
static void AppendReplacementCharacter(std::basic_string<Char>* out) {
    if (sizeof(Char) == 1) {
        AppendAscii("\xEF\xBF\xBD", out);
    } else {
        out->push_back(static_cast<Char>(0xFFFD));
    }
}

// The text as a JSON string: quotes, backslashes and control characters (C0,
// DEL, C1) escaped, other characters as they are; a unit of a malformed
// sequence becomes U+FFFD (the path never comes here malformed).
template <typename Char>
static void AppendJsonString(const Char* text, int length, std::basic_string<Char>* out) {
    out->push_back(Char('"'));
    for (int i = 0; i < length;) {
        uint32_t c;
        int next = NextCodePoint(text, i, length, &c);
        if (IsInvalidUnit(c)) {
            AppendReplacementCharacter(out);
        } else if (c == '"' || c == '\\') {
            out->push_back(Char('\\'));
            out->push_back(static_cast<Char>(c));
        } else if (c == '\n') {
            AppendAscii("\\n", out);
        } else if (c == '\r') {
            AppendAscii("\\r", out);
        } else if (c == '\t') {
            AppendAscii("\\t", out);
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            AppendAscii("\\u00", out);
            out->push_back(static_cast<Char>(HexDigits[c >> 4]));
            out->push_back(static_cast<Char>(HexDigits[c & 15]));
        } else {
            out->append(text + i, next - i);
        }
        i = next;
    }
    out->push_back(Char('"'));
}

template <typename Char>
static void AppendField(const char* name, std::basic_string<Char>* out) {
    AppendAscii(",\"", out);
    AppendAscii(name, out);
    AppendAscii("\":", out);
}

// Days since 1970-01-01 as a proleptic Gregorian date (H. Hinnant's
// civil_from_days), exact for the whole range of both time units.
static void DateOfDays(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    *year = yearOfEra + era * 400 + (*month <= 2);
}

static void AppendDigits(uint64_t value, int width, std::string* out) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    while (n < width) digits[n++] = '0';
    while (n) out->push_back(digits[--n]);
}

std::string FormatIsoTime(const FileFacts& facts) {
    int64_t seconds;
    int32_t nanoseconds;
    if (FileTimeOutOfRange(facts) || !SplitFileTime(facts, &seconds, &nanoseconds)) return std::string();
    int64_t days = seconds / 86400, secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        days -= 1;
        secondOfDay += 86400;
    }
    int64_t year;
    int month, day;
    DateOfDays(days, &year, &month, &day);
    std::string text;
    if (year > 9999) text += '+';
    if (year < 0) text += '-';
    AppendDigits(static_cast<uint64_t>(year < 0 ? -year : year), 4, &text);
    text += '-';
    AppendDigits(month, 2, &text);
    text += '-';
    AppendDigits(day, 2, &text);
    text += 'T';
    AppendDigits(secondOfDay / 3600, 2, &text);
    text += ':';
    AppendDigits(secondOfDay / 60 % 60, 2, &text);
    text += ':';
    AppendDigits(secondOfDay % 60, 2, &text);
    text += '.';
    if (facts.unit == TimeUnitWindows) {
        AppendDigits(nanoseconds / 100, 7, &text);
    } else {
        AppendDigits(nanoseconds, 9, &text);
    }
    text += 'Z';
    return text;
}

// A size and a last-write time as two fields; no time where it is unknown.
template <typename Char>
static void AppendFacts(const FileFacts& facts, const char* sizeName, const char* timeName,
                        std::basic_string<Char>* line) {
    std::string size;
    AppendDigits(facts.size, 1, &size);
    AppendField(sizeName, line);
    AppendAscii(size.c_str(), line);
    std::string time = FormatIsoTime(facts);
    if (time.empty()) return;
    AppendField(timeName, line);
    line->push_back(Char('"'));
    AppendAscii(time.c_str(), line);
    line->push_back(Char('"'));
}

template <typename Char>
std::basic_string<Char> FormatJsonRecord(const JsonRecordOf<Char>& record) {
    std::basic_string<Char> line;
    AppendAscii("{\"word\":", &line);
    AppendJsonString(record.word, TextLength(record.word), &line);
    int pathLength = TextLength(record.path);
    if (IsWellFormed(record.path, pathLength)) {
        AppendField("path", &line);
        AppendJsonString(record.path, pathLength, &line);
    } else {
        AppendField("path_hex", &line);
        line.push_back(Char('"'));
        for (int i = 0; i < pathLength; i++) {
            // Bytes as they are; wider units as UTF-16LE, low byte first.
            uint32_t unit = static_cast<uint32_t>(record.path[i]) & (sizeof(Char) == 1 ? 0xFF : 0xFFFF);
            uint8_t bytes[2] = {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)};
            AppendHexBytes(bytes, sizeof(Char) == 1 ? 1 : 2, &line);
        }
        line.push_back(Char('"'));
    }
    if (record.reason && record.reason[0]) {
        AppendField("reason", &line);
        AppendJsonString(record.reason, TextLength(record.reason), &line);
    }
    if (record.stored) {
        AppendField("stored", &line);
        line.push_back(Char('"'));
        AppendHexBytes(record.stored, record.storedLength, &line);
        line.push_back(Char('"'));
        // A longer value is shown by its first bytes: say how long it is.
        if (record.storedWhole > record.storedLength) {
            std::string length;
            AppendDigits(static_cast<uint64_t>(record.storedWhole), 1, &length);
            AppendField("stored_length", &line);
            AppendAscii(length.c_str(), &line);
        }
    }
    if (record.computed) {
        AppendField("computed", &line);
        line.push_back(Char('"'));
        AppendHexBytes(record.computed, 64, &line);
        line.push_back(Char('"'));
    }
    if (record.facts) AppendFacts(*record.facts, "size", "modified", &line);
    if (record.recorded) AppendFacts(*record.recorded, "recorded_size", "recorded_modified", &line);
    AppendAscii("}\n", &line);
    return line;
}

template std::basic_string<char> FormatJsonRecord(const JsonRecordOf<char>&);
template std::basic_string<wchar_t> FormatJsonRecord(const JsonRecordOf<wchar_t>&);
