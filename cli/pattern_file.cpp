#include "cli/pattern_file.h"

#include "cli/output.h"
#include "platform/console.h"
#include "store/path_rules.h"

// More than any list of patterns a person writes: a file past it is no such list.
const size_t PatternFileLimit = 16 << 20;

// A pattern file, whole, or standard input for "-"; false with the reason.
bool ReadPatternFile(const PathString& path, std::string* bytes, PathString* problem) {
    int error = 0;
    if (path == PT("-")) {
        if (!ReadStandardInput(PatternFileLimit, bytes)) error = LastPlatformError();
    } else {
        PathString full = MakeAbsolutePath(path);
        if (!UsesPathAsGiven(full.c_str())) full.insert(0, LongPathPrefix);
        FileHandle file = OpenFileForReading(full.c_str());
        if (file == NoFile) {
            *problem = ReasonText(LastPlatformError());
            return false;
        }
        char piece[65536];
        uint32_t got;
        ClearPlatformError();
        while (bytes->size() <= PatternFileLimit && (got = ReadFileChunk(file, piece, sizeof piece)) > 0) {
            bytes->append(piece, got);
        }
        error = LastPlatformError();
        CloseFile(file);
    }
    if (bytes->size() > PatternFileLimit) {
        *problem = PT("larger than 16 MiB: no list of patterns");
        return false;
    }
    if (error != 0) *problem = ReasonText(error);
    return error == 0;
}
