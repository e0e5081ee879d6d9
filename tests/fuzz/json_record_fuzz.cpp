// JSON lines: whatever the path and reason hold, the line is one object and
// a line feed that a strict scanner (written here, RFC 8259) accepts, in
// well-formed UTF-8 (bytes) or UTF-16 (wide); and "path" or "path_hex" gives
// back exactly the path that went in.
//
// FormatIsoTime is also checked against the C library's calendar.
//
// Input: a flags byte (bit 0 wide units, bits 1-5 which fields and time
// unit), then the path, a 0 byte (unit), the reason.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <map>
#include <string>

#include "cli/json_record.h"

namespace {

// One character of well-formed UTF-8 (bytes) or UTF-16 (wider units): the
// units it takes, 0 when malformed.
template <typename Char>
int DecodeOne(const Char* at, const Char* end, uint32_t* value) {
    uint32_t c = static_cast<uint32_t>(*at) & (sizeof(Char) == 1 ? 0xFF : 0xFFFFFFFF);
    if (sizeof(Char) == 1) {
        int need = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
        if (need < 0 || end - at <= need) return 0;
        uint32_t v = need == 0 ? c : c & (0x3F >> need);
        for (int k = 1; k <= need; k++) {
            uint32_t b = static_cast<unsigned char>(at[k]);
            if ((b & 0xC0) != 0x80) return 0;
            v = (v << 6) | (b & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (v < minimum[need] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
        *value = v;
        return need + 1;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return 0;
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (end - at < 2) return 0;
        uint32_t low = static_cast<uint32_t>(at[1]);
        if (low < 0xDC00 || low > 0xDFFF) return 0;
        *value = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        return 2;
    }
    if (c > 0xFFFF) return 0;
    *value = c;
    return 1;
}

template <typename Char>
struct Scanner {
    const Char* at;
    const Char* end;
};

template <typename Char>
void SkipBlanks(Scanner<Char>* s) {
    while (s->at < s->end && (*s->at == ' ' || *s->at == '\t' || *s->at == '\n' || *s->at == '\r')) ++s->at;
}

// A string into code points; false when it breaks the grammar.
template <typename Char>
bool ScanString(Scanner<Char>* s, std::u32string* out) {
    if (s->at >= s->end || *s->at != '"') return false;
    ++s->at;
    while (true) {
        if (s->at >= s->end) return false;
        uint32_t c = static_cast<uint32_t>(*s->at) & (sizeof(Char) == 1 ? 0xFF : 0xFFFFFFFF);
        if (c == '"') {
            ++s->at;
            return true;
        }
        if (c < 0x20) return false;
        if (c != '\\') {
            uint32_t v;
            int units = DecodeOne(s->at, s->end, &v);
            if (units == 0) return false;
            out->push_back(v);
            s->at += units;
            continue;
        }
        if (++s->at >= s->end) return false;
        uint32_t e = static_cast<uint32_t>(*s->at++);
        const char* simple = "\"\\/bfnrt";
        const char* mapped = "\"\\/\b\f\n\r\t";
        const char* hit = e > 0 && e < 128 ? std::strchr(simple, static_cast<int>(e)) : nullptr;
        if (hit) {
            out->push_back(static_cast<unsigned char>(mapped[hit - simple]));
            continue;
        }
        if (e != 'u') return false;
        uint32_t v = 0;
        for (int k = 0; k < 4; k++) {
            if (s->at >= s->end) return false;
            uint32_t h = static_cast<uint32_t>(*s->at++);
            int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + d;
        }
        // The writer never escapes a surrogate.
        if (v >= 0xD800 && v <= 0xDFFF) return false;
        out->push_back(v);
    }
}

// An integer, as the writer gives sizes.
template <typename Char>
bool ScanNumber(Scanner<Char>* s, std::u32string* out) {
    const Char* start = s->at;
    if (s->at < s->end && *s->at == '-') ++s->at;
    if (s->at >= s->end) return false;
    if (*s->at == '0') {
        ++s->at;
    } else {
        if (*s->at < '1' || *s->at > '9') return false;
        while (s->at < s->end && *s->at >= '0' && *s->at <= '9') ++s->at;
    }
    for (const Char* p = start; p < s->at; ++p) out->push_back(static_cast<uint32_t>(*p));
    return true;
}

// One flat object: string keys, string or number values, no key twice.
template <typename Char>
bool ScanObject(Scanner<Char>* s, std::map<std::u32string, std::u32string>* fields) {
    SkipBlanks(s);
    if (s->at >= s->end || *s->at != '{') return false;
    ++s->at;
    SkipBlanks(s);
    if (s->at < s->end && *s->at == '}') return ++s->at, true;
    while (true) {
        SkipBlanks(s);
        std::u32string key, value;
        if (!ScanString(s, &key)) return false;
        SkipBlanks(s);
        if (s->at >= s->end || *s->at != ':') return false;
        ++s->at;
        SkipBlanks(s);
        bool scanned = s->at < s->end && *s->at == '"' ? ScanString(s, &value) : ScanNumber(s, &value);
        if (!scanned || !fields->emplace(key, value).second) return false;
        SkipBlanks(s);
        if (s->at >= s->end) return false;
        if (*s->at == '}') return ++s->at, true;
        if (*s->at != ',') return false;
        ++s->at;
    }
}

std::u32string Ascii(const char* text) {
    std::u32string out;
    for (; *text; ++text) out.push_back(static_cast<unsigned char>(*text));
    return out;
}

template <typename Char>
std::u32string Decoded(const std::basic_string<Char>& text, bool* wellFormed) {
    std::u32string out;
    const Char* at = text.data();
    const Char* end = at + text.size();
    *wellFormed = true;
    while (at < end) {
        uint32_t v;
        int units = DecodeOne(at, end, &v);
        if (units == 0) {
            *wellFormed = false;
            return out;
        }
        out.push_back(v);
        at += units;
    }
    return out;
}

template <typename Char>
void Check(const std::basic_string<Char>& path, const std::basic_string<Char>& reason, unsigned flags) {
    uint8_t digest[64];
    for (int i = 0; i < 64; i++) digest[i] = static_cast<uint8_t>(i * 37);
    FileFacts facts = {static_cast<uint64_t>(path.size()) << 40, static_cast<int64_t>(reason.size()) * -987654321987LL,
                       flags & 16 ? TimeUnitWindows : TimeUnitPosix};
    Char word[] = {'w', 'o', 'r', 'd', 0};
    JsonRecordOf<Char> record = {word, path.c_str(), flags & 2 ? reason.c_str() : nullptr,
                                 flags & 4 ? digest : nullptr, static_cast<int>(path.size() % 65),
                                 flags & 8 ? digest : nullptr, flags & 32 ? &facts : nullptr};
    std::basic_string<Char> line = FormatJsonRecord(record);
    if (line.empty() || line.back() != Char('\n')) abort();
    Scanner<Char> scanner = {line.data(), line.data() + line.size() - 1};
    std::map<std::u32string, std::u32string> fields;
    if (!ScanObject(&scanner, &fields) || scanner.at != scanner.end) abort();
    for (Char c : line.substr(0, line.size() - 1)) {
        if (static_cast<uint32_t>(c) < 0x20) abort();
    }

    bool wellFormed;
    std::u32string expected = Decoded(path, &wellFormed);
    if (wellFormed) {
        if (fields.count(Ascii("path_hex")) || fields[Ascii("path")] != expected) abort();
    } else {
        if (fields.count(Ascii("path"))) abort();
        std::u32string hex = fields[Ascii("path_hex")];
        std::u32string back;
        static const char digits[] = "0123456789abcdef";
        for (Char c : path) {
            uint32_t u = static_cast<uint32_t>(c) & (sizeof(Char) == 1 ? 0xFF : 0xFFFF);
            int bytes = sizeof(Char) == 1 ? 1 : 2;
            for (int b = 0; b < bytes; b++) {
                back.push_back(static_cast<unsigned char>(digits[(u >> (8 * b + 4)) & 15]));
                back.push_back(static_cast<unsigned char>(digits[(u >> (8 * b)) & 15]));
            }
        }
        if (hex != back) abort();
    }
    if (fields[Ascii("word")] != Ascii("word")) abort();
    if (((flags & 2) && !reason.empty()) != (fields.count(Ascii("reason")) == 1)) abort();
}

// The time's text against the C library's calendar (gmtime_r on a 64-bit time_t).
void CheckTime(const uint8_t* data, size_t size) {
    uint64_t bits = 0;
    for (size_t i = 0; i < 8 && i < size; i++) bits |= static_cast<uint64_t>(data[i]) << (8 * i);
    FileFacts facts = {0, static_cast<int64_t>(bits), bits & 1 ? TimeUnitWindows : TimeUnitPosix};
    // The ends of the nanosecond range stand for times beyond it: none is told.
    if (facts.unit == TimeUnitPosix && (facts.time == INT64_MAX || facts.time == INT64_MIN)) {
        if (!FormatIsoTime(facts).empty()) abort();
        return;
    }
    int64_t unitsPerSecond = facts.unit == TimeUnitWindows ? 10000000 : 1000000000;
    int64_t seconds = facts.time / unitsPerSecond, fraction = facts.time % unitsPerSecond;
    if (fraction < 0) seconds -= 1, fraction += unitsPerSecond;
    if (facts.unit == TimeUnitWindows) seconds -= 11644473600LL;
    time_t t = static_cast<time_t>(seconds);
    struct tm tm;
    if (!gmtime_r(&t, &tm)) abort();
    long long year = tm.tm_year + 1900LL;
    char expected[64];
    snprintf(expected, sizeof expected, "%s%04lld-%02d-%02dT%02d:%02d:%02d.%0*lldZ",
             year > 9999 ? "+" : year < 0 ? "-" : "", year < 0 ? -year : year, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
             tm.tm_min, tm.tm_sec, facts.unit == TimeUnitWindows ? 7 : 9, static_cast<long long>(fraction));
    if (FormatIsoTime(facts) != expected) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    CheckTime(data, size);
    unsigned flags = data[0];
    const uint8_t* rest = data + 1;
    size_t restSize = size - 1;
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(rest, 0, restSize));
    size_t pathSize = split ? static_cast<size_t>(split - rest) : restSize;
    if (!(flags & 1)) {
        std::string path(reinterpret_cast<const char*>(rest), pathSize);
        std::string reason = split ? std::string(reinterpret_cast<const char*>(split + 1), restSize - pathSize - 1) : "";
        reason = reason.c_str();
        Check(path, reason, flags);
    } else {
        // Units of two bytes each, little-endian; a 0 unit ends the path.
        std::wstring path, reason;
        std::wstring* into = &path;
        for (size_t i = 0; i + 1 < restSize; i += 2) {
            wchar_t unit = static_cast<wchar_t>(rest[i] | rest[i + 1] << 8);
            if (unit == 0) {
                if (into == &reason) break;
                into = &reason;
                continue;
            }
            into->push_back(unit);
        }
        Check(path, reason, flags);
    }
    return 0;
}
