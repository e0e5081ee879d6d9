#include "cli/output.h"

#include <cstring>

#include "cli/command_line.h"
#include "cli/json_record.h"
#include "cli/record_text.h"

#ifdef _WIN32
const PathChar ProgramName[] = PT("quorvane-cli");
#else
const PathChar ProgramName[] = PT("quorvane");
#endif

PathString Widen(const char* ascii) {
    PathString text;
    for (const char* p = ascii; *p; ++p) text.push_back(static_cast<PathChar>(*p));
    return text;
}

// Width of the progress line on the screen; 0 when none is shown.
static size_t ProgressWidth;

// On a terminal the progress line is rewritten in place; anywhere else each
// tick is a line of its own, so that no record written to the same file or
// pipe ever shares a line with it.
static bool ProgressInPlace() {
    static const bool inPlace = ChannelIsTerminal(StandardError);
    return inPlace;
}

void PrintText(ConsoleChannel channel, const PathString& text) { WriteChannel(channel, text.data(), text.size()); }

// What was read of the file the next record names, for --json.
struct KeptDetailsRecord {
    bool kept;
    uint8_t stored[64];
    int storedLength;
    bool hasStored, hasComputed, hasFacts;
    uint8_t computed[64];
    FileFacts facts;
};
static KeptDetailsRecord KeptDetails;

void KeepFileDetails(const FileDetails& details) {
    KeptDetails.kept = true;
    KeptDetails.hasStored = details.stored != nullptr && details.storedLength >= 0;
    KeptDetails.storedLength = KeptDetails.hasStored ? details.storedLength : 0;
    if (KeptDetails.hasStored) std::memcpy(KeptDetails.stored, details.stored, static_cast<size_t>(KeptDetails.storedLength));
    KeptDetails.hasComputed = details.computed != nullptr;
    if (KeptDetails.hasComputed) std::memcpy(KeptDetails.computed, details.computed, 64);
    KeptDetails.hasFacts = details.facts != nullptr;
    if (KeptDetails.hasFacts) KeptDetails.facts = *details.facts;
}

void ForgetFileDetails() { KeptDetails.kept = false; }

static PathString JsonLine(const PathChar* word, const PathString& path, const PathString& reason) {
    JsonRecord record = {};
    record.word = word;
    record.path = path.c_str();
    record.reason = reason.c_str();
    if (KeptDetails.kept) {
        if (KeptDetails.hasStored) {
            record.stored = KeptDetails.stored;
            record.storedLength = KeptDetails.storedLength;
        }
        if (KeptDetails.hasComputed) record.computed = KeptDetails.computed;
        if (KeptDetails.hasFacts) record.facts = &KeptDetails.facts;
    }
    return FormatJsonRecord(record);
}

void PrintRecord(const PathChar* word, const PathString& path, const PathString& reason) {
    // A record on the terminal that shows the progress line goes on a clean line.
    static const bool outputIsTerminal = ChannelIsTerminal(StandardOutput);
    if (outputIsTerminal) ClearProgressLine();
    if (CommandOptions.json) {
        PrintText(StandardOutput, JsonLine(word, path, reason));
    } else {
        PrintText(StandardOutput, FormatPlainRecord(word, path, CommandOptions.nulRecords));
    }
    ForgetFileDetails();
}

void PrintMessage(const PathString& line) {
    ClearProgressLine();
    PrintText(StandardError, line + PT("\n"));
}

void PrintFileError(const PathString& path, const PathString& reason) {
    // The path escaped as in a record (a word-less one here), so that no
    // name forges a line; an escaped line begins with a backslash there too.
    PathString record = FormatPlainRecord(PT(""), path, false);
    bool escaped = record[0] == PathChar('\\');
    size_t start = escaped ? 3 : 2;
    PathString shown = record.substr(start, record.size() - start - 1);
    PrintMessage((escaped ? PT("\\") : PT("")) + PathString(ProgramName) + PT(": ") + shown + PT(": ") + reason);
}

PathString ReasonText(int error) {
    switch (error) {
        case 0:
            return PT("unknown error");
        case ErrorChangedWhileRead:
            return PT("changed while read");
        case ErrorNotRegularFile:
            return PT("Not a regular file");
        case ErrorShortRead:
            return PT("could not be read completely");
        case ErrorPathTooLong:
            return PT("path too long");
        case ErrorShortWrite:
            return PT("written only in part");
        case ErrorIsLink:
            return PT("replaced by a link meanwhile");
        case ErrorNotFolder:
            return PT("no folder any more");
        case ErrorTargetMoved:
            return PT("its target is not the one walked any more");
        case ErrorDigestAppeared:
            return PT("a digest appeared meanwhile");
        case ErrorDigestChanged:
            return PT("its digest changed meanwhile");
        case ErrorOlderVersion:
            return PT("replaced by an older version");
        case ErrorBeyondSize:
            return PT("holds more than its size says");
        default:
            return PlatformErrorText(error);
    }
}

bool PrintFileReport(FileReport report, const PathChar* path, int error) {
    PathString reason = ReasonText(error);
    switch (report) {
        case ReportUnreadable:
            PrintRecord(PT("unreadable"), path, reason);
            break;
        case ReportChanged:
            PrintRecord(PT("changed"), path, reason);
            break;
        case ReportNotWritten:
            PrintRecord(PT("not-written"), path, reason);
            break;
        case ReportNotRemoved:
            // Named by the list of files still with a digest.
            break;
        case ReportMalformed:
            PrintRecord(PT("malformed"), path);
            return true;
        case ReportEdited:
        case ReportUpdated:
            // An edit needs no reason, unless it brought an older version back.
            PrintRecord(report == ReportEdited ? PT("edited") : PT("updated"), path,
                        error != 0 ? reason : PathString());
            if (error != 0) PrintFileError(path, reason);
            return true;
        case ReportRefreshed:
            PrintRecord(PT("refreshed"), path);
            return true;
    }
    PrintFileError(path, reason);
    return false;
}

int PrintUsageError(const PathString& problem) {
    PathString name = ProgramName;
    PrintMessage(name + PT(": ") + problem);
    PrintMessage(PT("Usage: ") + name + PT(" COMMAND [OPTIONS] TARGET..."));
    PrintMessage(PT("Try '") + name + PT(" --help' for more information."));
    return ExitUsage;
}

void DrawProgressLine(const ProgressTexts& texts) {
    PathString line = Widen(texts.percent);
    line += PT("  ");
    line += Widen(texts.throughput);
    line += Widen(texts.remaining);
    if (!ProgressInPlace()) {
        PrintText(StandardError, line + PT("\n"));
        return;
    }
    size_t width = line.size();
    // Blanks over what a longer previous line left behind.
    if (width < ProgressWidth) line.append(ProgressWidth - width, PathChar(' '));
    ProgressWidth = width;
    PrintText(StandardError, PT("\r") + line);
}

void ClearProgressLine() {
    if (ProgressWidth == 0) return;
    PathString blank = PT("\r");
    blank.append(ProgressWidth, PathChar(' '));
    blank += PT("\r");
    ProgressWidth = 0;
    PrintText(StandardError, blank);
}
