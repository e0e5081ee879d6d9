// show and digest: one file after the other on the main thread, no run.
#include <atomic>
#include <cstdint>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/json_record.h"
#include "cli/output.h"
#include "engine/hash_file.h"
#include "store/operation_state.h"
#include "store/digest_record.h"
#include "store/path_rules.h"
#include "store/store.h"

// The path the system is given: absolute, and on Windows with the long-path
// prefix unless it is a UNC path; the path as typed is what gets printed.
static PathString FileSystemPath(const PathString& given) {
    PathString full = MakeAbsolutePath(given);
    if (UsesPathAsGiven(full.c_str())) return full;
    return PathString(LongPathPrefix) + full;
}

static PathString LowerHex(const uint8_t* bytes, int count) {
    static const char digits[] = "0123456789abcdef";
    PathString text;
    for (int i = 0; i < count; ++i) {
        text.push_back(static_cast<PathChar>(digits[bytes[i] >> 4]));
        text.push_back(static_cast<PathChar>(digits[bytes[i] & 15]));
    }
    return text;
}

// Why a file could not be opened: the system's reason, unless the path is
// no regular file at all. Counts the files that do not exist.
static PathString DescribeOpenFailure(const PathString& path, int error, size_t* missing) {
    switch (QueryPathKind(path.c_str())) {
        case PathMissing:
            ++*missing;
            return PlatformErrorText(LastPlatformError());
        case PathDirectory:
            return PT("Is a directory");
        case PathOther:
            return PT("Not a regular file");
        default:
            return PlatformErrorText(error);
    }
}

static PathString DescribeDigestFailure(const PathString& path, int count, int error) {
    if (count == DigestStreamUnreadable) return PlatformErrorText(error);
    if (QueryPathKind(path.c_str()) == PathMissing) return PlatformErrorText(LastPlatformError());
    return PT("no digest");
}

// The viewer's text: the path, an empty line, then the bytes as stored.
// What the record beside a 64-byte digest says, as a line; empty without one.
static PathString RecordLine(const uint8_t* record, int length, const uint8_t* digest) {
    if (length <= 0) return PathString();
    FileFacts recorded;
    if (ReadDigestRecord(record, length, digest, &recorded) != RecordUsable) {
        return PT("Recorded: nothing usable (a record not written with this digest)\n");
    }
    std::string time = FormatIsoTime(recorded);
    if (time.empty()) time = "at a time out of range";
    return PT("Recorded: ") + Widen(std::to_string(recorded.size).c_str()) + PT(" bytes, last written ") +
           Widen(time.c_str()) + PT("\n");
}

// The viewer's text, the path, an empty line, then the bytes as stored, and
// what the record beside them says.
static void PrintDigestBlock(const PathString& given, const uint8_t* bytes, int count, const PathString& record) {
    PathChar hex[3 * 64 + 1];
    AppendDigestHex(bytes, count, hex);
    PathString block = given + PT("\n\n") + hex;
    // A short stream's text ends in a blank; the console still ends the line.
    if (block.back() != PathChar('\n')) block.push_back(PathChar('\n'));
    PrintText(StandardOutput, block + record);
}

// A missing file could not be read, as a missing target; when none of the
// files exists, as when no target does.
static int FilesStatus(int status, size_t missing) {
    return missing == CommandOptions.operands.size() ? ExitNoTarget : status;
}

int RunShowCommand() {
    int status = 0;
    size_t missing = 0;
    bool first = true;
    for (const PathString& given : CommandOptions.operands) {
        PathString path = FileSystemPath(given);
        EntryPlace place = {NoFile, path.c_str(), path.c_str()};
        FileHandle file = OpenFileForStreams(place);
        if (file == NoFile) {
            int error = LastPlatformError();
            PrintFileError(given, DescribeOpenFailure(path, error, &missing));
            status |= ExitFailed;
            continue;
        }
        uint8_t bytes[64];
        int count = ReadStream(file, path.c_str(), DigestStream, bytes, 64);
        int error = LastPlatformError();
        uint8_t record[64];
        int recordLength = count == 64 ? ReadStream(file, path.c_str(), RecordStream, record, sizeof record) : 0;
        CloseFile(file);
        if (count < 0) {
            PrintFileError(given, DescribeDigestFailure(path, count, error));
            status |= ExitFailed;
            continue;
        }
        // What is stored is shown, but a value of another length is no digest,
        // however its first 64 bytes look.
        if (count != 64) {
            PrintFileError(given, PT("malformed digest of ") + Widen(std::to_string(count).c_str()) + PT(" bytes"));
            status |= ExitAltered;
        }
        // Bytes past the 64 of a digest are not shown.
        if (count > 64) count = 64;
        if (CommandOptions.hex) {
            PrintRecord(LowerHex(bytes, count).c_str(), given);
            continue;
        }
        if (!first) PrintText(StandardOutput, PT("\n"));
        first = false;
        PrintDigestBlock(given, bytes, count, RecordLine(record, recordLength, bytes));
    }
    return FilesStatus(status, missing);
}

int RunDigestCommand() {
    int status = 0;
    size_t missing = 0;
    for (const PathString& given : CommandOptions.operands) {
        PathString path = FileSystemPath(given);
        FileSnapshot before;
        FileHandle file = OpenFileForReading(path.c_str(), &before);
        if (file == NoFile) {
            int error = LastPlatformError();
            PrintFileError(given, DescribeOpenFailure(path, error, &missing));
            status |= ExitFailed;
            continue;
        }
        uint8_t digest[64];
        // Reads that fell short, or a change meanwhile, would make it the
        // digest of nothing the file holds.
        int problem = HashOpenFile(file, &before, digest);
        CloseFile(file);
        if (problem != 0) {
            PrintFileError(given, ReasonText(problem));
            status |= ExitFailed;
            continue;
        }
        PrintRecord(LowerHex(digest, 64).c_str(), given);
    }
    return FilesStatus(status, missing);
}
