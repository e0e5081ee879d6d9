// Plain records: whatever the path holds, a line-feed-ended record holds no
// other line feed and reads back to the same word and path; a record that is
// not escaped holds no control character (nor, under POSIX rules, a
// backslash); with -0 the path is written as it is.
//
// Input: a flags byte (bit 0 Windows rules, bit 1 -0, bit 2 wide units),
// then the path.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/record_text.h"

namespace {

template <typename Char>
void Check(const std::basic_string<Char>& path, bool windowsRules, bool nul) {
    const Char word[] = {'a', 'l', 't', 'e', 'r', 'e', 'd', 0};
    std::basic_string<Char> record;
    AppendPlainRecord(word, path.data(), static_cast<int>(path.size()), nul, windowsRules, &record);
    if (record.empty() || record.back() != (nul ? Char(0) : Char('\n'))) abort();
    std::basic_string<Char> body = record.substr(0, record.size() - 1);
    if (nul) {
        if (body != std::basic_string<Char>(word) + Char(' ') + Char(' ') + path) abort();
        return;
    }
    if (body.find(Char('\n')) != std::basic_string<Char>::npos) abort();
    bool escaped = !body.empty() && body[0] == Char('\\');
    if (!escaped) {
        for (Char c : path) {
            uint32_t u = static_cast<uint32_t>(c) & (sizeof(Char) == 1 ? 0xFF : 0xFFFFFFFF);
            if (u < 0x20 || u == 0x7F || (!windowsRules && u == '\\')) abort();
        }
    } else {
        for (Char c : body) {
            uint32_t u = static_cast<uint32_t>(c) & (sizeof(Char) == 1 ? 0xFF : 0xFFFFFFFF);
            if (u < 0x20 || u == 0x7F) abort();
        }
    }
    std::basic_string<Char> readWord, readPath;
    if (!ParsePlainRecord(body.data(), static_cast<int>(body.size()), &readWord, &readPath)) abort();
    if (readWord != word || readPath != path) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    unsigned flags = data[0];
    if (!(flags & 4)) {
        std::string path;
        for (size_t i = 1; i < size; i++) {
            if (data[i] != 0) path.push_back(static_cast<char>(data[i]));
        }
        Check(path, flags & 1, flags & 2);
    } else {
        std::wstring path;
        for (size_t i = 1; i + 1 < size; i += 2) {
            wchar_t unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
            if (unit != 0) path.push_back(unit);
        }
        Check(path, flags & 1, flags & 2);
    }
    return 0;
}
