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

void PrintRecord(const PathChar* word, const PathString& path, const PathString& reason) {
    // A record on the terminal that shows the progress line goes on a clean line.
    static const bool outputIsTerminal = ChannelIsTerminal(StandardOutput);
    if (outputIsTerminal) ClearProgressLine();
    if (CommandOptions.json) {
        JsonRecord record = {};
        record.word = word;
        record.path = path.c_str();
        record.reason = reason.c_str();
        PrintText(StandardOutput, FormatJsonRecord(record));
    } else {
        PrintText(StandardOutput, FormatPlainRecord(word, path, CommandOptions.nulRecords));
    }
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
        case ErrorNoRecord:
            return PT("no record beside the digest; update writes one");
        case ErrorRecordStale:
            return PT("its record does not fit the digest; update renews it");
        case ErrorRecordOutOfStep:
            return PT("its last-write time or size moved since the record was written; update renews it");
        case ErrorNotWalked:
            return PT("named by the manifest, but a link or beyond the walk's reach: nothing imported");
        default:
            return PlatformErrorText(error);
    }
}

const PathChar* VerdictWord(Verdict verdict) {
    static const PathChar* const words[VerdictCount] = {
        PT("matched"),   PT("stale-record"), PT("altered"),     PT("edited"),    PT("no-digest"), PT("malformed"),
        PT("unreadable"), PT("changed"),     PT("hashed"),      PT("kept"),      PT("written"),   PT("updated"),
        PT("refreshed"), PT("not-written"),  PT("removed"),     PT("not-removed"), PT("conflict"),
        PT("unlisted"),
    };
    return words[verdict];
}

static bool IsFailure(Verdict verdict) {
    return verdict == VerdictUnreadable || verdict == VerdictChanged || verdict == VerdictNotWritten ||
           verdict == VerdictNotRemoved;
}

void PrintOutcome(const FileOutcome& outcome) {
    static const bool outputIsTerminal = ChannelIsTerminal(StandardOutput);
    if (outputIsTerminal) ClearProgressLine();
    const PathChar* word = VerdictWord(outcome.verdict);
    PathString path = outcome.text;
    bool failed = IsFailure(outcome.verdict);
    // A failure always has a reason; an edit only when it brought an older
    // version back.
    PathString reason = failed || outcome.reason != 0 ? ReasonText(outcome.reason) : PathString();
    if (CommandOptions.json) {
        JsonRecord record = {};
        record.word = word;
        record.path = path.c_str();
        record.reason = reason.c_str();
        const FileJudgement* judgement = outcome.judgement;
        if (judgement != nullptr) {
            if (judgement->stored.length >= 0) {
                record.stored = judgement->stored.bytes;
                record.storedLength = judgement->stored.length < 64 ? judgement->stored.length : 64;
                record.storedWhole = judgement->stored.length;
            }
            if (judgement->hashed) record.computed = judgement->computed;
            record.facts = &judgement->facts;
            // The record beside the facts where it tells what changed.
            Verdict v = outcome.verdict;
            bool telling = v == VerdictAltered || v == VerdictEdited || v == VerdictStaleRecord ||
                           v == VerdictRefreshed || v == VerdictUpdated;
            if (telling && judgement->hashed && judgement->record == RecordUsable) {
                record.recorded = &judgement->recorded;
            }
        }
        PrintText(StandardOutput, FormatJsonRecord(record));
    } else {
        PrintText(StandardOutput, FormatPlainRecord(word, path, CommandOptions.nulRecords));
    }
    bool edit = outcome.verdict == VerdictEdited || outcome.verdict == VerdictUpdated;
    if (failed || (edit && outcome.reason != 0)) PrintFileError(path, reason);
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
