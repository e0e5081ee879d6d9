// Prints the JSON line of a record for each path given, for
// json_lines_check.py to read back with a real parser.
#include <cstdio>

#include "cli/json_record.h"

int main(int argc, char** argv) {
    uint8_t stored[64], computed[64];
    for (int i = 0; i < 64; i++) stored[i] = static_cast<uint8_t>(i), computed[i] = static_cast<uint8_t>(i * 3);
    FileFacts facts = {1234, -1234567890123, TimeUnitPosix};
    for (int i = 1; i < argc; i++) {
        JsonRecordOf<char> record = {"altered", argv[i], "a \"reason\"\t\x01\xFF", stored, 64, computed, &facts, nullptr, 0};
        std::string line = FormatJsonRecord(record);
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}
